#pragma once
// The application object: reads the command line, sets up the process-wide
// state, starts and stops the device SDK and runs the main window.

class QApplication;

class CToolApp {
public:
    CToolApp(QApplication& app, int argc, const char* const* argv);
    // Start-up, the main window's modal run, exit; returns the exit code.
    int Run();

private:
    bool initInstance();
    void exitInstance();

    QApplication& m_app;
    const int m_argc;
    const char* const* m_argv;
};
