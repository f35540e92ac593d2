#include "AddressPlan.h"

#include "jobs/JobResults.h"
#include "lang/Language.h"
#include "operations/network/NetworkRules.h"
#include "text/TextConv.h"
#include "text/WideText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string_view>

#include <QStringList>

namespace orv::plan {
namespace {

enum Column { kMacColumn, kIpColumn, kNetmaskColumn, kGatewayColumn, kPortColumn, kNameColumn };
struct KnownColumn {
    const char* name;
    int column; // -1: a column of the discovery list, read past
};
constexpr KnownColumn kColumns[] = {
    {"mac", kMacColumn},
    {"ip", kIpColumn},
    {"netmask", kNetmaskColumn},
    {"gateway", kGatewayColumn},
    {"http_port", kPortColumn},
    {"name", kNameColumn},
    {"model", -1},
    {"display_model", -1},
    {"version", -1},
    {"adapter", -1},
    {"protocol", -1},
};

std::string text(const Message& message) {
    return ToUtf8(TheLanguage().Text(message.id, message.defaultText));
}

// A plan of thousands of faulty rows names the same few faults again and
// again: each message is translated once per plan.
class MessageTexts {
public:
    const std::string& operator()(const Message& message) {
        auto found = texts_.find(message.id);
        if (found == texts_.end()) {
            found = texts_.emplace(message.id, text(message)).first;
        }
        return found->second;
    }

private:
    std::map<const wchar_t*, std::string> texts_;
};

std::string_view trimmed(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The records of a file, their fields kept in one list: one allocation
// per growth of the file, not one per row.
struct Records {
    struct Record {
        int line = 0;
        std::size_t first = 0; // its first field in `cells`
        std::size_t count = 0;
    };
    std::vector<Record> list;
    std::vector<std::string> cells;

    std::span<const std::string> fields(const Record& r) const {
        return {cells.data() + r.first, r.count};
    }
};

// RFC 4180 records; a quoted field may hold separators, quotes ("") and
// line breaks. Lines without any text (blank, or separators alone, as
// spreadsheets write their empty rows) are no records.
Records splitRecords(std::string_view text, char separator, std::vector<PlanProblem>& problems) {
    Records records;
    int line = 1;
    Records::Record record{line, 0, 0};
    std::string field;
    bool quoted = false;     // the field was quoted
    bool afterQuote = false; // its closing quote has passed
    bool content = false;
    const auto endField = [&] {
        records.cells.emplace_back(quoted ? std::string_view(field) : trimmed(field));
        ++record.count;
        field.clear();
        quoted = afterQuote = false;
    };
    const auto endRecord = [&] {
        endField();
        if (content) {
            records.list.push_back(record);
        } else {
            records.cells.resize(record.first);
        }
        record = {line, records.cells.size(), 0};
        content = false;
    };
    // Text between the characters that mean something is taken a run at a
    // time: a plan of thousands of rows is read in a few steps per field.
    std::array<bool, 256> special{};
    for (const char c : {'"', separator, '\r', '\n'}) {
        special[static_cast<unsigned char>(c)] = true;
    }
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t next = i;
        while (next < text.size() && !special[static_cast<unsigned char>(text[next])]) {
            ++next;
        }
        if (next > i) {
            const std::string_view run = text.substr(i, next - i);
            const bool blank = trimmed(run).empty();
            if (afterQuote && !blank) {
                problems.push_back({record.line, "", "text after a closing quote"});
                return records;
            }
            if (!afterQuote) {
                field += run;
                content = content || !blank;
            }
            i = next;
            continue;
        }
        const char c = text[i++];
        if (c == '"' && !quoted && trimmed(field).empty()) {
            field.clear();
            quoted = content = true;
            for (;;) {
                const std::size_t quote = text.find('"', i);
                if (quote == std::string_view::npos) {
                    problems.push_back({record.line, "", "a quoted field has no end"});
                    return records;
                }
                const std::string_view run = text.substr(i, quote - i);
                field += run;
                line += static_cast<int>(std::count(run.begin(), run.end(), '\n'));
                i = quote + 1;
                if (i >= text.size() || text[i] != '"') {
                    break;
                }
                field += '"'; // a doubled quote stands for one
                ++i;
            }
            afterQuote = true;
        } else if (c == separator) {
            endField();
        } else if (c == '\r' || c == '\n') {
            i += c == '\r' && i < text.size() && text[i] == '\n' ? 1 : 0;
            ++line;
            endRecord();
        } else if (afterQuote) {
            problems.push_back({record.line, "", "text after a closing quote"});
            return records;
        } else {
            field += c; // a quote inside a field that did not start with one
            content = true;
        }
    }
    endRecord();
    return records;
}

std::string dotted(const std::array<int, 4>& n) {
    char out[32];
    std::snprintf(out, sizeof out, "%d.%d.%d.%d", n[0], n[1], n[2], n[3]);
    return out;
}

// Checks every field of a row; gives the row's address in plain dotted form
// when it has a valid one.
std::optional<std::string> checkRow(const PlanRow& row, const device::CDriverSet& drivers,
                                    MessageTexts& say, std::vector<PlanProblem>& problems) {
    const auto bad = [&](const char* field, const Message& message) {
        problems.push_back({row.line, field, say(message)});
    };
    std::optional<std::string> address;
    if (!row.ip.empty()) {
        const std::wstring ip = FromUtf8(row.ip);
        if (network::IsValidAddress(ip)) {
            address = dotted(*network::ReadFourNumbers(ip));
        } else {
            bad("ip", network::kInvalidIp);
        }
    }
    if (!row.netmask.empty() && !network::IsValidNetmask(FromUtf8(row.netmask))) {
        bad("netmask", network::kInvalidNetmask);
    }
    if (!row.gateway.empty() && !network::IsValidAddress(FromUtf8(row.gateway))) {
        bad("gateway", network::kInvalidGateway);
    }
    // A port below 1024 may be the one the camera serves on already (the
    // factory's 80, as the discovery list shows it); whether it is, the
    // match decides.
    if (!row.httpPort.empty()) {
        const long port = network::ReadPortNumber(FromUtf8(row.httpPort));
        if (port < 1 || port > 65535) {
            bad("http_port", network::kPortRange);
        }
    }
    if (!row.name.empty()) {
        if (!IsValidUtf8(row.name)) {
            problems.push_back({row.line, "name", "not UTF-8 text"});
        } else if (!drivers.Takes(device::TextField::Name, QString::fromStdString(row.name))) {
            problems.push_back({row.line, "name", "longer than a camera keeps"});
        }
    }
    return address;
}

// The column a failed check of a whole row concerns, as "ip: ".
std::string fieldOf(const Message& error, const network::NetworkForm& form) {
    const auto is = [&](const Message& m) { return std::wcscmp(m.id, error.id) == 0; };
    const char* field = is(network::kInvalidIp)        ? "ip"
                        : is(network::kInvalidNetmask) ? "netmask"
                        : is(network::kInvalidGateway) ? "gateway"
                        : is(network::kPortRange)      ? "http_port"
                                                       : nullptr;
    if (field == nullptr && is(kFieldEmpty)) {
        const std::pair<const std::wstring*, const char*> fields[] = {{&form.deviceName, "name"},
                                                                      {&form.ip, "ip"},
                                                                      {&form.netmask, "netmask"},
                                                                      {&form.gateway, "gateway"}};
        for (const auto& [value, name] : fields) {
            if (TrimView(*value).empty()) {
                field = name;
                break;
            }
        }
    }
    return field == nullptr ? std::string() : std::string(field) + ": ";
}

} // namespace

Plan ReadPlan(std::string_view text, const device::CDriverSet& drivers) {
    Plan plan;
    if (text.size() > kMaxPlanBytes) {
        plan.problems.push_back({0, "", "larger than 4 MiB"});
        return plan;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    const std::string_view firstLine = text.substr(0, text.find('\n'));
    const char separator =
        firstLine.find(',') == std::string_view::npos && firstLine.find(';') != std::string::npos
            ? ';'
            : ',';
    const Records split = splitRecords(text, separator, plan.problems);
    const std::vector<Records::Record>& records = split.list;
    if (records.empty()) {
        plan.problems.push_back({1, "", "no header row"});
        return plan;
    }
    std::vector<int> columnOf;
    std::set<int> present;
    for (const std::string& cell : split.fields(records.front())) {
        const std::string name = lower(cell);
        const auto known = std::find_if(std::begin(kColumns), std::end(kColumns),
                                        [&](const KnownColumn& k) { return name == k.name; });
        if (known == std::end(kColumns)) {
            plan.problems.push_back({records.front().line, cell, "unknown column"});
            columnOf.push_back(-1);
        } else if (known->column >= 0 && !present.insert(known->column).second) {
            plan.problems.push_back({records.front().line, cell, "named twice"});
            columnOf.push_back(-1);
        } else {
            columnOf.push_back(known->column);
        }
    }
    if (present.count(kMacColumn) == 0) {
        plan.problems.push_back({records.front().line, "mac", "the header names no mac column"});
        return plan;
    }
    if (records.size() == 1 && plan.problems.empty()) {
        plan.problems.push_back({records.front().line, "", "no camera rows"});
    }
    if (records.size() - 1 > kMaxPlanRows) {
        plan.problems.push_back({records[kMaxPlanRows + 1].line, "", "more than 5000 rows"});
        return plan;
    }
    std::map<Mac, int> macLines;
    std::map<std::string, int> ipLines;
    MessageTexts say;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const Records::Record& record = records[r];
        const std::span<const std::string> fields = split.fields(record);
        if (fields.size() > columnOf.size()) {
            plan.problems.push_back({record.line, "",
                                     std::to_string(fields.size()) +
                                         " fields where the header names " +
                                         std::to_string(columnOf.size())});
            continue;
        }
        PlanRow row;
        row.line = record.line;
        std::string* targets[] = {nullptr,      &row.ip,       &row.netmask,
                                  &row.gateway, &row.httpPort, &row.name};
        std::string mac;
        for (std::size_t c = 0; c < fields.size(); ++c) {
            // An exported list's guarded cells read back as they were.
            const std::string cell = jobs::WithoutFormulaGuard(fields[c]);
            if (columnOf[c] == kMacColumn) {
                mac = cell;
            } else if (columnOf[c] > 0) {
                *targets[columnOf[c]] = cell;
            }
        }
        const std::size_t before = plan.problems.size();
        if (const std::optional<Mac> m = ReadMac(mac)) {
            row.mac = *m;
            if (const auto [it, added] = macLines.emplace(*m, row.line); !added) {
                plan.problems.push_back(
                    {row.line, "mac",
                     MacText(*m) + " is planned on line " + std::to_string(it->second) + " too"});
            }
        } else {
            plan.problems.push_back(
                {row.line, "mac",
                 mac.empty() ? "missing" : "\"" + mac + "\" is not a MAC address"});
        }
        if (const auto ip = checkRow(row, drivers, say, plan.problems)) {
            if (const auto [it, added] = ipLines.emplace(*ip, row.line); !added) {
                plan.problems.push_back(
                    {row.line, "ip",
                     *ip + " is planned on line " + std::to_string(it->second) + " too"});
            }
        }
        if (plan.problems.size() == before) {
            plan.rows.push_back(std::move(row));
        }
    }
    return plan;
}

std::string ProblemText(const std::string& file, const PlanProblem& p) {
    std::string out = file;
    if (p.line > 0) {
        out += ":" + std::to_string(p.line);
    }
    out += ": ";
    if (!p.field.empty()) {
        out += p.field + ": ";
    }
    return out + p.text;
}

std::vector<PlanEntry> MatchPlan(const Plan& plan, const std::vector<device::DeviceInfo>& cameras,
                                 const PlanLogin& login, const device::CDriverSet& drivers,
                                 const AddressesInUse& inUse) {
    std::vector<PlanEntry> entries;
    std::map<std::uint32_t, const device::DeviceInfo*> holders; // current addresses
    for (const device::DeviceInfo& camera : cameras) {
        holders.emplace(camera.address, &camera);
    }
    std::map<std::uint32_t, std::vector<std::size_t>> targets;
    for (const PlanRow& row : plan.rows) {
        PlanEntry entry;
        entry.row = row;
        const auto camera = std::find_if(cameras.begin(), cameras.end(),
                                         [&](const auto& c) { return c.mac == row.mac; });
        if (camera == cameras.end()) {
            entry.reason = "did not answer discovery";
            entries.push_back(std::move(entry));
            continue;
        }
        entry.camera = *camera;
        const auto value = [](const std::string& planned, const QString& own) {
            return planned.empty() ? own.toStdWString() : FromUtf8(planned);
        };
        // The page's range holds for a port the installer changes; a kept
        // port (blank, or the camera's own: factory cameras serve on 80) is
        // checked by nobody and goes back as it is.
        const bool keepsPort =
            row.httpPort.empty() ||
            network::ReadPortNumber(FromUtf8(row.httpPort)) == camera->ports.http;
        const network::NetworkForm form{login.user,
                                        login.password,
                                        value(row.name, camera->name),
                                        value(row.ip, device::Ipv4Text(camera->address)),
                                        value(row.netmask, device::Ipv4Text(camera->netmask)),
                                        value(row.gateway, device::Ipv4Text(camera->gateway)),
                                        keepsPort ? L"65535" : FromUtf8(row.httpPort)};
        const network::CheckedForm checked =
            network::CheckForm(form, drivers, false, {}, {*camera});
        if (checked.error) {
            entry.state = RowState::Conflicting;
            entry.reason = fieldOf(*checked.error, form) + text(*checked.error);
            entries.push_back(std::move(entry));
            continue;
        }
        network::ModifyRequest request{*camera, *checked.change, checked.credentials};
        if (keepsPort) {
            request.change.httpPort = camera->ports.http;
        }
        entry.changes = !network::RequestChangesNothing(request.change, *camera);
        entry.state = RowState::Matched;
        const std::uint32_t target = request.change.address;
        const std::string targetText = device::Ipv4Text(target).toStdString();
        entry.request = std::move(request);
        targets[target].push_back(entries.size());
        if (target != camera->address) {
            if (const auto holder = holders.find(target); holder != holders.end()) {
                entry.state = RowState::Conflicting;
                entry.reason = targetText + " is the address of camera " +
                               holder->second->MacText() + " (" +
                               holder->second->name.toStdString() + ")";
            } else if (const auto used = inUse.find(targetText); used != inUse.end()) {
                entry.state = RowState::Conflicting;
                entry.reason = targetText + " is in use by " + used->second;
            }
        }
        entries.push_back(std::move(entry));
    }
    // Rows that keep their camera's address may still meet another row.
    for (const auto& [address, rows] : targets) {
        if (rows.size() < 2) {
            continue;
        }
        for (const std::size_t i : rows) {
            for (const std::size_t j : rows) {
                if (i != j && entries[i].state == RowState::Matched) {
                    entries[i].state = RowState::Conflicting;
                    entries[i].reason = device::Ipv4Text(address).toStdString() +
                                        " is planned on line " +
                                        std::to_string(entries[j].row.line) + " too";
                }
            }
        }
    }
    return entries;
}

std::vector<std::string> AddressesToProbe(const std::vector<PlanEntry>& entries) {
    std::vector<std::string> addresses;
    for (const PlanEntry& e : entries) {
        if (e.state == RowState::Matched && e.request &&
            e.request->change.address != e.camera->address) {
            addresses.push_back(device::Ipv4Text(e.request->change.address).toStdString());
        }
    }
    return addresses;
}

const std::vector<std::string> kListColumns = {"name",    "mac",       "ip",      "netmask",
                                               "gateway", "http_port", "model",   "display_model",
                                               "version", "adapter",   "protocol"};

std::vector<std::string> ListCells(const device::DeviceInfo& d, const std::string& adapters) {
    return {d.name.toStdString(),
            d.MacText(),
            d.AddressText().toStdString(),
            device::Ipv4Text(d.netmask).toStdString(),
            device::Ipv4Text(d.gateway).toStdString(),
            std::to_string(d.ports.http),
            d.model.toStdString(),
            d.displayModel.toStdString(),
            d.firmware.toStdString(),
            adapters,
            ProtocolCell(d)};
}

std::string ProtocolCell(const device::DeviceInfo& d) {
    std::string cell;
    for (const device::ServiceAddress& service : d.services) {
        cell += cell.empty() ? "" : "+";
        cell += service.protocol == device::Protocol::Onvif ? "onvif" : "native";
    }
    return cell;
}

std::string ListCsv(const std::vector<std::vector<std::string>>& rows) {
    const auto row = [](const std::vector<std::string>& cells) {
        QStringList texts;
        for (const std::string& cell : cells) {
            texts << QString::fromStdString(cell);
        }
        return jobs::CsvRow(texts);
    };
    QString csv = row(kListColumns);
    for (const auto& cells : rows) {
        csv += row(cells);
    }
    return csv.toStdString();
}

} // namespace orv::plan
