#include "LiveTarget.h"

#include "jobs/JobTypes.h"
#include "ui/LangText.h"

namespace orv {

CNoVideoText::CNoVideoText() : m_pattern(ui::LangText(L"70030", L"no video: %1")) {}

QString CNoVideoText::operator()(const device::Failure& failure) const {
    const std::string why =
        !failure.detail.empty()
            ? failure.detail
            : jobs::ReasonText(jobs::ReasonOf(failure.fault),
                               static_cast<double>(failure.limit.count()) / 1000.0);
    return QString(m_pattern).arg(QString::fromStdString(why));
}

QString NoVideoText(const device::Failure& failure) {
    return CNoVideoText()(failure);
}

device::VideoTarget LiveTarget(std::shared_ptr<ui::CFrameView::CMailbox> mailbox, int width,
                               int height) {
    device::VideoTarget target;
    target.width = width;
    target.height = height;
    target.frame = [mailbox](const device::VideoFrame& f) {
        mailbox->Put(f.width, f.height, f.stride, f.pixels, f.streamBytes);
    };
    // The words are looked up here, on the window thread; the stream ends
    // on a thread of its own.
    target.ended = [mailbox, words = CNoVideoText()](const device::Failure& failure) {
        mailbox->End(words(failure));
    };
    return target;
}

} // namespace orv
