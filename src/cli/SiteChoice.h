#pragma once
// The site a command works in: --site NAME, else the Default site (made at
// first use), in the sites folder (ORVANTIX_SITES, else the user's data
// folder).

#include "Options.h"
#include "services/SiteJournal.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace orv::cli {

struct SiteChoice {
    std::string name;
    std::filesystem::path file;
};

// The site of --site; `create`: a site that does not exist yet is made (a
// job's), otherwise it is an error naming the sites there are.
std::optional<SiteChoice> ChooseSite(const Options& options, bool create, std::string& error);
// The chosen site's journal for a job, or nothing with `error` set.
std::shared_ptr<CSiteJournal> OpenSiteJournal(const Options& options, std::string& error);

// The option itself, for every command that records or reads a site.
OptionSpec SiteOption();

} // namespace orv::cli
