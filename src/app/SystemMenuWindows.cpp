#include "SystemMenu.h"

#include <QWidget>

#include <windows.h>

namespace orv {

void AddAboutToSystemMenu(QWidget& window, int command) {
    if (HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE)) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(command), L"&About Orvantix...");
    }
}

bool IsSystemMenuCommand(void* nativeMessage, int command) {
    const auto* msg = static_cast<const MSG*>(nativeMessage);
    return msg->message == WM_SYSCOMMAND && static_cast<int>(msg->wParam & 0xFFF0) == command;
}

} // namespace orv
