#include "Options.h"

#include "SiteChoice.h"
#include "text/Printable.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace orv::cli {

std::string Options::Value(const std::string& name, const std::string& fallback) const {
    const auto it = m_values.find(name);
    return it == m_values.end() || it->second.empty() ? fallback : it->second.back();
}

std::vector<std::string> Options::Values(const std::string& name) const {
    const auto it = m_values.find(name);
    return it == m_values.end() ? std::vector<std::string>{} : it->second;
}

std::optional<int> Options::Number(const std::string& name, int fallback, int lo, int hi,
                                   std::string& error) const {
    if (!Has(name)) {
        return fallback;
    }
    const std::string text = Value(name);
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < lo || value > hi) {
        error = "--" + name + ": \"" + text + "\" is not a whole number from " +
                std::to_string(lo) + " to " + std::to_string(hi);
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::vector<OptionSpec> CameraOptions(bool select) {
    std::vector<OptionSpec> options = {
        {"interface", "IF", "discover on this adapter only (repeatable); all adapters otherwise"},
        {"seconds", "N", "listen N seconds for cameras before acting (default 3)"},
        {"user", "NAME", "user name of every login (default: the stored default user)"},
        {"password-file", "FILE",
         "read the login password from the first line of FILE (or set ORVANTIX_PASSWORD; "
         "default: the stored default password)"},
        {"passphrase-file", "FILE",
         "read the site passphrase from the first line of FILE (or set "
         "ORVANTIX_SITE_PASSPHRASE): the cameras' own passwords are sealed under it where no "
         "keyring answers"},
        {"jobs", "N", "work on at most N cameras at once (default 16)"},
        {"results", "FILE", "also write one row per camera and operation to FILE (.csv or .json)"},
        {"format", "FORMAT", "results on standard output as table (default), csv or json"},
        SiteOption(),
    };
    if (select) {
        options.push_back({"select", "WHICH",
                           "the cameras: mac=MAC[,MAC...], model=MODEL, ip=A-B or all "
                           "(repeatable; default all)"});
        options.push_back({"dry-run", nullptr,
                           "check and show what each camera would get; "
                           "send nothing"});
    }
    return options;
}

namespace {

// Words filled into lines of 79 columns, each line after the first
// indented by `indent`.
std::string wrap(const std::string& text, std::size_t first, std::size_t indent) {
    std::string out;
    std::size_t column = first;
    bool fresh = true; // nothing on this line yet
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string word = text.substr(start, end - start);
        if (!fresh && column + 1 + word.size() > 79) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            fresh = true;
        }
        if (!fresh) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        fresh = false;
        start = end + 1;
    }
    return out;
}

std::string capitalised(std::string text) {
    if (!text.empty()) {
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    }
    return text;
}

