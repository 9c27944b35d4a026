#pragma once

#include <QString>

#include <functional>

// How far a long import or export is, as "Lettura: 1200 di 5000 righe" on one line that rewrites itself.
// Nothing is shown before the work has taken about a second, so quick runs print nothing extra.
class ProgressLine {
public:
    using Write = std::function<void(const QString &)>;
    using Clock = std::function<qint64()>; // milliseconds since the work began
    using Step = std::function<void(qsizetype done, qsizetype total)>;

    // Shows nothing.
    ProgressLine() = default;
    ProgressLine(Write write, Clock clock);
    // On standard error when that is a terminal; nothing otherwise, so that redirected output stays clean.
    static ProgressLine onTerminal();

    // Reports the rows done of the named step.
    Step step(const QString &name);
    // Ends a line left open by a step that stopped half-way, before an error is printed.
    void interrupt();

private:
    void show(const QString &name, qsizetype done, qsizetype total);

    Write m_write;
    Clock m_clock;
    QString m_open;     // the step whose line is on the screen, unfinished
    QString m_finished; // the step whose last line was written, so that a repeated end is not shown twice
    qint64 m_shownAt = 0;
};
