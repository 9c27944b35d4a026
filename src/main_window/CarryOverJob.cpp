#include "main_window/CarryOverJob.h"

#include <QThread>

namespace {

constexpr qint64 QuietMs = 1000;
constexpr qint64 ReportEveryMs = 100;

} // namespace

CarryOverJob::CarryOverJob(QString glossary, QString password, QObject *parent)
    : QObject(parent), m_glossary(std::move(glossary)), m_password(std::move(password))
{
}

CarryOverJob::~CarryOverJob()
{
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

void CarryOverJob::start()
{
    m_clock.start();
    // The thread writes the outcome, and only then is finished() delivered to this object's thread.
    m_thread = QThread::create([this] {
        try {
            m_result = JetCarryOver::run(m_glossary, m_password,
                                         [this](JetCarryOver::Phase phase, qsizetype done, qsizetype total) {
                                             const qint64 now = m_clock.elapsed();
                                             if (now < QuietMs || now - m_lastReport < ReportEveryMs)
                                                 return;
                                             m_lastReport = now;
                                             emit progress(
                                                 (phase == JetCarryOver::Phase::Reading
                                                      ? QStringLiteral("Lettura del vecchio glossario: %1 di %2 termini")
                                                      : QStringLiteral("Conversione del glossario: %1 di %2 termini"))
                                                     .arg(done)
                                                     .arg(total));
                                         });
        } catch (const DbError &e) {
            m_error = e;
        } catch (const std::exception &e) {
            m_error = DbError(DbError::Unknown, QStringLiteral("Conversione del glossario non riuscita (%1).")
                                                    .arg(QString::fromLocal8Bit(e.what())));
        }
    });
    connect(m_thread, &QThread::finished, this, [this] {
        m_finished = true;
        emit finished();
    });
    m_thread->start();
}