std::vector<OptionSpec> with(std::vector<OptionSpec> own, bool select) {
    for (OptionSpec& o : CameraOptions(select)) {
        own.push_back(o);
    }
    return own;
}

} // namespace

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"discover",
         "discover [--interface IF]... [--protocol P]... [--seconds N] [--format table|csv|json] "
         "[--results FILE]",
         "list every camera that answers: name, MAC, IP, netmask, gateway, HTTP port, model, "
         "display model, firmware version and adapter",
         {{"interface", "IF", "listen on this adapter only (repeatable); all adapters otherwise"},
          {"protocol", "P",
           "discover with this protocol only: maker (the maker's frames on every adapter) or "
           "onvif (repeatable; all by default)"},
          {"seconds", "N", "listen N seconds (default 3)"},
          {"format", "FORMAT", "table (default), csv or json"},
          {"results", "FILE", "also write the list to FILE (.csv or .json)"},
          SiteOption()},
         0,
         RunDiscover},
        {"set-ip", "set-ip --plan FILE [--dry-run] [--verify-seconds N] [OPTIONS]",
         "give cameras the network settings of an address plan (CSV keyed by MAC), then check "
         "that each answers at its new address",
         with({{"plan", "FILE",
                "the plan: a header row naming mac, ip, netmask, gateway, http_port, name; one "
                "row per camera; a blank field keeps the camera's value"},
               {"dry-run", nullptr, "check the plan against the cameras; send nothing"},
               {"verify-seconds", "N",
                "wait at most N seconds for the moved cameras to answer (default 20)"}},
              false),
         0, RunSetIp},
        {"apply", "apply --profile FILE [--select WHICH]... [--dry-run] [OPTIONS]",
         "give the selected cameras the names, date and time, ports, DDNS, image options and "
         "video streams of a profile (JSON)",
         with({{"profile", "FILE", "the profile (see the manual page)"}}, true), 0, RunApply},
        {"compliance", "compliance [--profile FILE] [--fix] [--select WHICH]... [OPTIONS]",
         "list the selected cameras that differ from the site's profile (or a profile file), "
         "with the fields, or run another firmware than its target; --fix gives them the "
         "settings they differ in",
         with({{"profile", "FILE", "this profile instead of the site's"},
               {"fix", nullptr, "then give each camera the settings it differs in (one job)"}},
              true),
         0, RunCompliance},
        {"passwords",
         "passwords (--rotate [--out FILE] | --set [--new-password-file FILE] | --export FILE) "
         "[--select WHICH]... [OPTIONS]",
         "give the selected cameras new administrator passwords; each camera reboots with its "
         "new password",
         with({{"rotate", nullptr,
                "a new random password for every camera, kept for the site (desktop keyring, "
                "or sealed under the site passphrase) before the camera is changed"},
               {"out", "FILE",
                "with --rotate: also write MAC, IP, name and password of each camera to FILE, "
                "which must not exist (created owner-only)"},
               {"export", "FILE",
                "write every camera's own password of the site to FILE for the handover "
                "(created owner-only, must not exist)"},
               {"set", nullptr,
                "one password for every camera, from --new-password-file, ORVANTIX_NEW_PASSWORD "
                "or typed twice at the terminal"},
               {"new-password-file", "FILE", "with --set: the first line of FILE"},
               {"allow-plain-http", nullptr,
                "also send the password to cameras that offer no encrypted connection (it is "
                "then sealed only under the current password)"},
               {"allow-clear-password", nullptr,
                "also send the password to cameras that offer no encrypted connection and "
                "cannot seal it (ONVIF: it then crosses the network in clear)"}},
              true),
         0, RunPasswords},
        {"upgrade", "upgrade FILE [--waves PERCENT] [--stop-after N] [--select WHICH]... [OPTIONS]",
         "send a firmware image to the selected cameras, all of one model family",
         with({{"waves", "PERCENT",
                "in waves: one camera first, then PERCENT of the others, then the rest"},
               {"stop-after", "N",
                "stop once N cameras failed; those not started yet are left alone"}},
              true),
         1, RunUpgrade},
        {"oem",
         "oem --company TEXT --image FILE... [--web-site TEXT] [--model TEXT] [--version N] "
         "[--select WHICH]... [OPTIONS]",
         "upload OEM information and images to the selected cameras, then reboot them",
         with({{"company", "TEXT", "the company name"},
               {"web-site", "TEXT", "the web site"},
               {"model", "TEXT", "the model text"},
               {"version", "N", "the software version (default 1)"},
               {"image", "FILE", "an OEM image, below 2 MiB (repeatable, at most 10)"}},
              true),
         0, RunOem},
        {"reboot", "reboot [--select WHICH]... [--yes] [OPTIONS]",
         "reboot the selected cameras, one every 200 ms",
         with({{"yes", nullptr, "do not ask"}}, true), 0, RunReboot},
        {"restore", "restore [--select WHICH]... [--yes] [OPTIONS]",
         "put the selected cameras back to their factory settings; they reboot 25 s later",
         with({{"yes", nullptr, "do not ask"}}, true), 0, RunRestore},
        {"trust-again",
         "trust-again MAC",
         "forget the key the camera with this MAC was trusted by, after it was replaced or "
         "reset; its next login trusts the key it shows",
         {},
         1,
         RunTrustAgain},
        {"report", "report --out FILE [--installer NAME] [--with-passwords] [OPTIONS]",
         "write the site's handover report: every camera the site remembers (name, MAC, IP, "
         "model, firmware, protocol, state), those that answer with a picture and their main "
         "settings, and the day's jobs; a PDF, CSV or JSON file by its name's ending",
         with({{"out", "FILE", "the report, a new file ending in .pdf, .csv or .json"},
               {"installer", "NAME", "who installed the cameras (default: your user name)"},
               {"with-passwords", nullptr,
                "also each camera's login (the file is then its owner's alone)"}},
              false),
         0, RunReport},
        {"history",
         "history [--job N | --camera MAC] [--site NAME] [--format table|csv|json]",
         "show the site's jobs, one job's changes or one camera's, with the values before and "
         "after, the outcome and the reason",
         {{"job", "N", "the changes of job N"},
          {"camera", "MAC", "the changes of this camera across jobs"},
          {"format", "FORMAT", "table (default), csv or json"},
          SiteOption()},
         0,
         RunHistory},
        {"undo", "undo JOB [OPTIONS]",
         "put back every setting job JOB of the site changed on the cameras that answer, the "
         "addresses last",
         with({}, false), 1, RunUndo},
        {"backup", "backup [--select WHICH]... [OPTIONS]",
         "keep every setting of the selected cameras in the site's book (names, date and time "
         "settings, ports, DDNS, video streams, image options)",
         with({}, true), 0, RunBackup},
        {"restore-backup", "restore-backup --camera MAC [--to MAC] [OPTIONS]",
         "give a camera the settings the site's book last knew it to hold, or give them to the "
         "camera that replaced it (--to); its address stays",
         with({{"camera", "MAC", "the camera whose settings to give"},
               {"to", "MAC", "the camera to get them (default: the same camera)"}},
              false),
         0, RunRestoreBackup},
    };
    return commands;
}

