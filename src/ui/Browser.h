#pragma once
// Opens a web address with the desktop's default handler. Any thread may
// call it; tests replace the browser with an answer function and see every
// address that would have been opened.

#include <QString>

#include <functional>

namespace orv::ui {

void OpenUrl(const QString& url);

// While set, no browser starts: `answer` receives each address, on the
// thread that asked for it.
void SetBrowserAnswer(std::function<void(const QString&)> answer);

} // namespace orv::ui
