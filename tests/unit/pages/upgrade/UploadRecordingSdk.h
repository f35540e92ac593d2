#pragma once
// The recording SDK plus the two uploads, with the path each one was given:
// the cameras on loopback still receive every file.

#include "RecordingSdk.h"

#include <mutex>
#include <string>
#include <vector>

class UploadRecordingSdk : public RecordingSdk {
public:
    struct Upload {
        std::string call;
        int handle = 0;
        std::string path;
        int result = 0;
        int error = 0; // Qv_Sdk_GetLastError after the call
    };

    std::vector<Upload> Uploads() const {
        std::lock_guard lock(m_uploadLock);
        return m_uploads;
    }

    int UpdateFirmware(int handle, const char* path) override {
        return note("UpdateFirmware", handle, path, Qv_Ipc_UpdateFirmware(handle, path));
    }
    int UploadOemConfigFile(int handle, const char* path) override {
        return note("UploadOemConfigFile", handle, path, Qv_Ipc_UploadOemConfigFile(handle, path));
    }

private:
    int note(const char* call, int handle, const char* path, int result) {
        const int error = Qv_Sdk_GetLastError();
        std::lock_guard lock(m_uploadLock);
        m_uploads.push_back({call, handle, path, result, error});
        return result;
    }

    mutable std::mutex m_uploadLock;
    std::vector<Upload> m_uploads;
};
