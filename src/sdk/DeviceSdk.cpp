#include "DeviceSdk.h"

namespace orv {

int CQvDeviceSdk::Login(const char* ip, int httpPort, const char* user, const char* password) {
    // The SDK takes the address twice; the second one is kept for
    // compatibility and carries the same text.
    return Qv_Ipc_Login(ip, ip, httpPort, user, password, 0);
}
int CQvDeviceSdk::GetSystemDate(int h, QvSystemDate* r) {
    return Qv_Ipc_GetSystemDate(h, r);
}
int CQvDeviceSdk::SetSystemDate(int h, const QvSystemDate* r) {
    return Qv_Ipc_SetSystemDate(h, r);
}
int CQvDeviceSdk::GetPortInfo(int h, QvPortInfo* r) {
    return Qv_Ipc_GetPortInfo(h, r);
}
int CQvDeviceSdk::SetPortInfo(int h, const QvPortInfo* r) {
    return Qv_Ipc_SetPortInfo(h, r);
}
int CQvDeviceSdk::GetDdns(int h, QvDdnsInfo* r) {
    return Qv_Ipc_GetDDNS(h, r);
}
int CQvDeviceSdk::SetDdns(int h, const QvDdnsInfo* r) {
    return Qv_Ipc_SetDDNS(h, r);
}
int CQvDeviceSdk::GetVideoConfig(int h, QvVideoConfig* r) {
    return Qv_Ipc_GetVideoConfig(h, r);
}
int CQvDeviceSdk::SetVideoConfig(int h, const QvVideoConfig* r) {
    return Qv_Ipc_SetVideoConfig(h, r);
}
int CQvDeviceSdk::GetImagingConfig(int h, QvImagingConfig* r) {
    return Qv_Ipc_GetImagingConfig(h, r);
}
int CQvDeviceSdk::SetImagingConfig(int h, const QvImagingConfig* r) {
    return Qv_Ipc_SetImagingConfig(h, r);
}
int CQvDeviceSdk::GetImagingSettings(int h, QvImagingSettings* r) {
    return Qv_Ipc_GetImagingSettings(h, r);
}
int CQvDeviceSdk::SetImagingSettings(int h, const QvImagingSettings* r) {
    return Qv_Ipc_SetImagingSettings(h, r);
}
int CQvDeviceSdk::SetDeviceName(int h, const char* name) {
    return Qv_Ipc_SetDeviceName(h, name);
}
int CQvDeviceSdk::ModifyPassword(int h, const char* user, const char* password) {
    return Qv_Ipc_ModifyPassword(h, user, password);
}
int CQvDeviceSdk::RebootSystem(int h) {
    return Qv_Ipc_RebootSystem(h);
}
int CQvDeviceSdk::RestoreSystem(int h) {
    return Qv_Ipc_RestoreSystem(h);
}
int CQvDeviceSdk::UpdateFirmware(int h, const char* path) {
    return Qv_Ipc_UpdateFirmware(h, path);
}
int CQvDeviceSdk::UploadOemConfigFile(int h, const char* path) {
    return Qv_Ipc_UploadOemConfigFile(h, path);
}
int CQvDeviceSdk::LivePlay(int h, QvPlayInfo* play) {
    return Qv_IpcClient_LivePlay(h, play, 0, 0);
}
int CQvDeviceSdk::StopLivePlay(int h) {
    return Qv_IpcClient_StopLivePlay(h);
}
int CQvDeviceSdk::GetLastError() {
    return Qv_Sdk_GetLastError();
}

} // namespace orv
