#pragma once

class QApplication;

// The program's start: puts Qt's own texts into Italian for as long as it runs, loads the main window on
// its glossary and runs the event loop. When the glossary cannot be read the window is never shown: the
// error box says why and the result is 1, before any event loop of the application's own has run.
int runZorvane(QApplication &app);
