// SIGTERM from the session while message boxes are open ends the main
// window's run through the closing path: discovery stopped, credentials
// stored.

#include "GuiLabTestBase.h"

#include "app/ToolApp.h"
#include "settings/SettingsStore.h"
#include "ui/MessageBox.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>

#include <csignal>

TEST_F(GuiLabTestBase, SigtermInsideAMessageBoxEndsTheRunThroughTheClosingPath) {
    ASSERT_EQ(lab.startSimulator({{"cameras", 1}}), "");
    orv::ui::SetMessageBoxAnswer(nullptr); // real boxes, with their own event loops
    auto dlg = std::make_unique<CMainDlg>(false, CMainDlg::Discovery::AllAdapters);
    ASSERT_EQ(dlg->DiscoveryInstanceCount(), 1);
    DefaultUserEdit(*dlg, "userEdit")->setText(QStringLiteral(" tech "));
    int boxesReturned = 0;
    QTimer::singleShot(0, dlg.get(), [&] {
        // The second box stands for code that goes on after the first.
        for (int i = 0; i < 2; ++i, ++boxesReturned)
            orv::ui::ShowMessage(dlg.get(), QStringLiteral("Field can't be empty."));
    });
    QTimer::singleShot(200, [] { ::kill(::getpid(), SIGTERM); });
    // Fail instead of hanging; bound to the window, so it cannot fire into
    // a later test once the window is gone.
    QTimer::singleShot(10000, dlg.get(), [&] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
        dlg->close();
    });
    QElapsedTimer clock;
    clock.start();
    CToolApp::RunMainWindow(*dlg);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(boxesReturned, 2);
    EXPECT_EQ(dlg->DiscoveryInstanceCount(), 0) << "discovery stopped";
    dlg.reset();
    EXPECT_EQ(orv::LoadCredentials().user, u"tech");
    // Every loop of this thread has ended for good; a loop of the
    // application's own clears that for the tests that follow.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}
