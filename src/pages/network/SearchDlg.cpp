#include "SearchDlg.h"

#include "NetworkRules.h"
#include "app/AppServices.h"
#include "app/ProcessState.h"
#include "discovery/ResultLines.h"
#include "log/LogFile.h"
#include "text/TextConv.h"
#include "text/DottedNumbers.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/NameEdit.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>

using orv::ui::LangText;

namespace {

constexpr int kCheckColumn = 0;

QString recordText(const char* field, size_t width, int codePage) {
    const std::string bytes(field, strnlen(field, width));
    return QString::fromStdWString(codePage == orv::kCpUtf8 ? orv::FromUtf8(bytes)
                                                            : orv::FromAnsi(bytes));
}

} // namespace

CSearchDlg::CSearchDlg(orv::IAppServices& app, QWidget* parent, orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::NetworkSettings, parent, std::move(clock)), m_app(app) {
    setObjectName(QStringLiteral("networkSettingsPage"));
    createControls();

    connect(m_listCtrl, &orv::ui::CSortListCtrl::checkChanged, this,
            [this](int row, bool checked, bool byUser) {
                if (byUser) {
                    onCheckChanged(row, checked);
                }
            });
    connect(m_listCtrl, &orv::ui::CSortListCtrl::itemClicked, this, &CSearchDlg::onItemClicked);
    connect(m_listCtrl, &orv::ui::CSortListCtrl::rowSelectionChanged, this,
            &CSearchDlg::onRowSelectionChanged);
    SetLanguageText();
    layoutControls();
}

void CSearchDlg::createControls() {
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    m_selectAll = named(new QCheckBox(this), "selectAll");
    m_sameIp = named(new QCheckBox(this), "sameIp");
    m_nameLabel = named(new QLabel(this), "deviceNameLabel");
    m_nameEdit = named(new orv::ui::CNameEdit(this), "deviceNameEdit");
    m_ipLabel = named(new QLabel(this), "ipLabel");
    m_ipEdit = named(new QLineEdit(this), "ipEdit");
    m_maskLabel = named(new QLabel(this), "netmaskLabel");
    m_maskEdit = named(new QLineEdit(this), "netmaskEdit");
    m_gatewayLabel = named(new QLabel(this), "gatewayLabel");
    m_gatewayEdit = named(new QLineEdit(this), "gatewayEdit");
    m_dnsLabel = named(new QLabel(this), "dnsLabel");
    m_dnsEdit = named(new QLineEdit(this), "dnsEdit");
    m_portLabel = named(new QLabel(this), "httpPortLabel");
    m_portEdit = named(new QLineEdit(this), "httpPortEdit");
    m_modify = named(new QPushButton(this), "modifyButton");

    // The DNS server always follows the gateway; its fields never show.
    m_dnsLabel->hide();
    m_dnsEdit->hide();
    m_nameEdit->setMaxLength(32);
    m_ipEdit->setMaxLength(16);
    m_maskEdit->setMaxLength(16);
    m_gatewayEdit->setMaxLength(16);
    m_portEdit->setMaxLength(5);
    m_modify->setEnabled(false);
    m_modify->setAutoDefault(false);
    m_sameIp->hide();

    connect(m_selectAll, &QCheckBox::clicked, this, &CSearchDlg::onSelectAll);
    connect(m_sameIp, &QCheckBox::clicked, this, [this] { updateIpLabel(); });
    connect(m_modify, &QPushButton::clicked, this, &CSearchDlg::Modify);
}

void CSearchDlg::SetLanguageText() {
    CDeviceListPage::SetLanguageText();
    m_selectAll->setText(LangText(L"20010", L"Select All"));
    m_sameIp->setText(LangText(L"20011", L"Same IP"));
    m_dnsLabel->setText(LangText(L"20012", L"DNS:"));
    m_portLabel->setText(LangText(L"20013", L"HTTP Port:"));
    m_nameLabel->setText(LangText(L"20014", L"Device Name:"));
    m_maskLabel->setText(LangText(L"20015", L"Netmask:"));
    m_gatewayLabel->setText(LangText(L"20016", L"Gateway:"));
    m_modify->setText(LangText(L"20017", L"Modify"));
    updateIpLabel();
}

void CSearchDlg::updateIpLabel() {
    const bool start = m_selectAll->isChecked() && !m_sameIp->isChecked();
    m_ipLabel->setText(start ? LangText(L"20009", L"Start IP Address:")
                             : LangText(L"20008", L"IP Address:"));
}

void CSearchDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    layoutControls();
}

void CSearchDlg::layoutControls() {
    const int w = width();
    const int h = height();
    m_listCtrl->setGeometry(0, 0, w, h - 24);
    m_selectAll->setGeometry(0, h - 20, 80, 16);
    const int y = h - 22;
    m_sameIp->setGeometry(120, y, 80, 20);
    int x = 0;
    if (!Devices().checkedMode) {
        m_nameLabel->setGeometry(120, y + 4, 80, 20);
        m_nameEdit->setGeometry(200, y, 100, 20);
        m_ipLabel->setGeometry(300, y + 4, 100, 20);
        x = 400;
    } else {
        m_ipLabel->setGeometry(200, y + 4, 120, 20);
        x = 320;
    }
    m_ipEdit->setGeometry(x, y, 100, 20);
    m_maskLabel->setGeometry(x + 100, y + 4, 60, 20);
    m_maskEdit->setGeometry(x + 160, y, 100, 20);
    m_gatewayLabel->setGeometry(x + 260, y + 4, 60, 20);
    m_gatewayEdit->setGeometry(x + 320, y, 100, 20);
    m_portLabel->setGeometry(x + 420, y + 4, 70, 20);
    m_portEdit->setGeometry(x + 490, y, 40, 20);
    m_modify->setGeometry(w - 90, y, 80, 20);
    update();
}

