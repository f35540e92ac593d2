#include "ToolApp.h"

#include "MainDlg.h"
#include "ProcessState.h"
#include "StallWatch.h"
#include "TerminationWatcher.h"
#include "paths/AppPaths.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "ui/DialogFont.h"

#include <QApplication>
#include <QPalette>

CToolApp::CToolApp(QApplication& app, int argc, const char* const* argv)
    : m_app(app), m_argc(argc), m_argv(argv) {}

int CToolApp::Run() {
    initInstance();
    std::unique_ptr<orv::CStallWatch> stallWatch;
    if (const std::optional<int> threshold = orv::CStallWatch::ThresholdFromEnvironment()) {
        stallWatch = std::make_unique<orv::CStallWatch>(*threshold);
    }
    {
        CMainDlg mainDlg(orv::TheProcessState().oemMode, CMainDlg::Discovery::AllAdapters);
        mainDlg.OpenSites(orv::paths::Current().sitesDir);
        RunMainWindow(mainDlg);
    }
    exitInstance();
    return 0;
}

void CToolApp::RunMainWindow(CMainDlg& mainDlg) {
    orv::TerminationWatcher watcher([&mainDlg] {
        // Closing stops discovery; destroying the window stores the
        // credentials.
        mainDlg.close();
        // A message box, menu or other modal loop may be running inside the
        // main window's loop. Ending every loop of this thread, and every
        // loop that would start from now on, lets the stack unwind to here.
        QCoreApplication::exit(0);
    });
    mainDlg.exec();
}

bool CToolApp::initInstance() {
    auto& state = orv::TheProcessState();
    state.oemMode = orv::ParseOemMode(m_argc, m_argv);
    Qv_Sdk_Init();

    orv::ui::ApplyDialogFont(m_app);
    QPalette palette = m_app.palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    m_app.setPalette(palette);
    return true;
}

void CToolApp::exitInstance() {
    Qv_Sdk_Destroy();
}
