#pragma once
// Device SDK: logs in to one camera over HTTP and reads or writes its
// configuration. Flat C interface; records are plain fixed-size structures
// owned by the caller. Every call blocks until the camera answered or a
// timeout passed; see docs/device-api.md for the wire protocol, the error
// numbers and the timeouts.

#include <stdint.h>

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

/* Error numbers of Qv_Sdk_GetLastError. */
#define QV_ERR_NONE 0
#define QV_ERR_NETWORK 1        /* address unreachable, connection refused, reset or cut */
#define QV_ERR_TIMEOUT 2        /* no connection or no complete answer in time */
#define QV_ERR_AUTH 3           /* the camera refused the user name or password */
#define QV_ERR_REJECTED 4       /* the camera refused a value (out of range, wrong file) */
#define QV_ERR_BAD_HANDLE 5     /* -1 or a handle that no login returned */
#define QV_ERR_BAD_ARGUMENT 6   /* null pointer, unknown stream, text too long or not UTF-8 */
#define QV_ERR_MALFORMED 7      /* the answer is not the documented JSON, or too large */
#define QV_ERR_FILE 8           /* file missing, unreadable, or changed while being sent */
#define QV_ERR_DEVICE 9         /* the camera reported an internal failure (5xx) */
#define QV_ERR_NOT_SUPPORTED 10 /* a decoder or video sink for live play is missing */
#define QV_ERR_INTERNAL 11      /* out of memory or the HTTP library failed to start */
#define QV_ERR_CANCELLED 12     /* an upload stopped by the calling thread's cancel check */
#define QV_ERR_IDENTITY 13      /* a pinned camera showed another key, or no TLS any more */

/* System date, 72 bytes. */
typedef struct QvSystemDate {
    uint8_t useTimeServer; /* 1: synchronise with timeServer, 0: set date and time */
    char date[16];         /* sent "YYYY/MM/DD" (or with '-'); read back "YYYY-MM-DD" */
    char time[16];         /* "HH:MM:SS" */
    char timeServer[32];
    uint8_t padding[3];
    int32_t timeZone; /* 0..24, hours east of GMT plus 12 */
} QvSystemDate;

/* What the camera says of itself (extension), 96 bytes: read again after an
   upgrade, once the camera runs the new firmware. */
typedef struct QvDeviceInfo {
    char model[32];
    char version[32];
    char deviceName[32];
} QvDeviceInfo;

/* Service ports, 20 bytes. */
typedef struct QvPortInfo {
    int32_t httpPort;
    int32_t onvifPort;
    int32_t rtspPort1;
    int32_t rtspPort2;
    int32_t reserved;
} QvPortInfo;

/* Dynamic DNS registration, 385 bytes. */
typedef struct QvDdnsInfo {
    uint8_t enable;
    char provider[64];
    char user[32];
    char password[32];
    char hash[128];
    char host[128];
} QvDdnsInfo;

/* One video stream, 28 bytes. */
typedef struct QvVideoConfig {
    uint8_t stream; /* 1 primary, 0 secondary: chosen by the caller before a Get */
    uint8_t enabled;
    uint8_t codec; /* 0 H.264, 1 MPEG4, 2 MJPEG */
    uint8_t reserved0;
    int32_t frameSize;
    int32_t frameRate;
    int32_t bitRate;
    uint8_t bitRateControl; /* 0 CBR, 1 VBR */
    uint8_t reserved1[3];
    int32_t iFrameInterval;
    uint32_t deviceTag; /* the camera's own value; a Set sends back what a Get read */
} QvVideoConfig;

/* Imaging options, 24 bytes. The deviceData bytes belong to the camera and
   must go back unchanged. */
typedef struct QvImagingConfig {
    uint8_t deviceData0[4];
    int32_t powerLineFrequency; /* 50 or 60 */
    uint8_t irCutMode;          /* 0 night, 1 day, 2 auto */
    uint8_t deviceData9[6];
    uint8_t localDisplay; /* 0 off, 1 NTSC, 2 PAL */
    uint8_t deviceData16[4];
    uint8_t outdoorMode;     /* 0 outdoor, 1 indoor */
    uint8_t exposureLevel;   /* 0..10 */
    uint8_t maxExposureTime; /* 0..4 */
    uint8_t deviceData23;
} QvImagingConfig;

