// oem: the OEM information file and images to the selected cameras, as the
// OEM page uploads them; each camera that took the information file is
// rebooted afterwards. The file is written into a private folder of this
// run and removed at its end.

#include "Session.h"
#include "lang/Language.h"
#include "operations/oem/OemRules.h"
#include "text/TextConv.h"

#include <QTemporaryDir>

namespace orv::cli {
namespace {

std::string text(const Message& m) {
    return ToUtf8(TheLanguage().Text(m.id, m.defaultText));
}

} // namespace

int RunOem(const Command& command, const Options& options) {
    const std::vector<std::string> images = options.Values("image");
    if (images.size() > static_cast<std::size_t>(oem::kMaxImages)) {
        return BadInput("--image: at most " + std::to_string(oem::kMaxImages) + " images");
    }
    std::vector<std::wstring> chosen;
    for (const std::string& image : images) {
        chosen.push_back(FromUtf8(image));
        // The page's Browse leaves such files out; here the installer hears why.
        if (oem::JoinImageSelection({chosen.back()}).empty()) {
            return BadInput("--image " + image + ": unreadable, or 2 MiB or larger");
        }
    }
    Login login;
    if (const std::string error = ResolveLogin(options, login); !error.empty()) {
        return BadInput(error);
    }
    const oem::CheckedOem checked = oem::CheckOemForm(
        {login.user, login.password, FromUtf8(options.Value("company")),
         FromUtf8(options.Value("web-site")), FromUtf8(options.Value("model")),
         FromUtf8(options.Value("version", "1")), oem::JoinImageSelection(chosen)});
    if (checked.error) {
        return BadInput(text(*checked.error) + " (--company, --image)");
    }

    CSession session(command, options);
    std::vector<device::DeviceInfo> selected;
    if (const auto end = session.PrepareOrShowPlan(
            selected, {"Upload OEM Files: company " + options.Value("company") + ", " +
                           std::to_string(images.size()) + " image(s)",
                       "Reboot"})) {
        return *end;
    }
    QTemporaryDir dir;
    const std::string path = oem::OemFilePath(dir.path().toStdString());
    if (!dir.isValid() || !oem::WriteOemFile(path, oem::OemFileContent(*checked.upload))) {
        Note("the OEM information file cannot be written; nothing was sent");
        return kExitSomeFailed;
    }
    jobs::CRebootQueue& reboots = session.Reboots();
    const std::vector<jobs::OperationResult> results =
        session.Run(oem::UploadOemJob(selected, *checked.upload, QString::fromStdString(path),
                                      [&reboots](std::shared_ptr<device::IDeviceSession> camera) {
                                          reboots.QueueReboot(std::move(camera));
                                      }));
    session.WaitForReboots();
    return session.Finish(results);
}

} // namespace orv::cli
