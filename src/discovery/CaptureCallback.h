#pragma once
// The single road by which cameras enter the program: the discovery library
// calls CaptureCallback on its own thread; the callback copies each record to
// every page as a posted event and touches no page state itself.

#include "qvsp/QvspTypes.h"

#include <vector>

class QObject;

namespace orv {

// What the callback needs of the main window.
class IDiscoverySink {
public:
    virtual ~IDiscoverySink() = default;
    // The pages that receive device records, in delivery order; fixed for
    // as long as discovery runs.
    virtual const std::vector<QObject*>& DevicePages() const = 0;
    // Appends a result line; may be called from any thread.
    virtual void AddOperatingInfo(const wchar_t* text) = 0;
};

// `user` is the IDiscoverySink of the main window.
void CaptureCallback(int type, tagMsgInfo* msg, void* user);

} // namespace orv