/* Picture adjustments, 12 bytes. */
typedef struct QvImagingSettings {
    int32_t brightness; /* 0..255 */
    int32_t contrast;
    int32_t saturation;
} QvImagingSettings;

/* Live play request, 40 bytes. */
typedef struct QvPlayInfo {
    uint8_t option0;
    uint8_t option1;
    uint8_t reserved0[2];
    uint32_t window;       /* native handle of the window the video is drawn into (X11 window id) */
    uint8_t reserved1[32]; /* bytes 0..3: upper half of a handle wider than 32 bits, else 0 */
} QvPlayInfo;

/* Once at program start and once at exit. Init may be called again after
   Destroy; calls are counted so that nested users do not tear down early. */
QVIPCSDK_API int Qv_Sdk_Init(void);
QVIPCSDK_API int Qv_Sdk_Destroy(void);

/* Error number of the last call made on the calling thread (QV_ERR_*). */
QVIPCSDK_API int Qv_Sdk_GetLastError(void);

/* Extensions for tests and measurements. Timeouts in milliseconds; 0 keeps
   the current value. Connection reuse is on by default. */
QVIPCSDK_API int Qv_Sdk_SetTimeouts(int connectMs, int requestMs);
/* The timeouts in force; either pointer may be null. */
QVIPCSDK_API int Qv_Sdk_GetTimeouts(int* connectMs, int* requestMs);
/* The calling thread's uploads ask check(context) at least once a second
   while they send, and stop with QV_ERR_CANCELLED when it returns non-zero.
   A null check takes it away. */
typedef int (*QvCancelCheck)(void* context);
QVIPCSDK_API int Qv_Sdk_SetCancelCheck(QvCancelCheck check, void* context);
QVIPCSDK_API int Qv_Sdk_SetConnectionReuse(int on);

/* Texts arrive escaped: a backslash precedes every backslash and apostrophe.
   The handle is positive and stays valid for the life of the process; -1 on
   failure. ipAddr2 and reserved are accepted for compatibility and unused. */
QVIPCSDK_API int Qv_Ipc_Login(const char* ipAddr, const char* ipAddr2, int httpPort,
                              const char* user, const char* password, int reserved);

/* What a caller knows of a camera's TLS identity, and what the login saw
   (extension). `pin` is libcurl's form "sha256//<base64 of the SHA-256 of
   the certificate's SubjectPublicKeyInfo>". */
typedef struct QvTrust {
    char pin[64];    /* in: the key the camera showed before, empty for a first contact;
                        out: the key it showed now, empty over plain HTTP */
    int32_t tlsPort; /* in: the TLS port of a pinned camera (0: ask the camera);
                        out: the TLS port used, 0 over plain HTTP */
} QvTrust;

/* Logs in over the camera's TLS port whenever it offers one, and over plain
   HTTP (as Qv_Ipc_Login) only when it offers none and no pin is given. With
   a pin, a camera that shows another key or no longer offers TLS fails with
   QV_ERR_IDENTITY before any credentials are sent. Returns the handle, or
   -1; `trust` is updated on success only. */
QVIPCSDK_API int Qv_Ipc_LoginTrusted(const char* ipAddr, int httpPort, const char* user,
                                     const char* password, QvTrust* trust);

/* All following calls return 0 on success and non-zero on failure. A Get
   fills its record only on success. */
