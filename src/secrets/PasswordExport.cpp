#include "PasswordExport.h"

#include "file/SecretsFile.h"
#include "jobs/JobResults.h"
#include "site/SiteBook.h"
#include "site/Sqlite.h"

namespace orv::secrets {

ExportResult ExportPasswords(CPasswordVault& vault, const std::string& site,
                             const std::filesystem::path& book, const std::string& file) {
    ExportResult result;
    const std::vector<CameraPasswords> all = vault.All(result.unreadable);
    std::map<std::string, site::SiteCamera> known;
    try {
        if (auto opened = site::CSiteBook::Open(book).book) {
            for (site::SiteCamera& c : opened->Inventory()) {
                known[c.key] = std::move(c);
            }
        }
    } catch (const site::SqliteError&) {
        // The rows go out without what the site saw of the cameras.
    }
    const auto q = [](const std::string& text) { return QString::fromStdString(text); };
    QString csv = jobs::CsvRow({q("# Administrator passwords of " + std::to_string(all.size()) +
                                  " camera(s) of site '" + site +
                                  "' in clear text: whoever reads this file can log into them. "
                                  "Hand it over, then delete it.")});
    csv += jobs::CsvRow({"mac", "ip", "name", "user", "password", "unconfirmed_password"});
    for (const CameraPasswords& p : all) {
        const auto it = known.find(p.camera);
        const site::SiteCamera camera = it == known.end() ? site::SiteCamera{} : it->second;
        // A camera the site never saw answer is named by its key, its MAC
        // where it has one.
        std::string mac = camera.mac;
        if (mac.empty()) {
            mac = p.camera.rfind("mac:", 0) == 0 ? p.camera.substr(4) : p.camera;
        }
        // The passwords exactly: a guard against formulas would change them.
        csv += jobs::CsvRow(
            {q(mac), q(camera.address), q(camera.name), q(p.user), q(p.current), q(p.pending)}, 4);
    }
    CSecretsFile out;
    if (!out.Create(file, result.error) || !out.Write(csv.toStdString(), result.error)) {
        return result;
    }
    result.cameras = static_cast<int>(all.size());
    return result;
}

std::map<std::string, std::string> HandoverLogins(CPasswordVault& vault, int& unreadable) {
    std::map<std::string, std::string> logins;
    for (const CameraPasswords& p : vault.All(unreadable)) {
        std::string text;
        if (!p.pending.empty()) {
            text = p.user + " / " + p.pending + " (new, not yet confirmed; else " +
                   (p.current.empty() ? std::string("the default login") : p.current) + ")";
        } else if (!p.current.empty()) {
            text = p.user + " / " + p.current;
        } else {
            continue;
        }
        logins.emplace(p.camera, std::move(text));
    }
    return logins;
}

} // namespace orv::secrets
