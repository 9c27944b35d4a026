#pragma once

#include <QPointer>

#include <memory>

class CarryOverJob;
class Form2;
class QThread;

// What goes on behind Form1's splash. At the start the splash stays up until Timer1's first tick, while an
// old Jet glossary is carried over or, when the file needs nothing, the glossary is read into memory; at
// the end it is shown once more. Form1 owns the timer and hands its ticks over.
class StartUpSequence {
public:
    StartUpSequence();
    ~StartUpSequence();
    StartUpSequence(const StartUpSequence &) = delete;
    StartUpSequence &operator=(const StartUpSequence &) = delete;

    // Returns once the splash is gone and the work behind it is done; a failed carry-over is thrown, a
    // finished one is told in a box.
    void run();
    // Shows a new splash with no owner and waits until a tick unloads it.
    void showSplash();
    // Timer1's tick ends a loaded splash, or, while a carry-over is at work, waits for its end.
    void tick();

private:
    // An old Jet glossary is carried over while the splash is up; false when the file needs nothing.
    bool startCarryOver();
    // After the splash: says what was carried over, or throws why not.
    void finishCarryOver();
    // The glossary is read into memory on a thread of its own while the splash is up, so that the
    // window appears at the tick with its list ready and the first search finds everything loaded.
    void startPreload();
    void finishPreload();

    QPointer<Form2> m_splash;
    std::unique_ptr<CarryOverJob> m_carryOver;
    std::unique_ptr<QThread> m_preload;
    // A tick came while the splash waited for the carry-over.
    bool m_tickWaiting = false;
};
