#include "qvipcsdk/QvIpcSdk.h"

#include <curl/curl.h>

#include <mutex>

namespace {
std::mutex g_initLock;
int g_initCount = 0;
} // namespace

extern "C" int Qv_Sdk_Init(void) {
    std::lock_guard lock(g_initLock);
    if (g_initCount == 0 && curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        return -1;
    }
    ++g_initCount;
    return 0;
}

extern "C" int Qv_Sdk_Destroy(void) {
    std::lock_guard lock(g_initLock);
    if (g_initCount == 0) {
        return -1;
    }
    if (--g_initCount == 0) {
        curl_global_cleanup();
    }
    return 0;
}