std::string Usage(const Command& c) {
    std::string out = "Usage: orvantix-cli " + wrap(c.synopsis, 20, 8) + "\n\n" +
                      wrap(capitalised(c.summary) + ".", 0, 0) + "\n\nOptions:\n";
    for (const OptionSpec& o : c.options) {
        std::string left = "  --" + std::string(o.name);
        if (o.valueName != nullptr) {
            left += " " + std::string(o.valueName);
        }
        left += left.size() < 24 ? std::string(24 - left.size(), ' ') : "\n" + std::string(24, ' ');
        out += left + wrap(o.help, 24, 24) + "\n";
    }
    out += "  --help                show this help\n\n"
           "Exit status: 0 all cameras succeeded, 1 some failed, 2 bad usage or input.\n";
    return out;
}

std::string ProgramUsage() {
    std::string out = "Usage: orvantix-cli COMMAND [OPTIONS]\n\n"
                      "Finds the maker's IP cameras on this computer's networks and configures "
                      "them.\n\nCommands:\n";
    for (const Command& c : Commands()) {
        out += "  " + std::string(c.name) + std::string(12 - std::strlen(c.name), ' ') +
               wrap(c.summary, 14, 14) + "\n";
    }
    out += "\n'orvantix-cli COMMAND --help' describes a command; 'man orvantix-cli' the rest.\n"
           "  --version   show the version\n";
    return out;
}

std::optional<Options> Parse(const Command& command, int argc, const char* const* argv,
                             std::string& error) {
    Options options;
    bool operands = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (operands || arg.size() < 2 || arg[0] != '-') {
            options.m_positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            operands = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            options.m_values["help"];
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
        const auto option = std::find_if(command.options.begin(), command.options.end(),
                                         [&](const OptionSpec& o) { return name == o.name; });
        if (!arg.starts_with("--") || option == command.options.end()) {
            error = "unknown option " + arg + " for " + command.name;
            return std::nullopt;
        }
        std::vector<std::string>& values = options.m_values[name];
        if (option->valueName == nullptr) {
            if (eq != std::string::npos) {
                error = "--" + name + " takes no value";
                return std::nullopt;
            }
        } else if (eq != std::string::npos) {
            values.push_back(arg.substr(eq + 1));
        } else if (i + 1 < argc) {
            values.push_back(argv[++i]);
        } else {
            error = "--" + name + " needs a value (" + option->valueName + ")";
            return std::nullopt;
        }
    }
    if (!options.Has("help") &&
        static_cast<int>(options.m_positional.size()) != command.positional) {
        error = command.positional == 0 ? "unexpected operand " + options.m_positional.front()
                                        : std::string(command.name) + " takes " +
                                              std::to_string(command.positional) + " operand";
        return std::nullopt;
    }
    return options;
}

int BadInput(const std::string& text) {
    Note(text);
    return kExitBadInput;
}

void Note(const std::string& text) {
    // Notes name cameras; a camera's name never reaches the terminal raw.
    std::fprintf(stderr, "orvantix-cli: %s\n", Printable(text).c_str());
    std::fflush(stderr);
}

} // namespace orv::cli