QVIPCSDK_API int Qv_Ipc_GetDeviceInfo(int handle, QvDeviceInfo* record);
QVIPCSDK_API int Qv_Ipc_GetSystemDate(int handle, QvSystemDate* record);
QVIPCSDK_API int Qv_Ipc_SetSystemDate(int handle, const QvSystemDate* record);
QVIPCSDK_API int Qv_Ipc_GetPortInfo(int handle, QvPortInfo* record);
QVIPCSDK_API int Qv_Ipc_SetPortInfo(int handle, const QvPortInfo* record);
QVIPCSDK_API int Qv_Ipc_GetDDNS(int handle, QvDdnsInfo* record);
QVIPCSDK_API int Qv_Ipc_SetDDNS(int handle, const QvDdnsInfo* record);
QVIPCSDK_API int Qv_Ipc_GetVideoConfig(int handle, QvVideoConfig* record);
QVIPCSDK_API int Qv_Ipc_SetVideoConfig(int handle, const QvVideoConfig* record);
QVIPCSDK_API int Qv_Ipc_GetImagingConfig(int handle, QvImagingConfig* record);
QVIPCSDK_API int Qv_Ipc_SetImagingConfig(int handle, const QvImagingConfig* record);
QVIPCSDK_API int Qv_Ipc_GetImagingSettings(int handle, QvImagingSettings* record);
QVIPCSDK_API int Qv_Ipc_SetImagingSettings(int handle, const QvImagingSettings* record);

/* The name is UTF-8, escaped, then percent-encoded byte by byte ("%43" or
   "% A"); the camera stores the plain text. */
QVIPCSDK_API int Qv_Ipc_SetDeviceName(int handle, const char* encodedName);
/* On success the handle goes on with the new password. */
QVIPCSDK_API int Qv_Ipc_ModifyPassword(int handle, const char* user, const char* newPassword);
QVIPCSDK_API int Qv_Ipc_RebootSystem(int handle);
QVIPCSDK_API int Qv_Ipc_RestoreSystem(int handle);

/* The file is streamed from disk; the path arrives escaped. */
QVIPCSDK_API int Qv_Ipc_UpdateFirmware(int handle, const char* path);
QVIPCSDK_API int Qv_Ipc_UploadOemConfigFile(int handle, const char* path);

/* Live video over RTSP, drawn into play->window (an X11 window; run Qt with
   the xcb platform). Returns 0 once the first frame reached the window;
   fails within 5 s otherwise (QV_ERR_TIMEOUT, QV_ERR_AUTH, QV_ERR_NETWORK,
   QV_ERR_NOT_SUPPORTED when a decoder or video sink is missing). A stream
   that stops delivering frames for 3 s ends by itself; StopLivePlay then
   only releases it. StopLivePlay with nothing playing succeeds. */
QVIPCSDK_API int Qv_IpcClient_LivePlay(int handle, QvPlayInfo* play, int option1, int option2);
QVIPCSDK_API int Qv_IpcClient_StopLivePlay(int handle);

/* Extension: live video handed over picture by picture, for a caller that
   draws it itself (any display, or none). A picture holds 32-bit pixels,
   bytes B, G, R, unused in memory order, rows `stride` bytes apart, and is
   valid only during the call. `frame` runs on a streaming thread for every
   picture (pictures that arrive while it runs are dropped); `ended`, when
   not NULL, runs once on another thread with the error number when a
   stream that played ends by itself (it broke off, ended, or sent nothing
   for 3 s), never after StopLivePlay. Neither may call into this SDK.
   `user` is handed to both and must stay valid until StopLivePlay (or
   Qv_Sdk_Destroy) returns. Pictures are scaled to width x height (0 x 0: the
   stream's own size). Returns as LivePlay does; StopLivePlay stops it. */
typedef struct QvFrame {
    int32_t width;
    int32_t height;
    int32_t stride;
    const uint8_t* pixels;
    uint64_t streamBytes; /* H.264 bytes received since the view started */
} QvFrame;
typedef void (*QvFrameCallback)(void* user, const QvFrame* frame);
typedef void (*QvEndedCallback)(void* user, int error);
typedef struct QvFrameTarget {
    QvFrameCallback frame;
    QvEndedCallback ended;
    void* user;
    int32_t width;
    int32_t height;
} QvFrameTarget;
QVIPCSDK_API int Qv_IpcClient_LivePlayFrames(int handle, const QvFrameTarget* target);

#ifdef __cplusplus
}
#endif
