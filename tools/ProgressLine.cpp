#include "tools/ProgressLine.h"

#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

constexpr qint64 QuietFor = 1000; // ms: work shorter than this shows no progress at all
constexpr qint64 RedrawEvery = 100;

} // namespace

ProgressLine::ProgressLine(Write write, Clock clock) : m_write(std::move(write)), m_clock(std::move(clock)) {}

ProgressLine ProgressLine::onTerminal()
{
    if (!isatty(STDERR_FILENO))
        return {};
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return ProgressLine([](const QString &text) { QTextStream(stderr) << text; }, [timer] { return timer->elapsed(); });
}

ProgressLine::Step ProgressLine::step(const QString &name)
{
    return [this, name](qsizetype done, qsizetype total) { show(name, done, total); };
}

void ProgressLine::show(const QString &name, qsizetype done, qsizetype total)
{
    if (!m_write || name == m_finished)
        return;
    const qint64 now = m_clock();
    const bool finished = done >= total;
    if (now < QuietFor || (!finished && m_open == name && now - m_shownAt < RedrawEvery))
        return;
    if (!m_open.isEmpty() && m_open != name)
        m_write(QStringLiteral("\n"));
    m_write(QStringLiteral("\r%1: %2 di %3 righe%4").arg(name).arg(done).arg(total).arg(finished ? "\n" : ""));
    m_open = finished ? QString() : name;
    m_finished = finished ? name : QString();
    m_shownAt = now;
}

void ProgressLine::interrupt()
{
    if (!m_open.isEmpty())
        m_write(QStringLiteral("\n"));
    m_open.clear();
}
