#pragma once
// The application object: reads the command line, sets up the process-wide
// state, starts and stops the device SDK and runs the main window.

class CMainDlg;
class QApplication;

class CToolApp {
public:
    CToolApp(QApplication& app, int argc, const char* const* argv);
    // Start-up, the main window's modal run, exit; returns the exit code.
    int Run();
    // The main window's modal run. A termination request from the session
    // closes the window the way the user would, also from inside a message
    // box or menu, and the run returns.
    static void RunMainWindow(CMainDlg& mainDlg);

private:
    bool initInstance();
    void exitInstance();

    QApplication& m_app;
    const int m_argc;
    const char* const* m_argv;
};
