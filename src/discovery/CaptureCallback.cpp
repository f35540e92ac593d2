#include "CaptureCallback.h"

#include "PageEvents.h"
#include "ResultLines.h"
#include "log/LogFile.h"
#include "text/TextConv.h"

#include <QCoreApplication>

namespace orv {
namespace {

void postToPages(const IDiscoverySink& sink, QEvent::Type type, const tagQvIpcInfo& record) {
    for (QObject* page : sink.DevicePages()) {
        auto event = std::make_unique<CDeviceEvent>(type, record);
        QCoreApplication::postEvent(page, event.release());
    }
}

void reportFailedModify(IDiscoverySink& sink, const tagQvIpcInfo& r) {
    const std::string line = ModifyResultLine(r, false);
    wchar_t wide[260] = {};
    MultiToWide(kCpAnsi, line.c_str(), wide, 260);
    sink.AddOperatingInfo(wide);
}

} // namespace

void CaptureCallback(int type, tagMsgInfo* msg, void* user) {
    auto* sink = static_cast<IDiscoverySink*>(user);
    if (sink == nullptr) {
        return;
    }
    switch (type) {
    case CAP_SEARCH_RESP:
        if (msg != nullptr) {
            WriteLog(0, "Search Resp:%.31s.", msg->Info.IpAddr);
            postToPages(*sink, kDeviceFoundEvent, msg->Info);
        }
        break;
    case CAP_MODIFY_RESULT:
        if (msg == nullptr) {
            break;
        }
        if (msg->Result != 0) {
            reportFailedModify(*sink, msg->Info);
        } else {
            postToPages(*sink, kModifyDoneEvent, msg->Info);
        }
        break;
    default:
        WriteLog(1, "Unknown Message.");
        break;
    }
}

} // namespace orv
