#include "main_window/CarryOverJob.h"
#include "main_window/Form1.h"
#include "splash/Form2.h"

#include <QTimer>

int Form1::s_splashDelay = 4000;

void Form1::setSplashDelayForTesting(int ms)
{
    s_splashDelay = ms;
}

void Form1::showSplash()
{
    // A new window each time, so that every display starts from the design layout.
    Form2 splash;
    m_splash = &splash;
    m_tickWaiting = false;
    if (m_carryOver && !m_carryOver->isFinished())
        connect(m_carryOver, &CarryOverJob::progress, &splash, &Form2::showProgress);
    splash.exec();
}

void Form1::Timer1_Timer()
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
