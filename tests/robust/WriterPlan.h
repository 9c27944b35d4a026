#pragma once

#include <QString>

// What killed_writer does at each step, shared with the test that kills it, so that the test knows which
// change was in flight when the writer died.
namespace WriterPlan {

// The rows that the writer modifies in turn; the test's file starts with exactly these.
constexpr qint64 Targets = 5;

inline bool adds(qint64 step)
{
    return step % 2 == 0;
}

inline qint64 target(qint64 step)
{
    return (step / 2) % Targets + 1;
}

inline QString term(int run, qint64 step)
{
    return QStringLiteral("r%1-p%2-è").arg(run).arg(step);
}

// Several pages long, so that one change spans many writes to the file.
inline QString definition(const QString &term)
{
    return (QStringLiteral("definizione di ") + term + QStringLiteral(", scritta per intero; ")).repeated(120);
}

inline QString initialTerm(qint64 id)
{
    return QStringLiteral("iniziale-%1").arg(id);
}

} // namespace WriterPlan
