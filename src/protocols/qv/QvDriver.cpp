#include "QvDriver.h"

#include "QvRecords.h"
#include "log/LogFile.h"
#include "protocols/qv/DiscoveryInstances.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "text/FieldText.h"

#include <QDateTime>

#include <chrono>
#include <cstring>
#include <optional>

namespace orv::qv {

using namespace orv::device;

namespace {

// The device API takes texts escaped, in the system code page; names UTF-8.
std::string sdkText(const QString& text, int codePage = kCpAnsi) {
    std::wstring escaped;
    for (const wchar_t c : text.toStdWString()) {
        if (c == L'\\' || c == L'\'') {
            escaped += L'\\';
        }
        escaped += c;
    }
    return codePage == kCpUtf8 ? ToUtf8(escaped) : ToAnsi(escaped);
}

// The device API's error as a failure; a timeout names the limit that ran
// out: the answer limit once the call came near it, the connect limit
// before. `error` is read first: the limits are an SDK call too.
Failure CallFailure(int error, bool upload, std::chrono::steady_clock::time_point start) {
    Failure failure{FaultOf(error, upload), {}};
    if (failure.fault == Fault::NoAnswer) {
        const auto took = std::chrono::steady_clock::now() - start;
        int connectMs = 0;
        int requestMs = 0;
        Qv_Sdk_GetTimeouts(&connectMs, &requestMs);
        const std::chrono::milliseconds request(requestMs);
        failure.limit = took >= request * 9 / 10 ? request : std::chrono::milliseconds(connectMs);
    }
    return failure;
}

class CQvSession final : public IDeviceSession {
public:
    CQvSession(DeviceInfo device, int handle, bool encrypted)
        : m_device(std::move(device)), m_handle(handle), m_encrypted(encrypted) {}
    ~CQvSession() override { stopLive(); }

    const DeviceInfo& Device() const override { return m_device; }
    bool Encrypted() const override { return m_encrypted; }

