#pragma once
// Fixture base for widget tests: a private settings store and language choice
// per test, message boxes, file dialogs and popup menus answered by the test,
// and a screenshot helper.

#include "TempDir.h"
#include "jobs/JobEngine.h"
#include "lang/Language.h"
#include "ui/Browser.h"
#include "ui/FileDialog.h"
#include "ui/MessageBox.h"
#include "ui/PopupMenu.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// Lets the window thread run until `done` holds or `timeoutMs` passed;
// whether it holds in the end.
template <class Done>
bool WaitUntil(Done done, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QTest::qSleep(1);
    }
    return true;
}

// The main window's Default User field `name` ("userEdit", "passwordEdit"):
// the System sub-page has fields of the same names.
inline QLineEdit* DefaultUserEdit(QWidget& window, const char* name) {
    return window.findChild<QWidget*>(QStringLiteral("defaultUserBox"))
        ->findChild<QLineEdit*>(QString::fromLatin1(name));
}

// QtTest's waiting checks report to a QtTest run, of which there is none
// here: one that timed out would only return from the test, which then
// passed. These wait the same way and fail the GoogleTest test.
#undef QTRY_VERIFY_WITH_TIMEOUT
#define QTRY_VERIFY_WITH_TIMEOUT(expr, timeout)                                                    \
    ASSERT_TRUE(WaitUntil([&] { return static_cast<bool>(expr); }, (timeout)))                     \
        << "still false after " << (timeout) << " ms: " #expr
#undef QTRY_COMPARE_WITH_TIMEOUT
#define QTRY_COMPARE_WITH_TIMEOUT(expr, expected, timeout)                                         \
    do {                                                                                           \
        WaitUntil([&] { return (expr) == (expected); }, (timeout));                                \
        ASSERT_EQ((expr), (expected)) << "after " << (timeout) << " ms";                           \
    } while (false)

class GuiTestBase : public ::testing::Test {
protected:
    TempDir configHome;
    // The text of every message box, in order.
    QStringList messages;
    // What the next file dialogs choose.
    QStringList chosenFiles;

    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", configHome.str().c_str(), 1);
        // Every test starts in English with no language choice stored.
        TheLanguage().SelectLanguage(L"English");
        std::filesystem::remove(orv::ToFsPath(TheLanguage().LanguageIniPath()));
        // A box the test did not expect fails it at once with its text; a
        // real box would wait for a person and the test would only time out.
        orv::ui::SetMessageBoxAnswer([this](orv::ui::MessageKind, const QString& text) {
            messages << text;
            ADD_FAILURE() << "a message box the test did not expect: " << text.toStdString();
            return false;
        });
        // No test starts a real browser: addresses are recorded.
        orv::ui::SetBrowserAnswer([this](const QString& url) { openedUrls << url; });
    }
    void TearDown() override {
        // No answer may outlive the fixture it records into.
        orv::ui::SetMessageBoxAnswer(nullptr);
        orv::ui::SetFileDialogAnswer(nullptr);
        orv::ui::SetBrowserAnswer(nullptr);
        orv::ui::SetPopupMenuAnswer(nullptr);
        std::filesystem::remove(orv::ToFsPath(TheLanguage().LanguageIniPath()));
        TheLanguage().LoadSavedLanguage();
        ::unsetenv("XDG_CONFIG_HOME");
    }

    // Message boxes are expected: each is recorded in `messages` and
    // answered with `answer` (a question's Yes or No).
    // Addresses the pages handed to the browser.
    QStringList openedUrls;

    void AnswerMessagesWith(bool answer) {
        orv::ui::SetMessageBoxAnswer([this, answer](orv::ui::MessageKind, const QString& text) {
            messages << text;
            return answer;
        });
    }

    // File dialogs choose `chosenFiles`; `multiple` is whether the page must
    // ask for several files or for one.
    void AnswerFileDialogs(bool multiple) {
        orv::ui::SetFileDialogAnswer([this, multiple](const QString&, bool asked) {
            EXPECT_EQ(asked, multiple);
            return chosenFiles;
        });
    }

    // Answers the next popup menus with the item of that text (nullptr
    // dismisses the menu).
    static void AnswerMenuWith(const QString& text) {
        orv::ui::SetPopupMenuAnswer([text](QMenu& menu) -> QAction* {
            for (QAction* action : menu.actions()) {
                if (action->text() == text) {
                    return action;
                }
            }
            return nullptr;
        });
    }

    // Lets the window thread run until no job of `jobs` is left: device work
    // runs on workers and reports back through the event loop.
    static void WaitForJobs(orv::jobs::CJobEngine& jobs, int timeoutMs = 30000) {
        const QDeadlineTimer deadline(timeoutMs);
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        } while (jobs.AnyRunning() && !deadline.hasExpired());
        QCoreApplication::processEvents();
    }

    // A double-click as a person makes it: a click, then the double-click.
    static void DoubleClick(QWidget* target, const QPoint& pos) {
        QTest::mouseClick(target, Qt::LeftButton, {}, pos);
        QTest::mouseDClick(target, Qt::LeftButton, {}, pos);
    }

    // Types `text` as a keyboard would, one character at a time (also
    // characters QTest has no key for).
    static void Type(QWidget* target, const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(target, &press);
        }
    }

    static QString SaveScreenshot(QWidget& widget, const QString& name) {
        QDir().mkpath(QStringLiteral(ORVANTIX_SCREENSHOT_DIR));
        const QString path = QStringLiteral(ORVANTIX_SCREENSHOT_DIR "/") + name + ".png";
        widget.grab().save(path);
        return path;
    }
};
