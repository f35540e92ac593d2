#pragma once
// A live view's pictures into a frame view: what the video page and the
// grid hand a camera's session, and the words a view shows when its stream
// does not start or ends ("no video: the camera refused the user name or
// password").

#include "device/DeviceSession.h"
#include "ui/controls/FrameView.h"

#include <QString>

#include <memory>

namespace orv {

// "no video: <why>" for a failure of a camera's stream: the words are
// looked up when it is made, on the window thread, and it is used from any.
class CNoVideoText {
public:
    CNoVideoText();
    QString operator()(const device::Failure& failure) const;

private:
    QString m_pattern;
};

device::VideoTarget LiveTarget(std::shared_ptr<ui::CFrameView::CMailbox> mailbox, int width = 0,
                               int height = 0);

// On the window thread.
QString NoVideoText(const device::Failure& failure);

} // namespace orv
