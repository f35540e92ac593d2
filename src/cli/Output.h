#pragma once
// What the command line prints and writes: the camera list and the job
// results as an aligned table, CSV (the window's export, RFC 4180, UTF-8)
// or JSON; the progress line on standard error.

#include "Discovery.h"
#include "jobs/JobTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace orv::cli {

enum class Format { Table, Csv, Json };
std::optional<Format> ReadFormat(const std::string& text);
// A results file's format from its name: .json, else CSV.
Format FileFormat(const std::string& path);

// Where a text goes: to the screen every text a camera sent is made
// printable (its control characters shown as escapes); a file keeps it as
// received.
enum class Audience { Screen, File };

// The columns of the list: name, mac, ip, netmask, gateway, http_port,
// model, display_model, version, adapter. Its CSV is a valid address plan.
std::string CameraList(const std::vector<SeenCamera>& cameras, Format format, Audience audience);
std::string Results(const std::vector<jobs::OperationResult>& results, Format format,
                    Audience audience);
// Rows of texts as columns padded to their widths on screen, each cell
// printable.
std::string Table(const std::vector<std::vector<std::string>>& rows);

// Writes a file through a temporary and a rename; an error text or "".
std::string WriteTextFile(const std::string& path, const std::string& bytes);

// "apply: 37 of 100 cameras, 2 failed": one line redrawn in place on a
// terminal, otherwise a line at every tenth of the way and at the end.
class CProgress {
public:
    explicit CProgress(std::string what);
    void Update(int done, int total, int failed);
    // Clears the redrawn line before other output.
    void Done();

private:
    std::string m_what;
    bool m_terminal;
    int m_lastTenth = -1;
    bool m_drawn = false;
};

} // namespace orv::cli
