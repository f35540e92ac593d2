// The simulator's ONVIF service takes any request body. The first byte
// chooses how the rest arrives: as the whole HTTP body, as the Body's
// content of an envelope that carries a valid UsernameToken (so the fuzzer
// reaches every handler, not only the refusals), or as a firmware image
// posted to an upload address the camera handed out; to a strict camera or
// to one with every quirk. Each input meets the cameras as they were made
// and a service of its own.
//
// Checks: the answer is one of the statuses a camera sends, a 200 is
// well-formed XML, and every camera still survives its state file (what it
// took can be written and read back).

#include "camsim/httpapi/CameraConfig.h"
#include "core/CameraStore.h"
#include "core/Config.h"
#include "onvif/OnvifService.h"
#include "onvif/WsSecurity.h"
#include "onvifc/wire/Xml.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <unistd.h>

using namespace camsim;
using namespace camsim::onvif;

namespace {

const std::vector<Camera>& cameras() {
    static const std::vector<Camera> made = [] {
        nlohmann::json j = {{"interface", "x"},
                            {"state_file", "x"},
                            {"cameras", 1},
                            {"onvif_models",
                             {{{"maker", "Lumora"},
                               {"model", "LX-40"},
                               {"mac_base", "02:6c:75:00:00:00"},
                               {"versions", {"2.1.4"}},
                               {"onvif_port", 8000},
                               {"imaging", false}}}}};
        auto out = makeCameras(*parseConfig(j).config);
        // Settings as after a first call: a read then changes nothing and
        // writes no state file, so the fuzzer spends its time on requests.
        for (Camera& c : out) {
            api::ensureDefaults(c.deviceConfig, c.net.httpPort);
            std::string error;
            if (!cameraFromJson(toJson(c), error))
                __builtin_trap();
        }
        return out;
    }();
    return made;
}

// The store the inputs share: building and tearing down two cameras for
// every input cost more than most requests. An input that changed a camera
// leaves it to be made anew for the next one, so each input still starts
// from the same cameras and a finding replays alone.
std::optional<CameraStore> shared;
bool changed = true;

CameraStore& freshStore() {
    static const std::string stateFile = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                         std::string("/onvif-fuzz-") + std::to_string(getpid()) +
                                         ".json";
    if (changed)
        shared.emplace(cameras(), stateFile);
    changed = false;
    return *shared;
}

// What a camera took must survive its state file: written and read back.
// A camera the input left alone was checked when it was made.
void check(const CameraStore& store) {
    for (std::size_t i = 0; i < store.size(); ++i) {
        const bool survives = store.viewCamera(i, [&](const Camera& c) {
            if (c == cameras()[i])
                return true;
            changed = true;
            std::string error;
            return cameraFromJson(toJson(c), error).has_value();
        });
        if (!survives)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    const bool wrapped = data[0] & 1;
    const bool quirky = data[0] & 2;
    CameraStore& store = freshStore();
    OnvifOptions options;
    options.seed = 1;
    OnvifQuirks all;
    all.localTimeAsUtc = all.oddPrefixes = all.chunked = all.noImaging = true;
    all.unreachableXAddrs = all.lenient = true;
    OnvifQuirks lenient;
    lenient.lenient = true;
    options.quirks = {quirky ? all : lenient, lenient};
    OnvifService service(store, options);
    const std::string ip = (data[0] & 4) ? "192.0.2.11" : "192.0.2.10";
    const auto index = service.cameraAt(ip, 8000);
    if (!index)
        __builtin_trap();

    if (data[0] & 8) {
        // A firmware image: its address comes from StartFirmwareUpgrade.
        const std::string created = isoTime(service.cameraNow(*index));
        SoapRequest start;
        const std::string envelope =
            "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Header><Security "
            "xmlns=\"http://docs.oasis-open.org/wss/2004/01/"
            "oasis-200401-wss-wssecurity-secext-1.0.xsd\"><UsernameToken><Username>admin</Username>"
            "<Password Type=\"x#PasswordDigest\">" +
            passwordDigest("n", created, "admin") + "</Password><Nonce>" + base64("n") +
            "</Nonce><Created xmlns=\"http://docs.oasis-open.org/wss/2004/01/"
            "oasis-200401-wss-wssecurity-utility-1.0.xsd\">" +
            created +
            "</Created></UsernameToken></Security></s:Header><s:Body><StartFirmwareUpgrade "
            "xmlns=\"http://www.onvif.org/ver10/device/wsdl\"/></s:Body></s:Envelope>";
        start.body = envelope;
        start.localIp = ip;
        start.localPort = 8000;
        const SoapReply started = service.handle(start);
        const auto at = started.body.find("/onvif/firmware/");
        if (started.status == 200) {
            if (at == std::string::npos)
                __builtin_trap();
            SoapRequest upload;
            const std::string target = started.body.substr(at, started.body.find('<', at) - at);
            upload.target = target;
            upload.body = rest;
            upload.localIp = ip;
            upload.localPort = 8000;
            const SoapReply stored = service.upload(upload);
            if (stored.status != 200 && stored.status != 409 && stored.status != 415)
                __builtin_trap();
            // The token was good once.
            if (service.upload(upload).status != 404)
                __builtin_trap();
        }
        check(store);
        return 0;
    }
    std::string body = rest;
    if (wrapped) {
        // A token of the camera's admin, made against its own clock; the
        // lenient camera takes its nonce again and again.
        const std::string created = isoTime(service.cameraNow(*index));
        const std::string digest = passwordDigest("fuzz-nonce", created, "admin");
        body =
            "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
            "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
            "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" "
            "xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\" "
            "xmlns:tt=\"http://www.onvif.org/ver10/schema\"><s:Header><Security xmlns=\""
            "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\">"
            "<UsernameToken><Username>admin</Username><Password Type=\"x#PasswordDigest\">" +
            digest + "</Password><Nonce>" + base64("fuzz-nonce") +
            "</Nonce><Created xmlns=\"http://docs.oasis-open.org/wss/2004/01/"
            "oasis-200401-wss-wssecurity-utility-1.0.xsd\">" +
            created + "</Created></UsernameToken></Security></s:Header><s:Body>" + rest +
            "</s:Body></s:Envelope>";
    }
    SoapRequest request;
    request.body = body;
    request.localIp = ip;
    request.localPort = 8000;
    const SoapReply reply = service.handle(request);
    if (reply.drop)
        __builtin_trap();
    if (reply.status != 200 && reply.status != 400 && reply.status != 401 && reply.status != 500)
        __builtin_trap();
    if (reply.status == 200 && !XmlDocument::parse(reply.body))
        __builtin_trap();
    check(store);
    return 0;
}
