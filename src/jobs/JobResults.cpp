#include "JobResults.h"

#include "lang/Language.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace orv::jobs {
namespace {

QString text(const wchar_t* id, const wchar_t* english) {
    return QString::fromStdWString(TheLanguage().Text(id, english));
}

bool startsFormula(char16_t c) {
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

char16_t unit(const QString& text, qsizetype at) {
    return text[at].unicode();
}
char16_t unit(std::string_view text, std::size_t at) {
    return static_cast<unsigned char>(text[at]);
}

// Whether a cell gets the guard: it starts a formula, or it is a formula
// behind apostrophes of its own ("'=x"), which a reader would otherwise
// take for a guarded "=x".
template <class Text>
bool needsGuard(const Text& text) {
    decltype(text.size()) at = 0;
    while (at < text.size() && unit(text, at) == u'\'') {
        ++at;
    }
    return at < text.size() && startsFormula(unit(text, at));
}

QString csvCell(const QString& text, bool guard = true) {
    const QString cell = guard && needsGuard(text) ? QLatin1Char('\'') + text : text;
    if (!cell.contains(QLatin1Char(',')) && !cell.contains(QLatin1Char('"')) &&
        !cell.contains(QLatin1Char('\n')) && !cell.contains(QLatin1Char('\r'))) {
        return cell;
    }
    QString quoted = cell;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

QStringList ResultHeaders() {
    return {text(L"20000", L"Device Name"), text(L"20001", L"MAC"),
            text(L"20002", L"IP"),          text(L"20006", L"Model"),
            text(L"95000", L"Operation"),   text(L"95001", L"Outcome"),
            text(L"95002", L"Reason"),      text(L"95003", L"Seconds")};
}

QStringList ResultCells(const OperationResult& r) {
    const device::DeviceInfo& d = r.device;
    const QString outcome = r.outcome == Outcome::Succeeded ? text(L"95004", L"Succeeded")
                            : r.outcome == Outcome::Failed  ? text(L"95005", L"Failed")
                                                            : text(L"95006", L"Cancelled");
    return {d.name,
            QString::fromStdString(d.MacText()),
            d.AddressText(),
            d.ShownModel(),
            QString::fromStdString(r.operation),
            outcome,
            QString::fromStdString(ReasonText(r)),
            QString::number(r.seconds, 'f', 2)};
}

std::string WithoutFormulaGuard(const std::string& cell) {
    return !cell.empty() && cell[0] == '\'' && needsGuard(std::string_view(cell).substr(1))
               ? cell.substr(1)
               : cell;
}

QString CsvRow(const QStringList& cells) {
    return CsvRow(cells, static_cast<int>(cells.size()));
}

QString CsvRow(const QStringList& cells, int verbatimFrom) {
    QStringList quoted;
    for (int i = 0; i < cells.size(); ++i) {
        quoted << csvCell(cells[i], i < verbatimFrom);
    }
    return quoted.join(QLatin1Char(',')) + QLatin1String("\r\n");
}

QByteArray ResultsCsv(const std::vector<OperationResult>& results) {
    QString csv = CsvRow(ResultHeaders());
    for (const OperationResult& r : results) {
        csv += CsvRow(ResultCells(r));
    }
    return csv.toUtf8();
}

QString ResultsText(const std::vector<OperationResult>& results) {
    QStringList lines{ResultHeaders().join(QLatin1Char('\t'))};
    for (const OperationResult& r : results) {
        lines << ResultCells(r).join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString TallyLine(const OperationTally& t) {
    const QString operation = QString::fromStdString(t.operation);
    if (t.cancelled == 0) {
        return text(L"95016", L"%1: %2 succeeded, %3 failed.")
            .arg(operation)
            .arg(t.succeeded)
            .arg(t.failed);
    }
    return text(L"95017", L"%1: %2 succeeded, %3 failed, %4 cancelled.")
        .arg(operation)
        .arg(t.succeeded)
        .arg(t.failed)
        .arg(t.cancelled);
}

QString CameraTallyLine(const CameraTally& t) {
    if (t.cancelled == 0) {
        return text(L"95047", L"%1 cameras: %2 succeeded, %3 failed.")
            .arg(t.cameras)
            .arg(t.succeeded)
            .arg(t.failed);
    }
    return text(L"95048", L"%1 cameras: %2 succeeded, %3 failed, %4 cancelled.")
        .arg(t.cameras)
        .arg(t.succeeded)
        .arg(t.failed)
        .arg(t.cancelled);
}

int CJobResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_results.size());
}

int CJobResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant CJobResultsModel::data(const QModelIndex& index, int role) const {
    // The tooltip is the whole cell: a long reason is cut in its column.
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    return ResultCells(m_results[static_cast<std::size_t>(index.row())]).at(index.column());
}

QVariant CJobResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumns) {
        return ResultHeaders().at(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CJobResultsModel::Begin(JobId job) {
    beginResetModel();
    m_job = job;
    m_results.clear();
    endResetModel();
}

void CJobResultsModel::Add(const OperationResult& result) {
    if (result.job != m_job) {
        return;
    }
    const int row = rowCount();
    beginInsertRows({}, row, row);
    m_results.push_back(result);
    endInsertRows();
}

void CJobResultsModel::Order(const std::vector<device::DeviceId>& cameras) {
    std::unordered_map<device::DeviceId, std::size_t, device::DeviceIdHash> place;
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        place.emplace(cameras[i], i);
    }
    const auto rank = [&](const OperationResult& r) {
        const auto it = place.find(r.device.id);
        return it == place.end() ? cameras.size() : it->second;
    };
    beginResetModel();
    std::stable_sort(
        m_results.begin(), m_results.end(),
        [&](const OperationResult& a, const OperationResult& b) { return rank(a) < rank(b); });
    endResetModel();
}

std::vector<device::DeviceInfo> CJobResultsModel::FailedDevices() const {
    return devicesWhere([](const OperationResult& r) { return r.outcome != Outcome::Succeeded; });
}

std::vector<device::DeviceInfo> CJobResultsModel::DevicesFailedFor(Reason reason) const {
    return devicesWhere([reason](const OperationResult& r) {
        return r.outcome == Outcome::Failed && r.reason == reason;
    });
}

std::vector<device::DeviceInfo>
CJobResultsModel::devicesWhere(const std::function<bool(const OperationResult&)>& test) const {
    std::vector<device::DeviceInfo> found;
    for (const OperationResult& r : m_results) {
        const bool listed =
            std::any_of(found.begin(), found.end(),
                        [&](const device::DeviceInfo& d) { return d.id == r.device.id; });
        if (test(r) && !listed) {
            found.push_back(r.device);
        }
    }
    return found;
}

} // namespace orv::jobs
