#include "SiteChoice.h"

#include "paths/AppPaths.h"
#include "site/Sites.h"

namespace orv::cli {

OptionSpec SiteOption() {
    return {"site", "NAME",
            "the site whose book records the cameras and jobs (default: the site named "
            "Default, made at first use)"};
}

std::optional<SiteChoice> ChooseSite(const Options& options, bool create, std::string& error) {
    site::CSites sites(paths::Current().sitesDir);
    std::string name = options.Value("site");
    if (name.empty()) {
        if (const std::optional<std::string> problem = sites.EnsureOne(name)) {
            error = *problem;
            return std::nullopt;
        }
        return SiteChoice{name, sites.FileOf(name)};
    }
    if (const std::optional<std::string> problem = site::CSites::CheckName(name)) {
        error = "--site: " + *problem;
        return std::nullopt;
    }
    std::error_code ignored;
    if (!std::filesystem::exists(sites.FileOf(name), ignored)) {
        if (!create) {
            std::string known;
            for (const std::string& n : sites.Names()) {
                known += (known.empty() ? "" : ", ") + n;
            }
            error = "--site: no site named \"" + name + "\" in " + sites.Folder().string() +
                    (known.empty() ? "" : " (sites: " + known + ")");
            return std::nullopt;
        }
        if (const std::optional<std::string> problem = sites.Create(name)) {
            error = *problem;
            return std::nullopt;
        }
    }
    return SiteChoice{name, sites.FileOf(name)};
}

std::shared_ptr<CSiteJournal> OpenSiteJournal(const Options& options, std::string& error) {
    const std::optional<SiteChoice> choice = ChooseSite(options, true, error);
    if (!choice) {
        return nullptr;
    }
    CSiteJournal::Opened opened = CSiteJournal::Open(choice->name, choice->file);
    if (!opened.journal) {
        error = "site \"" + choice->name + "\": " + opened.error;
    }
    return opened.journal;
}

} // namespace orv::cli
