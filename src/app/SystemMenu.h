#pragma once
// The About entry in the window's system menu, where the platform has one
// (Windows); elsewhere the entry lives in the banner's context menu and on F1.

#include <QtGlobal>

class QWidget;

namespace orv {

// Appends a separator and "&About Orvantix..." as `command`.
void AddAboutToSystemMenu(QWidget& window, int command);
// True when the native message is the system menu's `command`.
bool IsSystemMenuCommand(void* nativeMessage, int command);

} // namespace orv
