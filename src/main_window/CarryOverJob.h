#pragma once

#include "db/error/DbError.h"
#include "db/mdb/JetCarryOver.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <optional>

class QThread;

// Carries an old Jet glossary over on a thread of its own while the splash is up, so that the window's
// events (the splash, its timer) go on meanwhile.
class CarryOverJob : public QObject {
    Q_OBJECT

public:
    CarryOverJob(QString glossary, QString password, QObject *parent = nullptr);
    ~CarryOverJob() override;

    void start();
    bool isFinished() const { return m_finished; }
    // Once finished: what was carried over, or the failure.
    const std::optional<JetCarryOver::Result> &result() const { return m_result; }
    const std::optional<DbError> &error() const { return m_error; }

signals:
    // Only for work that lasts: nothing is said in the first second.
    void progress(const QString &text);
    void finished();

private:
    QString m_glossary;
    QString m_password;
    QThread *m_thread = nullptr;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
    bool m_finished = false;
    std::optional<JetCarryOver::Result> m_result;
    std::optional<DbError> m_error;
};
