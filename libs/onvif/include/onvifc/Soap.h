#pragma once
// One camera's SOAP conversation over libcurl: every request carries a fresh
// WS-UsernameToken (PasswordDigest, a nonce from the system's cryptographic
// source, Created on the camera's clock) and answers an HTTP Digest
// challenge where the camera asks for one (SHA-256 before MD5). A client is
// used by one thread at a time; it keeps one connection, the Digest nonce
// and what it learned of the camera's clock.

#include "onvifc/wire/Xml.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace onvifc {

inline constexpr std::string_view kDeviceNs = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr std::string_view kMediaNs = "http://www.onvif.org/ver10/media/wsdl";
inline constexpr std::string_view kImagingNs = "http://www.onvif.org/ver20/imaging/wsdl";
inline constexpr std::string_view kSchemaNs = "http://www.onvif.org/ver10/schema";
inline constexpr std::string_view kErrorNs = "http://www.onvif.org/ver10/error";

struct Limits {
    // A live camera on the local network connects in milliseconds; a dead
    // address must not hold a job's worker for long.
    std::chrono::milliseconds connect{2500};
    // No answer of the services takes longer to arrive completely.
    std::chrono::milliseconds total{5000};
    // Profiles and encoder options of a many-stream camera stay far below.
    std::size_t maxReply = 1024 * 1024;
};

enum class Error {
    None,
    Timeout,       // no connection or no complete answer in time
    Unreachable,   // refused, reset, no route
    NotAuthorized, // the credentials were refused (token or Digest)
    NotSupported,  // ter:ActionNotSupported, or a service the camera lacks
    InvalidArg,    // the camera refused a value (ter:InvalidArgVal, ...)
    Fault,         // any other SOAP fault: the camera failed
    BadReply,      // not SOAP, too large, or not the answer asked for
    Identity,      // TLS: not the key the camera is pinned by
};

struct SoapFault {
    // env:Sender / env:Receiver (SOAP 1.1: the faultcode), and the subcodes
    // resolved to {namespace, local name}, outermost first.
    std::pair<std::string, std::string> code;
    std::vector<std::pair<std::string, std::string>> subcodes;
    std::string reason;
};

struct Reply {
    Error error = Error::None;
    long status = 0;
    std::optional<wire::XmlDocument> document;
    // The Body's first element: the answer, or the Fault.
    wire::Node body = nullptr;
    SoapFault fault;
    // Words for a log line where the error alone does not say enough.
    std::string detail;
    bool Ok() const { return error == Error::None; }
};

// One request: the operation's element (namespace and name) and its
// content, written with the prefixes tds, trt, timg and tt.
struct Request {
    std::string_view ns;
    std::string_view name;
    std::string content;
    // Answered without credentials (GetSystemDateAndTime, GetCapabilities...).
    bool anonymous = false;
};

// What an error says for a person: "no answer", "not supported by this
// camera", ...
const char* ErrorText(Error error);

// The SOAP 1.2 envelope of `request`, with `security` (a wsse:Security
// element or nothing) in its header.
std::string Envelope(const Request& request, std::string_view security);
// The wsse:Security header of a token made now.
std::string UsernameTokenHeader(std::string_view user, std::string_view password,
                                std::string_view nonce, std::string_view created);
// Reads an answer: its Body's first element, or the fault it carries.
Reply ReadReply(long status, std::string body, std::size_t limit);

class CSoapClient {
public:
    using SteadyClock = std::chrono::steady_clock;
    using SystemClock = std::chrono::system_clock;

    explicit CSoapClient(std::string user = {}, std::string password = {}, Limits limits = {});
    ~CSoapClient();
    CSoapClient(const CSoapClient&) = delete;
    CSoapClient& operator=(const CSoapClient&) = delete;

    void SetPassword(std::string password);
    const std::string& User() const { return m_user; }
    const std::string& Password() const { return m_password; }

    // HTTPS only from now on, and only with a camera showing the key
    // `pin` (libcurl's "sha256//" form; empty: note the key of the first
    // handshake and hold later ones to it).
    void RequireTls(std::string pin);
    // The key the camera showed, once a TLS connection was made.
    const std::string& SeenPin() const;

    // Sends `request` to the service at `url`. A refused token is answered
    // once more after the camera's clock was asked again: cameras whose
    // clock jumped (a reboot, a time server) refuse tokens made against
    // the clock they had.
    Reply Call(const std::string& url, const Request& request);

    // Asks the camera's clock (GetSystemDateAndTime, without credentials
    // unless the camera wants them) and makes later tokens against it.
    // False when the camera gave no time.
    bool LearnClock(const std::string& deviceUrl);
    // The camera's UTC now, as far as it was learned; the machine's own
    // clock before that.
    SystemClock::time_point CameraNow() const;
    // The last answer to GetSystemDateAndTime, for a caller that wants the
    // camera's time settings as well.
    const std::optional<wire::XmlDocument>& LastClockAnswer() const { return m_clockAnswer; }

    struct Uploaded {
        Error error = Error::None; // Fault: the camera refused the file (`status`)
        long status = 0;
        bool fileUnreadable = false;
        bool cancelled = false;
    };
    // POSTs a file's bytes to `url`, the single-use upload address that
    // StartFirmwareUpgrade handed out (the address itself is the
    // authorisation); `cancelled` is asked while the bytes go.
    Uploaded Upload(const std::string& url, const std::string& path,
                    const std::function<bool()>& cancelled);

    // Closes the connection; the next call opens a new one.
    void CloseConnection();
    // Whether the camera refused tokens right by its own clock and is
    // spoken to with HTTP Digest alone.
    bool DigestOnly() const { return m_digestOnly; }

private:
    struct Http;
    Reply post(const std::string& url, const Request& request, bool token);

    std::string m_user;
    std::string m_password;
    Limits m_limits;
    std::unique_ptr<Http> m_http;
    // The camera's UTC time at a moment of this process's steady clock.
    std::optional<std::pair<SystemClock::time_point, SteadyClock::time_point>> m_clock;
    std::optional<wire::XmlDocument> m_clockAnswer;
    // Where GetSystemDateAndTime is asked again after a refused token.
    std::string m_deviceUrl;
    // The camera refused tokens that were right by its own clock but took
    // HTTP Digest: later calls send Digest alone.
    bool m_digestOnly = false;
};

} // namespace onvifc
