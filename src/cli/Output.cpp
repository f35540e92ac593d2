#include "Output.h"

#include "file/RegularFile.h"
#include "jobs/JobResults.h"
#include "operations/network/AddressPlan.h"
#include "text/Printable.h"
#include "text/TextConv.h"

#include <QStringList>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <unistd.h>

namespace orv::cli {
namespace {

// Keys in the order of the columns.
using json = nlohmann::ordered_json;

// Columns of a terminal: East Asian wide characters take two.
std::size_t width(const std::string& utf8) {
    std::size_t w = 0;
    for (const char32_t c : QString::fromStdString(utf8).toUcs4()) {
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
        w += wide ? 2 : 1;
    }
    return w;
}

std::vector<std::string> cameraCells(const SeenCamera& c, Audience audience) {
    std::string adapters;
    for (const std::string& a : c.adapters) {
        adapters += (adapters.empty() ? "" : " ") + a;
    }
    std::vector<std::string> cells = plan::ListCells(c.device, adapters);
    if (audience == Audience::Screen) {
        for (std::string& cell : cells) {
            cell = Printable(cell);
        }
    }
    return cells;
}

QStringList resultCells(const jobs::OperationResult& r, Audience audience) {
    QStringList cells = jobs::ResultCells(r);
    if (audience == Audience::Screen) {
        for (QString& cell : cells) {
            cell = QString::fromStdString(Printable(cell.toStdString()));
        }
    }
    return cells;
}

std::string jsonText(const json& j) {
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace

std::optional<Format> ReadFormat(const std::string& text) {
    if (text == "table") {
        return Format::Table;
    }
    if (text == "csv") {
        return Format::Csv;
    }
    if (text == "json") {
        return Format::Json;
    }
    return std::nullopt;
}

Format FileFormat(const std::string& path) {
    return path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0 ? Format::Json
                                                                              : Format::Csv;
}

std::string Table(const std::vector<std::vector<std::string>>& texts) {
    std::vector<std::vector<std::string>> rows = texts;
    for (auto& row : rows) {
        for (std::string& cell : row) {
            cell = Printable(cell);
        }
    }
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], width(row[i]));
        }
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) {
                line += std::string(widths[i] - width(row[i]) + 2, ' ');
            }
        }
        out += line + "\n";
    }
    return out;
}

std::string CameraList(const std::vector<SeenCamera>& cameras, Format format, Audience audience) {
    if (format == Format::Json) {
        json list = json::array();
        for (const SeenCamera& c : cameras) {
            const std::vector<std::string> cells = cameraCells(c, audience);
            json row = json::object();
            for (std::size_t i = 0; i < cells.size(); ++i) {
                row[plan::kListColumns[i]] = plan::kListColumns[i] == "http_port"
                                                 ? json(c.device.ports.http)
                                                 : json(cells[i]);
            }
            list.push_back(row);
        }
        return jsonText(list);
    }
    if (format == Format::Csv) {
        std::vector<std::vector<std::string>> rows;
        for (const SeenCamera& c : cameras) {
            rows.push_back(cameraCells(c, audience));
        }
        return plan::ListCsv(rows);
    }
    std::vector<std::vector<std::string>> rows = {{"Name", "MAC", "IP", "Netmask", "Gateway",
                                                   "Port", "Model", "Display model", "Version",
                                                   "Adapter", "Protocol"}};
    for (const SeenCamera& c : cameras) {
        rows.push_back(cameraCells(c, audience));
    }
    return Table(rows);
}

std::string Results(const std::vector<jobs::OperationResult>& results, Format format,
                    Audience audience) {
    if (format == Format::Csv) {
        QString csv = jobs::CsvRow(jobs::ResultHeaders());
        for (const jobs::OperationResult& r : results) {
            csv += jobs::CsvRow(resultCells(r, audience));
        }
        return csv.toStdString();
    }
    if (format == Format::Json) {
        static const char* const kKeys[] = {"name",      "mac",     "ip",     "model",
                                            "operation", "outcome", "reason", "seconds"};
        json list = json::array();
        for (const jobs::OperationResult& r : results) {
            const QStringList cells = resultCells(r, audience);
            json row = json::object();
            for (int i = 0; i < jobs::kColumns; ++i) {
                row[kKeys[i]] = cells.at(i).toStdString();
            }
            row["seconds"] = r.seconds;
            list.push_back(row);
        }
        return jsonText(list);
    }
    std::vector<std::vector<std::string>> rows;
    QStringList headers = jobs::ResultHeaders();
    rows.emplace_back();
    for (const QString& h : headers) {
        rows.back().push_back(h.toStdString());
    }
    for (const jobs::OperationResult& r : results) {
        rows.emplace_back();
        for (const QString& cell : jobs::ResultCells(r)) {
            rows.back().push_back(cell.toStdString());
        }
    }
    return Table(rows);
}

std::string WriteTextFile(const std::string& path, const std::string& bytes) {
    const FileError error = WriteRegularFile(path, bytes);
    if (error != FileError::None) {
        return path + ": " + std::string(Describe(error)) + "; nothing was written there";
    }
    return {};
}

CProgress::CProgress(std::string what) : m_what(std::move(what)), m_terminal(isatty(2) != 0) {}

void CProgress::Update(int done, int total, int failed) {
    char line[160];
    std::snprintf(line, sizeof line, "%s: %d of %d cameras%s", m_what.c_str(), done, total,
                  failed > 0 ? (", " + std::to_string(failed) + " failed").c_str() : "");
    if (m_terminal) {
        std::fprintf(stderr, "\r\033[K%s", line);
        m_drawn = true;
    } else {
        const int tenth = total > 0 ? done * 10 / total : 10;
        if (tenth == m_lastTenth && done != total) {
            return;
        }
        m_lastTenth = tenth;
        std::fprintf(stderr, "orvantix-cli: %s\n", line);
    }
    std::fflush(stderr);
}

void CProgress::Done() {
    if (m_drawn) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        m_drawn = false;
    }
}

} // namespace orv::cli
