#include "AddressPlanDlg.h"

#include "ui/LangText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using orv::ui::LangText;

namespace {

std::function<bool(CAddressPlanDlg&)>& reviewAnswer() {
    static std::function<bool(CAddressPlanDlg&)> answer;
    return answer;
}

QString stateText(orv::plan::RowState state) {
    switch (state) {
    case orv::plan::RowState::Matched:
        return LangText(L"95031", L"Matched");
    case orv::plan::RowState::Missing:
        return LangText(L"95032", L"Missing");
    case orv::plan::RowState::Conflicting:
        return LangText(L"95033", L"Conflicting");
    }
    return {};
}

// "192.0.2.20/255.255.255.0 via 192.0.2.1, port 8080, Gate 01": what the
// camera gets, its own values where the plan leaves a field blank; for a
// row without a camera, what the plan gives.
QString plannedText(const orv::plan::PlanEntry& e) {
    if (e.request) {
        const orv::device::AddressChange& c = e.request->change;
        return QStringLiteral("%1/%2 via %3, port %4, %5")
            .arg(orv::device::Ipv4Text(c.address), orv::device::Ipv4Text(c.netmask),
                 orv::device::Ipv4Text(c.gateway))
            .arg(c.httpPort)
            .arg(c.name);
    }
    QStringList parts; // what the plan gives; blank fields are the camera's
    for (const std::string* field :
         {&e.row.ip, &e.row.netmask, &e.row.gateway, &e.row.httpPort, &e.row.name}) {
        if (!field->empty()) {
            parts << QString::fromStdString(*field);
        }
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

CAddressPlanDlg::CAddressPlanDlg(const std::vector<orv::plan::PlanEntry>& entries, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("addressPlanDlg"));
    setWindowTitle(LangText(L"95030", L"Address plan"));
    resize(900, 420);
    auto* layout = new QVBoxLayout(this);
    m_summary = new QLabel(this);
    layout->addWidget(m_summary);

    m_table = new QTableWidget(static_cast<int>(entries.size()), 5, this);
    m_table->setObjectName(QStringLiteral("addressPlanTable"));
    m_table->setHorizontalHeaderLabels(
        {LangText(L"95034", L"Line"), LangText(L"95035", L"MAC"), LangText(L"95036", L"Camera now"),
         LangText(L"95037", L"Planned"), LangText(L"95038", L"State")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    int matched = 0;
    int missing = 0;
    int conflicting = 0;
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const orv::plan::PlanEntry& e = entries[static_cast<std::size_t>(i)];
        matched += e.state == orv::plan::RowState::Matched ? 1 : 0;
        missing += e.state == orv::plan::RowState::Missing ? 1 : 0;
        conflicting += e.state == orv::plan::RowState::Conflicting ? 1 : 0;
        QString now;
        if (e.camera) {
            now = QStringLiteral("%1 %2:%3")
                      .arg(e.camera->name, e.camera->AddressText())
                      .arg(e.camera->ports.http);
        }
        QString state = stateText(e.state);
        if (!e.reason.empty()) {
            state += QStringLiteral(": ") + QString::fromStdString(e.reason);
        } else if (e.state == orv::plan::RowState::Matched && !e.changes) {
            state += QStringLiteral(": ") + LangText(L"95039", L"no change");
        }
        const QStringList cells = {QString::number(e.row.line),
                                   QString::fromStdString(orv::plan::MacText(e.row.mac)), now,
                                   plannedText(e), state};
        for (int c = 0; c < cells.size(); ++c) {
            m_table->setItem(i, c, new QTableWidgetItem(cells[c]));
        }
    }
    m_table->resizeColumnsToContents();
    layout->addWidget(m_table);

    const int changing = static_cast<int>(Requests(entries).size());
    m_summary->setText(LangText(L"95040", L"%1 matched, %2 missing, %3 conflicting; Apply "
                                          L"changes %4 cameras.")
                           .arg(matched)
                           .arg(missing)
                           .arg(conflicting)
                           .arg(changing));
    auto* buttons = new QDialogButtonBox(this);
    m_apply = buttons->addButton(LangText(L"95041", L"Apply"), QDialogButtonBox::AcceptRole);
    m_apply->setObjectName(QStringLiteral("applyPlan"));
    m_apply->setEnabled(changing > 0);
    buttons->addButton(LangText(L"95010", L"Cancel"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

bool CAddressPlanDlg::Review(QWidget* parent, const std::vector<orv::plan::PlanEntry>& entries) {
    CAddressPlanDlg dialog(entries, parent);
    if (reviewAnswer()) {
        return reviewAnswer()(dialog) && dialog.m_apply->isEnabled();
    }
    return dialog.exec() == QDialog::Accepted;
}

void CAddressPlanDlg::SetReviewAnswer(std::function<bool(CAddressPlanDlg&)> answer) {
    reviewAnswer() = std::move(answer);
}

std::vector<orv::network::ModifyRequest>
CAddressPlanDlg::Requests(const std::vector<orv::plan::PlanEntry>& entries) {
    std::vector<orv::network::ModifyRequest> requests;
    for (const orv::plan::PlanEntry& e : entries) {
        if (e.state == orv::plan::RowState::Matched && e.changes && e.request) {
            requests.push_back(*e.request);
        }
    }
    return requests;
}
