#pragma once
// Device SDK: logs in to one camera over HTTP and reads or writes its
// configuration. Flat C interface; records are plain fixed-size structures
// owned by the caller.

#if defined(_WIN32)
#if defined(QVIPCSDK_BUILDING)
#define QVIPCSDK_API __declspec(dllexport)
#else
#define QVIPCSDK_API __declspec(dllimport)
#endif
#else
#define QVIPCSDK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Once at program start and once at exit. Init may be called again after
// Destroy; calls are counted so that nested users do not tear down early.
QVIPCSDK_API int Qv_Sdk_Init(void);
QVIPCSDK_API int Qv_Sdk_Destroy(void);

#ifdef __cplusplus
}
#endif
