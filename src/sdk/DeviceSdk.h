#pragma once
// Every device call the program makes, behind one interface. The pages, the
// batch loops and the worker take it as an argument: the program hands them
// the real SDK, tests a double of their own. There is no default, so a test
// double can never fall through to real traffic.

#include "qvipcsdk/QvIpcSdk.h"

namespace orv {

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
    virtual int GetImagingSettings(int handle, QvImagingSettings* record) = 0;
    virtual int SetImagingSettings(int handle, const QvImagingSettings* record) = 0;
    virtual int SetDeviceName(int handle, const char* escapedName) = 0;
    virtual int ModifyPassword(int handle, const char* user, const char* newPassword) = 0;
    virtual int RebootSystem(int handle) = 0;
    virtual int RestoreSystem(int handle) = 0;
    // The uploads stream the file at `path` (escaped, as every text for the
    // SDK) from disk.
    virtual int UpdateFirmware(int handle, const char* path) = 0;
    virtual int UploadOemConfigFile(int handle, const char* path) = 0;
    virtual int LivePlay(int handle, QvPlayInfo* play) = 0;
    virtual int StopLivePlay(int handle) = 0;
    virtual int GetLastError() = 0;
};

// The device SDK itself.
class CQvDeviceSdk final : public IDeviceSdk {
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
    int GetImagingSettings(int handle, QvImagingSettings* record) override;
    int SetImagingSettings(int handle, const QvImagingSettings* record) override;
    int SetDeviceName(int handle, const char* escapedName) override;
    int ModifyPassword(int handle, const char* user, const char* newPassword) override;
    int RebootSystem(int handle) override;
    int RestoreSystem(int handle) override;
    int UpdateFirmware(int handle, const char* path) override;
    int UploadOemConfigFile(int handle, const char* path) override;
    int LivePlay(int handle, QvPlayInfo* play) override;
    int StopLivePlay(int handle) override;
    int GetLastError() override;
};

} // namespace orv
