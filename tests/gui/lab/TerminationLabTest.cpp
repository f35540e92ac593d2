// A termination request from the session (SIGTERM) while a message box is
// open ends the main window's run through the closing path: discovery
// stopped on the lab adapter, the credentials stored.

#include "GuiLabTestBase.h"

#include "app/MainDlg.h"
#include "app/SettingsStore.h"
#include "app/ToolApp.h"
#include "ui/MessageBox.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <csignal>
#include <unistd.h>

namespace {

class TerminationLab : public GuiLabTestBase {
protected:
    void TearDown() override {
        // Termination ends every event loop of this thread for good; a loop
        // of the application's own clears that for the tests that follow.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
        GuiLabTestBase::TearDown();
    }
};

} // namespace

TEST_F(TerminationLab, SigtermInsideAMessageBoxEndsTheRunThroughTheClosingPath) {
    ASSERT_EQ(lab.startSimulator({{"cameras", 1}}), "");
    auto dlg = std::make_unique<CMainDlg>(false, CMainDlg::Discovery::AllAdapters);
    ASSERT_EQ(dlg->DiscoveryInstanceCount(), 1);
    dlg->findChild<QLineEdit*>(QStringLiteral("userEdit"))->setText(QStringLiteral("  tech  "));

    int boxesReturned = 0;
    QTimer::singleShot(0, dlg.get(), [&] {
        orv::ui::ShowMessage(dlg.get(), QStringLiteral("Field can't be empty."));
        ++boxesReturned;
        // Code that shows another box after the first is not held up either.
        orv::ui::ShowMessage(dlg.get(), QStringLiteral("Field can't be empty."));
        ++boxesReturned;
    });
    bool signalled = false;
    QElapsedTimer clock;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!signalled && qobject_cast<QMessageBox*>(box) != nullptr) {
            signalled = true;
            ::kill(::getpid(), SIGTERM);
        } else if (clock.elapsed() > 10000 && box != nullptr) {
            box->close(); // fail instead of hanging
            dlg->close();
        }
    });
    clock.start();
    poll.start(10);
    CToolApp::RunMainWindow(*dlg);
    poll.stop();

    EXPECT_TRUE(signalled);
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(boxesReturned, 2);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(dlg->DiscoveryInstanceCount(), 0) << "discovery stopped";
    dlg.reset();
    EXPECT_EQ(orv::LoadCredentials().user, u"tech");
}