    Result<TimeSettings> GetTime() override {
        return get<QvSystemDate>(Qv_Ipc_GetSystemDate, TimeOf);
    }
    Status SetTime(const TimeSettings& s) override {
        const QvSystemDate r = RecordOf(s);
        return status([&] { return Qv_Ipc_SetSystemDate(m_handle, &r); });
    }
    Result<QString> GetFirmwareVersion() override {
        return get<QvDeviceInfo>(Qv_Ipc_GetDeviceInfo, [](const QvDeviceInfo& r) {
            return QString::fromUtf8(r.version,
                                     static_cast<qsizetype>(strnlen(r.version, sizeof r.version)));
        });
    }
    Result<PortSettings> GetPorts() override {
        return get<QvPortInfo>(Qv_Ipc_GetPortInfo, PortsOf);
    }
    Status SetPorts(const PortSettings& s) override {
        const QvPortInfo r = RecordOf(s);
        return status([&] { return Qv_Ipc_SetPortInfo(m_handle, &r); });
    }
    Result<DdnsSettings> GetDdns() override { return get<QvDdnsInfo>(Qv_Ipc_GetDDNS, DdnsOf); }
    Status SetDdns(const DdnsSettings& s) override {
        const auto r = RecordOf(s);
        if (!r) {
            return Failure{Fault::Refused, "a text is too long for the camera"};
        }
        return status([&] { return Qv_Ipc_SetDDNS(m_handle, &*r); });
    }
    Result<StreamSettings> GetStream(StreamKind kind) override {
        QvVideoConfig r{};
        r.stream = kind == StreamKind::Primary ? 1 : 0;
        if (const Status read = status([&] { return Qv_Ipc_GetVideoConfig(m_handle, &r); });
            !read) {
            return read.Error();
        }
        return StreamOf(r);
    }
    Status SetStream(StreamKind kind, const StreamSettings& s) override {
        const QvVideoConfig r = RecordOf(kind, s);
        return status([&] { return Qv_Ipc_SetVideoConfig(m_handle, &r); });
    }
    Result<ImageSettings> GetImage() override {
        return get<QvImagingConfig>(Qv_Ipc_GetImagingConfig, ImageOf);
    }
    Status SetImage(const ImageSettings& s) override {
        const QvImagingConfig r = RecordOf(s);
        return status([&] { return Qv_Ipc_SetImagingConfig(m_handle, &r); });
    }
    Result<PictureSettings> GetPicture() override {
        return get<QvImagingSettings>(Qv_Ipc_GetImagingSettings, PictureOf);
    }
    Status SetPicture(const PictureSettings& s) override {
        const QvImagingSettings r = RecordOf(s);
        return status([&] { return Qv_Ipc_SetImagingSettings(m_handle, &r); });
    }
    Status SetName(const QString& name) override {
        const auto text = NameForApi(name);
        if (!text) {
            return Failure{Fault::Refused, "the name is too long for the camera"};
        }
        return status([&] { return Qv_Ipc_SetDeviceName(m_handle, text->c_str()); });
    }
    Status ChangePassword(const QString& user, const QString& newPassword) override {
        return status([&] {
            return Qv_Ipc_ModifyPassword(m_handle, sdkText(user).c_str(),
                                         sdkText(newPassword).c_str());
        });
    }
    Status Reboot() override {
        return status([&] { return Qv_Ipc_RebootSystem(m_handle); });
    }
    Status Restore() override {
        return status([&] { return Qv_Ipc_RestoreSystem(m_handle); });
    }
    Status UpdateFirmware(const QString& path, const CancelCheck& cancelled) override {
        return upload(Qv_Ipc_UpdateFirmware, path, cancelled);
    }
    Status UploadOem(const QString& path, const CancelCheck& cancelled) override {
        return upload(Qv_Ipc_UploadOemConfigFile, path, cancelled);
    }
    Status StartLiveVideo(VideoTarget target) override {
        // A view still playing ends first, and its target with it.
        stopLive();
        m_target = std::make_unique<VideoTarget>(std::move(target));
        QvFrameTarget to{};
        to.frame = &CQvSession::onFrame;
        to.ended = m_target->ended ? &CQvSession::onEnded : nullptr;
        to.user = m_target.get();
        to.width = m_target->width;
        to.height = m_target->height;
        const auto start = std::chrono::steady_clock::now();
        if (Qv_IpcClient_LivePlayFrames(m_handle, &to) != 0) {
            const int error = Qv_Sdk_GetLastError();
            WriteLog(1, "Last Error:%d", error);
            m_target.reset(); // a failed start leaves nothing that calls it
            return CallFailure(error, false, start);
        }
        m_playing = true;
        return Done{};
    }
    Status StopLiveVideo() override {
        m_playing = false;
        const Status stopped = status([&] { return Qv_IpcClient_StopLivePlay(m_handle); });
        m_target.reset(); // no picture is handed over once the stop returned
        return stopped;
    }

private:
    template <class Record, class Convert>
    auto get(int (*call)(int, Record*), Convert convert) -> Result<decltype(convert(Record{}))> {
        Record r{};
        if (const Status read = status([&] { return call(m_handle, &r); }); !read) {
            return read.Error();
        }
        return convert(r);
    }
    // One device-API call, timed: a call that runs out of time names the
    // limit it ran out of.
    template <class Call>
    static Status status(Call call, bool upload = false) {
        const auto start = std::chrono::steady_clock::now();
        if (call() != 0) {
            return CallFailure(Qv_Sdk_GetLastError(), upload, start);
        }
        return Done{};
    }
    Status upload(int (*call)(int, const char*), const QString& path,
                  const CancelCheck& cancelled) {
        // The check is the calling thread's for the length of this upload.
        const auto ask = [](void* context) -> int {
            return (*static_cast<const CancelCheck*>(context))() ? 1 : 0;
        };
        if (cancelled) {
            Qv_Sdk_SetCancelCheck(ask, const_cast<CancelCheck*>(&cancelled));
        }
        // The error is read before anything else touches the SDK.
        const Status result = status([&] { return call(m_handle, sdkText(path).c_str()); }, true);
        if (cancelled) {
            Qv_Sdk_SetCancelCheck(nullptr, nullptr);
        }
        return result;
    }

    void stopLive() {
        if (m_playing) {
            Qv_IpcClient_StopLivePlay(m_handle);
            m_playing = false;
        }
        m_target.reset();
    }
    static void onFrame(void* user, const QvFrame* frame) {
        static_cast<VideoTarget*>(user)->frame(
            {frame->width, frame->height, frame->stride, frame->pixels, frame->streamBytes});
    }
    static void onEnded(void* user, int error) {
        static_cast<VideoTarget*>(user)->ended(Failure{FaultOf(error, false), {}});
    }

