// trust-again: forgets the key a camera was trusted by, so that its next
// login trusts the key it shows then. For a camera that was replaced or
// reset; the one way past "the camera's identity changed", and logged.

#include "Options.h"
#include "services/PinFile.h"
#include "support/log/LogFile.h"

#include <QDateTime>

#include <iostream>

namespace orv::cli {

int RunTrustAgain(const Command&, const Options& options) {
    const std::string& text = options.Positional().front();
    const std::optional<device::MacAddress> mac = device::ReadMac(text);
    if (!mac) {
        return BadInput("\"" + text + "\" is not a MAC address");
    }
    const std::filesystem::path path = PinFilePath();
    if (path.empty()) {
        return BadInput("no configuration directory for the pin file");
    }
    CPinFile pins(path);
    const std::optional<device::TrustedKey> key = pins.Find(*mac);
    const std::string shown = device::MacText(*mac);
    if (!key || !pins.Forget(*mac)) {
        Note("no key is kept for " + shown + ": its next login trusts the key it shows");
        return kExitOk;
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(key->since.time_since_epoch()).count();
    const std::string since =
        QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd")).toStdString();
    WriteLog(0, "Trust again: %s, trusted since %s by key %s, forgotten by the command line.",
             shown.c_str(), since.c_str(), key->pin.c_str());
    std::cout << shown << ": the key trusted since " << since
              << " is forgotten; the next login trusts the key the camera shows\n";
    return kExitOk;
}

} // namespace orv::cli
