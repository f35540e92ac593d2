#pragma once
// The command line: one program, one subcommand per task, GNU-style long
// options ("--plan FILE" or "--plan=FILE"), "--" ending the options.
// Results go to standard output; progress and diagnostics to standard
// error. The exit status is 0 when every camera succeeded, 1 when some did
// not, 2 for bad usage or input, which is refused before any camera is
// touched and named by its line and field.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orv::cli {

enum Exit { kExitOk = 0, kExitSomeFailed = 1, kExitBadInput = 2 };

class Options {
public:
    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
    std::vector<std::string> Values(const std::string& name) const;
    // A whole number in [lo, hi]; nothing (with `error` set) otherwise.
    std::optional<int> Number(const std::string& name, int fallback, int lo, int hi,
                              std::string& error) const;
    const std::vector<std::string>& Positional() const { return m_positional; }

    std::map<std::string, std::vector<std::string>> m_values;
    std::vector<std::string> m_positional;
};

struct Command;

// Runs a subcommand with its options.
using Runner = int (*)(const Command& command, const Options& options);

struct OptionSpec {
    const char* name;      // without the dashes
    const char* valueName; // nullptr: a switch
    const char* help;
};

struct Command {
    const char* name;
    const char* synopsis; // after "orvantix-cli "
    const char* summary;
    std::vector<OptionSpec> options;
    int positional; // how many operands it takes
    Runner run;
};

// The options every camera subcommand takes, and the selection.
std::vector<OptionSpec> CameraOptions(bool select);

const std::vector<Command>& Commands();
std::string Usage(const Command& command);
std::string ProgramUsage();

// Parses the arguments after the subcommand's name; `error` names the bad one.
std::optional<Options> Parse(const Command& command, int argc, const char* const* argv,
                             std::string& error);

// "orvantix-cli: <text>" on standard error; returns kExitBadInput.
int BadInput(const std::string& text);
// "orvantix-cli: <text>" on standard error.
void Note(const std::string& text);

// The subcommands.
int RunDiscover(const Command& command, const Options& options);
int RunSetIp(const Command& command, const Options& options);
int RunApply(const Command& command, const Options& options);
int RunCompliance(const Command& command, const Options& options);
int RunPasswords(const Command& command, const Options& options);
int RunUpgrade(const Command& command, const Options& options);
int RunOem(const Command& command, const Options& options);
int RunReboot(const Command& command, const Options& options);
int RunRestore(const Command& command, const Options& options);
int RunTrustAgain(const Command& command, const Options& options);
int RunHistory(const Command& command, const Options& options);
int RunReport(const Command& command, const Options& options);
int RunUndo(const Command& command, const Options& options);
int RunBackup(const Command& command, const Options& options);
int RunRestoreBackup(const Command& command, const Options& options);

} // namespace orv::cli
