#pragma once
// The device calls of the Batch Set page behind one interface, so the batch
// loops and the worker can be watched in tests (which calls, in which order,
// when) while the real SDK still does the work.

#include "qvipcsdk/QvIpcSdk.h"

namespace orv::batchset {

class IDeviceSdk {
public:
    virtual ~IDeviceSdk() = default;

    // A handle, or -1.
    virtual int Login(const char* ip, int httpPort, const char* user, const char* password) = 0;
    // Each of the following returns 0 on success. Any thread may call them.
    virtual int GetSystemDate(int handle, QvSystemDate* record) = 0;
    virtual int SetSystemDate(int handle, const QvSystemDate* record) = 0;
    virtual int GetPortInfo(int handle, QvPortInfo* record) = 0;
    virtual int SetPortInfo(int handle, const QvPortInfo* record) = 0;
    virtual int GetDdns(int handle, QvDdnsInfo* record) = 0;
    virtual int SetDdns(int handle, const QvDdnsInfo* record) = 0;
    virtual int GetVideoConfig(int handle, QvVideoConfig* record) = 0;
    virtual int SetVideoConfig(int handle, const QvVideoConfig* record) = 0;
    virtual int GetImagingConfig(int handle, QvImagingConfig* record) = 0;
    virtual int SetImagingConfig(int handle, const QvImagingConfig* record) = 0;
    virtual int SetDeviceName(int handle, const char* escapedName) = 0;
    virtual int ModifyPassword(int handle, const char* user, const char* newPassword) = 0;
    virtual int RebootSystem(int handle) = 0;
    virtual int RestoreSystem(int handle) = 0;
    // The uploads stream the file at `path` (escaped, as every text for the
    // SDK) from disk. Not pure, so that fakes written for the Batch Set calls
    // need not know them; the default is the real SDK.
    virtual int UpdateFirmware(int handle, const char* path) {
        return Qv_Ipc_UpdateFirmware(handle, path);
    }
    virtual int UploadOemConfigFile(int handle, const char* path) {
        return Qv_Ipc_UploadOemConfigFile(handle, path);
    }
};

// The device SDK itself.
class CQvDeviceSdk : public IDeviceSdk {
public:
    int Login(const char* ip, int httpPort, const char* user, const char* password) override;
    int GetSystemDate(int handle, QvSystemDate* record) override;
    int SetSystemDate(int handle, const QvSystemDate* record) override;
    int GetPortInfo(int handle, QvPortInfo* record) override;
    int SetPortInfo(int handle, const QvPortInfo* record) override;
    int GetDdns(int handle, QvDdnsInfo* record) override;
    int SetDdns(int handle, const QvDdnsInfo* record) override;
    int GetVideoConfig(int handle, QvVideoConfig* record) override;
    int SetVideoConfig(int handle, const QvVideoConfig* record) override;
    int GetImagingConfig(int handle, QvImagingConfig* record) override;
    int SetImagingConfig(int handle, const QvImagingConfig* record) override;
    int SetDeviceName(int handle, const char* escapedName) override;
    int ModifyPassword(int handle, const char* user, const char* newPassword) override;
    int RebootSystem(int handle) override;
    int RestoreSystem(int handle) override;
    int UpdateFirmware(int handle, const char* path) override;
    int UploadOemConfigFile(int handle, const char* path) override;
};

// The process's one real SDK binding.
IDeviceSdk& TheDeviceSdk();

} // namespace orv::batchset