    DeviceInfo m_device;
    int m_handle;
    bool m_encrypted;
    bool m_playing = false;
    // What the SDK hands the pictures to while a view plays; kept until the
    // view stopped.
    std::unique_ptr<VideoTarget> m_target;
};

} // namespace

Fault ModifyFault(int result) {
    switch (result) {
    case QVSP_RESULT_BAD_PROOF:
        return Fault::WrongCredentials;
    case QVSP_RESULT_BAD_VALUES:
        return Fault::Refused;
    case QVSP_RESULT_NO_ANSWER:
        return Fault::NoAnswer;
    default:
        return Fault::Other;
    }
}

void Deliver(IDiscoverySink& sink, int type, const tagMsgInfo& msg) {
    const auto now = std::chrono::steady_clock::now();
    switch (type) {
    case CAP_SEARCH_RESP:
        WriteLog(0, "Search Resp:%.31s.", msg.Info.IpAddr);
        sink.DevicesFound({DeviceOf(msg.Info, now)});
        break;
    case CAP_MODIFY_RESULT:
        sink.AddressChangeDone(DeviceOf(msg.Info, now),
                               msg.Result == 0 ? Status(Done{}) : Status(ModifyFault(msg.Result)));
        break;
    case CAP_CAPTURE_STOPPED: {
        // The record names the adapter whose capture ended.
        const QString adapter = QString::fromUtf8(
            msg.Info.DevName,
            static_cast<qsizetype>(strnlen(msg.Info.DevName, sizeof msg.Info.DevName)));
        sink.DiscoveryProblem(CaptureProblemText(adapter, msg.Result, true));
        break;
    }
    default:
        WriteLog(1, "Unknown Message.");
        break;
    }
}

void ForwardCapture(int type, tagMsgInfo* msg, void* sink) {
    if (msg != nullptr && sink != nullptr) {
        Deliver(*static_cast<IDiscoverySink*>(sink), type, *msg);
    } else if (type != CAP_SEARCH_RESP && type != CAP_MODIFY_RESULT &&
               type != CAP_CAPTURE_STOPPED) {
        WriteLog(1, "Unknown Message.");
    }
}

namespace {} // namespace

std::unique_ptr<IDeviceSession> OpenQvSession(const DeviceInfo& device,
                                              const Credentials& credentials, Failure& failure,
                                              ITrustStore* trust) {
    const std::string ip = Ipv4Text(device.address).toStdString();
    std::optional<TrustedKey> known;
    if (trust != nullptr && device.mac) {
        known = trust->Find(*device.mac);
    }
    QvTrust seen{};
    if (known) {
        std::strncpy(seen.pin, known->pin.c_str(), sizeof seen.pin - 1);
        seen.tlsPort = known->tlsPort;
    }
    const auto start = std::chrono::steady_clock::now();
    const int handle =
        Qv_Ipc_LoginTrusted(ip.c_str(), device.ports.http, sdkText(credentials.user).c_str(),
                            sdkText(credentials.password).c_str(), &seen);
    if (handle < 0) {
        const int error = Qv_Sdk_GetLastError();
        failure = CallFailure(error, false, start);
        if (error == QV_ERR_IDENTITY && known) {
            failure.detail = device::TrustedSince(*known);
            WriteLog(1, "Identity of %s at %s changed: refused.", device.MacText().c_str(),
                     ip.c_str());
        }
        return nullptr;
    }
    const std::string pin(seen.pin, strnlen(seen.pin, sizeof seen.pin));
    if (trust != nullptr && device.mac && !pin.empty()) {
        if (!known) {
            trust->Keep(*device.mac, {pin, seen.tlsPort, std::chrono::system_clock::now()});
            WriteLog(0, "Trusted %s at %s by its key %s.", device.MacText().c_str(), ip.c_str(),
                     pin.c_str());
        } else if (known->tlsPort != seen.tlsPort) {
            trust->Keep(*device.mac, {known->pin, seen.tlsPort, known->since});
        }
    }
    return std::make_unique<CQvSession>(device, handle, seen.tlsPort != 0);
}

namespace {

// The discovery library's timing is chosen by its protected constructor.
class CTimedQvsp : public CQvsp {
public:
    explicit CTimedQvsp(const QvspTiming& timing) : CQvsp(timing) {}
};

} // namespace

CQvDriver::InstancesFactory SearchingEvery(std::chrono::milliseconds interval) {
    return [interval] {
        return std::make_unique<CDiscoveryInstances>([interval] {
            QvspTiming timing;
            timing.searchInterval = interval;
            return std::make_unique<CTimedQvsp>(timing);
        });
    };
}

CQvDriver::CQvDriver(InstancesFactory instances, ITrustStore* trust)
    : m_factory(std::move(instances)), m_trust(trust) {}

CQvDriver::~CQvDriver() {
    StopDiscovery();
}

// Passes everything on and notes each camera that answered, so the other
// drivers can tell a camera the maker's discovery already describes.
class CQvDriver::Recorder final : public IDiscoverySink {
public:
    Recorder(CQvDriver& driver, IDiscoverySink& inner) : m_driver(driver), m_inner(inner) {}
    void DevicesFound(std::vector<DeviceInfo> devices) override {
        {
            std::lock_guard lock(m_driver.m_answeredLock);
            for (const DeviceInfo& d : devices) {
                m_driver.m_answered.insert(d.id);
            }
        }
        m_inner.DevicesFound(std::move(devices));
    }
    void AddressChangeDone(const DeviceInfo& requested, const Status& outcome) override {
        m_inner.AddressChangeDone(requested, outcome);
    }
    void DiscoveryProblem(const QString& text) override { m_inner.DiscoveryProblem(text); }

private:
    CQvDriver& m_driver;
    IDiscoverySink& m_inner;
};

bool CQvDriver::Answered(const device::DeviceId& id) const {
    std::lock_guard lock(m_answeredLock);
    return m_answered.count(id) != 0;
}

void CQvDriver::StartDiscovery(IDiscoverySink& sink) {
    std::lock_guard lock(m_lock);
    if (m_instances) {
        return;
    }
    m_instances = m_factory ? m_factory() : std::make_unique<CDiscoveryInstances>();
    m_recorders.push_back(std::make_unique<Recorder>(*this, sink));
    m_sink = m_recorders.back().get();
    m_instances->Start(ForwardCapture, m_sink, [this](const std::string& adapter, int error) {
        m_sink->DiscoveryProblem(CaptureProblemText(QString::fromStdString(adapter), error, false));
    });
}

int CQvDriver::StartDiscoveryEach(const SinkFor& sinkFor, const StartFailure& failed) {
    std::lock_guard lock(m_lock);
    if (m_instances) {
        return 0;
    }
    m_instances = m_factory ? m_factory() : std::make_unique<CDiscoveryInstances>();
    return m_instances->StartEach(
        ForwardCapture,
        [this, &sinkFor](const QvAdapter& a) -> void* {
            Adapter adapter{std::string(a.Name, strnlen(a.Name, sizeof a.Name)), {}};
            std::copy(std::begin(a.Mac), std::end(a.Mac), adapter.mac.begin());
            IDiscoverySink* sink = sinkFor(adapter);
            if (sink == nullptr) {
                return nullptr;
            }
            m_recorders.push_back(std::make_unique<Recorder>(*this, *sink));
            return m_recorders.back().get();
        },
        failed);
}

void CQvDriver::StopDiscovery() {
    std::unique_ptr<CDiscoveryInstances> instances;
    {
        std::lock_guard lock(m_lock);
        instances = std::move(m_instances);
        m_sink = nullptr;
    }
    if (instances) {
        instances->Stop();
    }
    // No capture reports any more: the recorders may go.
    std::lock_guard lock(m_lock);
    if (!m_instances) {
        m_recorders.clear();
    }
}

std::optional<device::Reach> CQvDriver::ReachOf(const DeviceInfo& device) const {
    if (device.address == 0 || device.ports.http <= 0 || device.ports.http > 65535) {
        return std::nullopt;
    }
    int connectMs = 0;
    Qv_Sdk_GetTimeouts(&connectMs, nullptr);
    return device::Reach{device.address, static_cast<std::uint16_t>(device.ports.http),
                         std::chrono::milliseconds(connectMs)};
}

Result<std::unique_ptr<IDeviceSession>> CQvDriver::Open(const DeviceInfo& device,
                                                        const Credentials& credentials) {
    Failure failure;
    auto session = OpenQvSession(device, credentials, failure, m_trust);
    if (!session) {
        return failure;
    }
    return session;
}

int CQvDriver::InstanceCount() const {
    std::lock_guard lock(m_lock);
    return m_instances ? m_instances->Count() : 0;
}

bool CQvDriver::Takes(device::TextField field, const QString& text) const {
    const tagQvIpcInfo r{};
    const std::wstring wide = text.toStdWString();
    switch (field) {
    case device::TextField::User:
        return FitsRecordField(wide, kCpAnsi, sizeof r.UserName);
    case device::TextField::Password:
        return FitsRecordField(wide, kCpAnsi, sizeof r.Password);
    case device::TextField::Name:
        return FitsRecordField(wide, kCpUtf8, kNameBytes);
    case device::TextField::DdnsUser:
        return FitsRecordField(wide, kCpAnsi, sizeof QvDdnsInfo::user);
    case device::TextField::DdnsPassword:
        return FitsRecordField(wide, kCpAnsi, sizeof QvDdnsInfo::password);
    case device::TextField::DdnsHost:
        return FitsRecordField(wide, kCpAnsi, sizeof QvDdnsInfo::host);
    case device::TextField::DdnsHash:
        return FitsRecordField(wide, kCpAnsi, sizeof QvDdnsInfo::hash);
    }
    return false;
}

Status CQvDriver::ChangeAddress(const DeviceInfo& device, const AddressChange& change,
                                const Credentials& credentials) {
    auto request = ModifyRequestOf(device, change, credentials);
    if (!request) {
        return Failure{Fault::Refused, "a text is too long for the camera"};
    }
    std::lock_guard lock(m_lock);
    if (!m_instances) {
        return Failure{Fault::Unreachable, "discovery is not running"};
    }
    m_instances->ModifyAll(&*request);
    return Done{};
}

} // namespace orv::qv
