#pragma once

#include "qvsp/QvspTiming.h"
#include "qvsp/QvspTypes.h"

#include <memory>

#if defined(_WIN32)
#define QVSP_API
#else
#define QVSP_API __attribute__((visibility("default")))
#endif

using QvspCallback = void (*)(int type, tagMsgInfo* msg, void* user);

// Discovery on one network adapter: finds cameras with raw Ethernet frames
// and sends IP modification requests the same way. Every message reaches the
// caller through the callback, on a thread the instance owns.
class QVSP_API CQvsp {
public:
    // Lists the adapters that have a MAC address. The array is freed with
    // FreeSearchAdapter; *list and *count stay 0 when nothing is found.
    static void SearchAdapter(QvAdapter** list, int* count);
    static void FreeSearchAdapter(QvAdapter* list);

    CQvsp();
    virtual ~CQvsp();
    CQvsp(const CQvsp&) = delete;
    CQvsp& operator=(const CQvsp&) = delete;

    void SetAdapter(char* name);
    void SetFilter(char* filter);
    int InitQvsp();
    int StartCapture(QvspCallback callback, void* user);
    int StartDiscovery();
    int ModifyIpcInfo(tagQvIpcInfo* request);
    void UnInitQvsp();

protected:
    // Seam for tests that cannot wait for the real intervals.
    explicit CQvsp(const QvspTiming& timing);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
