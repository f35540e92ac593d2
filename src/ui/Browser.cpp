#include "Browser.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QMetaObject>
#include <QUrl>

#include <mutex>

namespace orv::ui {
namespace {

struct AnswerSlot {
    std::mutex lock;
    std::function<void(const QString&)> answer;
};

AnswerSlot& answerSlot() {
    static AnswerSlot slot;
    return slot;
}

} // namespace

void OpenUrl(const QString& url) {
    {
        AnswerSlot& slot = answerSlot();
        std::lock_guard lock(slot.lock);
        if (slot.answer) {
            slot.answer(url);
            return;
        }
    }
    // The desktop services belong to the application's thread; a worker
    // hands the address over and goes on without waiting for the browser.
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        app, [url] { QDesktopServices::openUrl(QUrl(url)); }, Qt::QueuedConnection);
}

void SetBrowserAnswer(std::function<void(const QString&)> answer) {
    AnswerSlot& slot = answerSlot();
    std::lock_guard lock(slot.lock);
    slot.answer = std::move(answer);
}

} // namespace orv::ui
