#pragma once
// The wait cursor for the length of a scope: the blocking device calls of
// the Batch Set pages run on the window thread.

#include <QApplication>

namespace orv {

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace orv
