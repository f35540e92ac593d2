#pragma once
// The tests' one device SDK double: the real SDK (cameras on loopback or in
// the lab still answer every call) with a log of every call the program
// makes: which call, on which handle, when, with what result, the login
// credentials, the upload paths and the last records sent.

#include "sdk/DeviceSdk.h"

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

class RecordingSdk : public orv::IDeviceSdk {
public:
    struct Call {
        std::string name;
        int handle = 0;
        std::chrono::steady_clock::time_point at;
        // Login only.
        std::string ip;
        std::string user;
        std::string password;
        int result = 0;
        std::string path; // uploads only
        int error = 0;    // Qv_Sdk_GetLastError after an upload
    };

    std::vector<Call> Calls() const {
        std::lock_guard lock(m_lock);
        return m_calls;
    }
    std::vector<Call> Calls(const std::string& name) const {
        std::vector<Call> out;
        for (const Call& call : Calls()) {
            if (call.name == name) {
                out.push_back(call);
            }
        }
        return out;
    }
    // The two uploads, in call order.
    std::vector<Call> Uploads() const {
        std::vector<Call> out;
        for (const Call& call : Calls()) {
            if (!call.path.empty()) {
                out.push_back(call);
            }
        }
        return out;
    }
    void Clear() {
        std::lock_guard lock(m_lock);
        m_calls.clear();
    }
    // The last records sent (read them once the calls are done); every
    // stream record, in order.
    QvSystemDate lastDate{};
    QvVideoConfig lastVideo{};
    QvImagingConfig lastImaging{};
    QvImagingSettings lastPicture{};
    std::string lastName;
    std::vector<QvVideoConfig> sentStreams;

    int Login(const char* ip, int port, const char* user, const char* password) override {
        const int result = m_sdk.Login(ip, port, user, password);
        return log({"Login", result, {}, ip, user, password, result, {}});
    }
    int GetSystemDate(int h, QvSystemDate* r) override {
        return log("GetSystemDate", h, m_sdk.GetSystemDate(h, r));
    }
    int SetSystemDate(int h, const QvSystemDate* r) override {
        remember([&] { lastDate = *r; });
        return log("SetSystemDate", h, m_sdk.SetSystemDate(h, r));
    }
    int GetPortInfo(int h, QvPortInfo* r) override {
        return log("GetPortInfo", h, m_sdk.GetPortInfo(h, r));
    }
    int SetPortInfo(int h, const QvPortInfo* r) override {
        return log("SetPortInfo", h, m_sdk.SetPortInfo(h, r));
    }
    int GetDdns(int h, QvDdnsInfo* r) override { return log("GetDdns", h, m_sdk.GetDdns(h, r)); }
    int SetDdns(int h, const QvDdnsInfo* r) override {
        return log("SetDdns", h, m_sdk.SetDdns(h, r));
    }
    int GetVideoConfig(int h, QvVideoConfig* r) override {
        return log("GetVideoConfig", h, m_sdk.GetVideoConfig(h, r));
    }
    int SetVideoConfig(int h, const QvVideoConfig* r) override {
        remember([&] {
            lastVideo = *r;
            sentStreams.push_back(*r);
        });
        return log("SetVideoConfig", h, m_sdk.SetVideoConfig(h, r));
    }
    int GetImagingConfig(int h, QvImagingConfig* r) override {
        return log("GetImagingConfig", h, m_sdk.GetImagingConfig(h, r));
    }
    int SetImagingConfig(int h, const QvImagingConfig* r) override {
        remember([&] { lastImaging = *r; });
        return log("SetImagingConfig", h, m_sdk.SetImagingConfig(h, r));
    }
    int GetImagingSettings(int h, QvImagingSettings* r) override {
        return log("GetImagingSettings", h, m_sdk.GetImagingSettings(h, r));
    }
    int SetImagingSettings(int h, const QvImagingSettings* r) override {
        remember([&] { lastPicture = *r; });
        return log("SetImagingSettings", h, m_sdk.SetImagingSettings(h, r));
    }
    int SetDeviceName(int h, const char* name) override {
        remember([&] { lastName = name; });
        return log("SetDeviceName", h, m_sdk.SetDeviceName(h, name));
    }
    int ModifyPassword(int h, const char* user, const char* password) override {
        return log("ModifyPassword", h, m_sdk.ModifyPassword(h, user, password));
    }
    int RebootSystem(int h) override { return log("RebootSystem", h, m_sdk.RebootSystem(h)); }
    int RestoreSystem(int h) override { return log("RestoreSystem", h, m_sdk.RestoreSystem(h)); }
    int UpdateFirmware(int h, const char* path) override {
        return upload("UpdateFirmware", h, path, m_sdk.UpdateFirmware(h, path));
    }
    int UploadOemConfigFile(int h, const char* path) override {
        return upload("UploadOemConfigFile", h, path, m_sdk.UploadOemConfigFile(h, path));
    }
    int LivePlay(int h, QvPlayInfo* play) override {
        return log("LivePlay", h, m_sdk.LivePlay(h, play));
    }
    int StopLivePlay(int h) override { return log("StopLivePlay", h, m_sdk.StopLivePlay(h)); }
    int GetLastError() override { return m_sdk.GetLastError(); }

private:
    // Workers of several cameras call at once.
    template <class Fn>
    void remember(Fn fn) {
        std::lock_guard lock(m_lock);
        fn();
    }
    int log(Call call) {
        call.at = std::chrono::steady_clock::now();
        std::lock_guard lock(m_lock);
        m_calls.push_back(call);
        return call.result;
    }
    int log(const char* name, int handle, int result) {
        return log({name, handle, {}, {}, {}, {}, result, {}});
    }
    int upload(const char* name, int handle, const char* path, int result) {
        Call call{name, handle, {}, {}, {}, {}, result, path};
        call.error = m_sdk.GetLastError();
        return log(call);
    }

    orv::CQvDeviceSdk m_sdk;
    mutable std::mutex m_lock;
    std::vector<Call> m_calls;
};