void CSearchDlg::SetCheckedMode(bool on) {
    Devices().checkedMode = on;
    if (on) {
        m_sameIp->show();
        updateIpLabel();
        m_nameLabel->hide();
        m_nameEdit->hide();
        m_ipEdit->clear();
        m_maskEdit->clear();
        m_gatewayEdit->clear();
        m_portEdit->clear();
    } else {
        m_sameIp->hide();
        m_ipLabel->setText(LangText(L"20008", L"IP Address:"));
        m_nameLabel->show();
        m_nameEdit->show();
    }
    layoutControls();
}

void CSearchDlg::fillEditsFrom(int row) {
    const orv::DeviceRow* device = Devices().Row(row);
    if (device == nullptr) {
        return;
    }
    const tagQvIpcInfo& r = device->record;
    m_nameEdit->setText(recordText(r.DevName, sizeof r.DevName, orv::kCpUtf8));
    m_ipEdit->setText(recordText(r.IpAddr, sizeof r.IpAddr, orv::kCpAnsi));
    m_maskEdit->setText(recordText(r.NetMask, sizeof r.NetMask, orv::kCpAnsi));
    m_gatewayEdit->setText(recordText(r.Gateway, sizeof r.Gateway, orv::kCpAnsi));
    m_portEdit->setText(QString::number(r.HttpPort));
}

void CSearchDlg::selectRowForEditing(int row) {
    Devices().currentRow = row;
    m_modify->setEnabled(true);
    fillEditsFrom(row);
}

void CSearchDlg::onRowSelectionChanged(int row, bool selected) {
    if (!selected || row < 0 || Devices().checkedMode || row == Devices().currentRow) {
        return;
    }
    selectRowForEditing(row);
}

void CSearchDlg::onItemClicked(int row, int column) {
    if (row < 0 || column == kCheckColumn || orv::TheProcessState().osVersionCode < 24) {
        return;
    }
    ApplyTextClickRule(m_selectAll, row);
}

void CSearchDlg::onCheckChanged(int, bool checked) {
    ApplyCheckRule(m_selectAll, checked);
}

void CSearchDlg::EnterCheckedMode(bool on) {
    SetCheckedMode(on);
}

void CSearchDlg::PickRow(int row) {
    selectRowForEditing(row);
}

void CSearchDlg::OnRowDoubleClicked(int row) {
    CDeviceListPage::OnRowDoubleClicked(row);
    if (row >= 0) {
        onCheckChanged(row, m_listCtrl->GetCheck(row));
    }
}

void CSearchDlg::onSelectAll(bool checked) {
    Devices().SetAllChecks(checked);
    SetCheckedMode(checked);
}

void CSearchDlg::OnPageTick(int tick) {
    if (tick % kDropEveryTicks == 0 && (Devices().checkedMode || Devices().currentRow >= 0)) {
        m_modify->setEnabled(true);
    }
    if (tick % 10 == 0 && !Devices().checkedMode) {
        const std::wstring name = m_nameEdit->text().toStdWString();
        const std::wstring cut = orv::network::CutDeviceName(name);
        if (cut != name) {
            m_nameEdit->setText(QString::fromStdWString(cut));
            m_nameEdit->setCursorPosition(static_cast<int>(cut.size()));
        }
    }
}

void CSearchDlg::OnModifyDone(const tagQvIpcInfo& record) {
    CDeviceListPage::OnModifyDone(record);
    const std::string line = orv::ModifyResultLine(record, true);
    wchar_t wide[260] = {};
    MultiToWide(orv::kCpAnsi, line.c_str(), wide, 260);
    m_app.AddOperatingInfo(QString::fromWCharArray(wide));
}

void CSearchDlg::Modify() {
    namespace net = orv::network;
    auto& devices = Devices();
    const net::NetworkForm form{
        m_app.DefaultUserText().toStdWString(), m_app.DefaultPasswordText().toStdWString(),
        m_nameEdit->text().toStdWString(),      m_ipEdit->text().toStdWString(),
        m_maskEdit->text().toStdWString(),      m_gatewayEdit->text().toStdWString(),
        m_portEdit->text().toStdWString()};
    const net::CheckedForm checked = net::CheckForm(form, devices.checkedMode);
    if (checked.error) {
        orv::ui::ShowMessage(this, LangText(checked.error->id, checked.error->defaultText));
        return;
    }

    if (devices.checkedMode) {
        if (m_listCtrl->GetItemCount() == 0) {
            m_modify->setEnabled(false);
            return;
        }
        for (tagQvIpcInfo request :
             net::BuildCheckedRequests(checked, devices.CheckedDevices(), m_sameIp->isChecked())) {
            m_app.ModifyIpcInfoAll(&request);
        }
        m_modify->setEnabled(false);
        return;
    }

    if (devices.currentRow < 0 || devices.Row(devices.currentRow) == nullptr) {
        orv::ui::ShowMessage(this, LangText(net::kSelectDevice.id, net::kSelectDevice.defaultText));
        return;
    }
    const tagQvIpcInfo& device = devices.Row(devices.currentRow)->record;
    const std::wstring newName = m_nameEdit->text().trimmed().toStdWString();
    if (net::RequestChangesNothing(*checked.request, newName, device)) {
        return;
    }
    tagQvIpcInfo request = *checked.request;
    std::memcpy(request.Mac, device.Mac, sizeof request.Mac);
    m_app.ModifyIpcInfoAll(&request);
    m_modify->setEnabled(false);
}
