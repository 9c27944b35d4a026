#include "db/glossary/ConnectionTarget.h"
#include "db/glossary/Store.h"
#include "main_window/CarryOverJob.h"
#include "main_window/Form1.h"
#include "platform/msgbox/MsgBox.h"
#include "splash/Form2.h"

#include <QFileInfo>

bool Form1::startCarryOver()
{
    const ConnectionTarget target = ConnectionTarget::parse(store::ConnectionString());
    if (!JetCarryOver::needed(target.dataSource))
        return false;
    m_carryOver = new CarryOverJob(target.dataSource, target.password, this);
    connect(m_carryOver, &CarryOverJob::finished, this, [this] {
        if (m_tickWaiting && m_splash)
            m_splash->unload();
    });
    m_carryOver->start();
    return true;
}

void Form1::finishCarryOver()
{
    // The splash only ends once the work has; the outcome is read here, on the window's thread.
    const std::unique_ptr<CarryOverJob> job(std::exchange(m_carryOver, nullptr));
    if (job->error())
        throw *job->error();
    const JetCarryOver::Result &done = *job->result();
    if (!done.linkedTo.isEmpty()) {
        // The old file lay elsewhere: both names are said in full, or the user would look beside the program.
        MsgBox::show(
            QStringLiteral("Il glossario è stato convertito nel nuovo formato protetto: %1 termini trasferiti.\n"
                           "\"%2\" è un collegamento a \"%3\", che ora contiene il nuovo glossario; il "
                           "file originale è conservato come \"%4\".")
                .arg(done.rows)
                .arg(QFileInfo(ConnectionTarget::parse(store::ConnectionString()).dataSource).fileName(), done.linkedTo,
                     done.keptAs),
            64);
        return;
    }
    MsgBox::show(QStringLiteral("Il glossario è stato convertito nel nuovo formato protetto: %1 termini trasferiti.\n"
                                "Il file originale è conservato con il nome \"%2\".")
                     .arg(done.rows)
                     .arg(QFileInfo(done.keptAs).fileName()),
                 64);
}
