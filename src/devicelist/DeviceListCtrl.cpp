#include "DeviceListCtrl.h"

#include "discovery/PageEvents.h"
#include "ui/LangText.h"

#include <QCoreApplication>

#include <array>
#include <memory>

namespace orv {

CDeviceListCtrl::CDeviceListCtrl(DeviceListKind kind, QObject* page, QWidget* parent)
    : ui::CSortListCtrl(parent), m_profile(ProfileFor(kind)), m_page(page) {
    for (const auto& column : m_profile.columns) {
        const Qt::Alignment align =
            column.field == DeviceField::CheckBox ? Qt::AlignHCenter : Qt::AlignLeft;
        InsertColumn(GetColumnCount(), QString(), align, column.width);
    }
    SetCheckBoxes(m_profile.checkBoxes);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    SetExtraRowHeight(3);
    SetFirstHighlightColumn(0);
    SetHeaderTexts();
    SortByColumn(m_profile.initialSortColumn, true);
    connect(this, &ui::CSortListCtrl::sorted, this, [this] {
        if (m_page != nullptr) {
            QCoreApplication::postEvent(m_page,
                                        std::make_unique<QEvent>(kRenumberListEvent).release());
        }
    });
}

void CDeviceListCtrl::SetHeaderTexts() {
    for (size_t i = 0; i < m_profile.columns.size(); ++i) {
        const auto& column = m_profile.columns[i];
        SetColumnTitle(static_cast<int>(i), column.headerId != nullptr
                                                ? ui::LangText(column.headerId, column.headerText)
                                                : QString());
    }
}

void CDeviceListCtrl::SortByIp() {
    SortByColumnWithRule(m_profile.ipColumn, true);
}

namespace {

// Plain dotted addresses, the common case, are read without copying; any
// other text takes the general rule.
bool readPlainAddress(QStringView text, std::array<int, 4>& out) {
    text = text.trimmed();
    int part = 0;
    int value = -1;
    for (QChar c : text) {
        if (c >= u'0' && c <= u'9') {
            value = (value < 0 ? 0 : value) * 10 + (c.unicode() - u'0');
            if (value > 999999) {
                return false;
            }
        } else if (c == u'.' && value >= 0 && part < 3) {
            out[static_cast<size_t>(part++)] = value;
            value = -1;
        } else {
            return false;
        }
    }
    if (part != 3 || value < 0) {
        return false;
    }
    out[3] = value;
    return true;
}

} // namespace

int CDeviceListCtrl::CompareColumn(int column, const QString& left, const QString& right) const {
    if (column == m_profile.ipColumn) {
        std::array<int, 4> a{};
        std::array<int, 4> b{};
        if (readPlainAddress(left, a) && readPlainAddress(right, b)) {
            return a < b ? -1 : (b < a ? 1 : 0);
        }
        return CompareIpCells(left.toStdWString(), right.toStdWString());
    }
    return ui::CSortListCtrl::CompareColumn(column, left, right);
}

void CDeviceListCtrl::OnHeaderClick(int column) {
    if (column == 0 || column == m_profile.numberColumn) {
        return;
    }
    const bool ascending =
        column != GetHeaderCtrl()->GetSortColumn() || !GetHeaderCtrl()->IsSortAscending();
    SortByColumnWithRule(column, ascending);
}

} // namespace orv
