#include "main_window/StartUpSequence.h"

#include "db/glossary/ConnectionTarget.h"
#include "db/glossary/Store.h"
#include "db/recordset/ConnectionPool.h"
#include "main_window/CarryOverJob.h"
#include "platform/msgbox/MsgBox.h"
#include "splash/Form2.h"

#include <QFileInfo>
#include <QThread>

StartUpSequence::StartUpSequence() = default;

StartUpSequence::~StartUpSequence()
{
    finishPreload();
}

void StartUpSequence::run()
{
    const bool carrying = startCarryOver();
    if (!carrying)
        startPreload();
    showSplash();
    finishPreload();
    if (carrying)
        finishCarryOver();
}

void StartUpSequence::showSplash()
{
    // A new window each time, so that every display starts from the design layout.
    Form2 splash;
    m_splash = &splash;
    m_tickWaiting = false;
    if (m_carryOver && !m_carryOver->isFinished())
        QObject::connect(m_carryOver.get(), &CarryOverJob::progress, &splash, &Form2::showProgress);
    splash.exec();
}

void StartUpSequence::tick()
{
    // The timer never stops: a tick with no splash shown does nothing. A carry-over still at work keeps
    // the splash up until it ends.
    if (!m_splash || !m_splash->isLoaded())
        return;
    if (m_carryOver && !m_carryOver->isFinished()) {
        m_tickWaiting = true;
        return;
    }
    m_splash->unload();
}

bool StartUpSequence::startCarryOver()
{
    const ConnectionTarget target = ConnectionTarget::parse(store::ConnectionString());
    if (!JetCarryOver::needed(target.dataSource))
        return false;
    m_carryOver = std::make_unique<CarryOverJob>(target.dataSource, target.password);
    QObject::connect(m_carryOver.get(), &CarryOverJob::finished, m_carryOver.get(), [this] {
        if (m_tickWaiting && m_splash)
            m_splash->unload();
    });
    m_carryOver->start();
    return true;
}

void StartUpSequence::finishCarryOver()
{
    // The splash only ends once the work has; the outcome is read here, on the window's thread.
    const std::unique_ptr<CarryOverJob> job = std::move(m_carryOver);
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

void StartUpSequence::startPreload()
{
    m_preload.reset(QThread::create(
        [target = ConnectionTarget::parse(store::ConnectionString())] { ConnectionPool::preload(target); }));
    m_preload->start();
}

void StartUpSequence::finishPreload()
{
    // The reading is the list's own: whatever is left of it after the tick is waited for here.
    if (!m_preload)
        return;
    m_preload->wait();
    m_preload.reset();
}
