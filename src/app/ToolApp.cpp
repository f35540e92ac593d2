#include "ToolApp.h"

#include "MainDlg.h"
#include "ProcessState.h"
#include "StallWatch.h"
#include "TerminationWatcher.h"
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
        // A termination request from the session closes the window the way
        // the user would, so discovery stops and the credentials are stored.
        orv::TerminationWatcher watcher([&mainDlg] { mainDlg.close(); });
        mainDlg.exec();
    }
    exitInstance();
    return 0;
}

bool CToolApp::initInstance() {
    auto& state = orv::TheProcessState();
    state.oemMode = orv::ParseOemMode(m_argc, m_argv);
    state.osVersionCode = orv::ComputeOsVersionCode();
    state.pendingUrl.Clear();
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
