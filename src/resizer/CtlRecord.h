#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

// What the resizer remembers of one control at load, in twips and points. A key without a value is a
// property the control does not have; for a line the four geometry keys hold X1, Y1, X2 and Y2.
struct CtlRecord {
    QPointer<QObject> CtlRef; // null once the control is gone, which leaves nothing to set
    std::optional<float> Left;
    std::optional<float> Top;
    std::optional<float> Width;
    std::optional<float> Height;
    std::optional<qreal> FontSize;
};
