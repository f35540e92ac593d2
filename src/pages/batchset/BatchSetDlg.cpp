#include "BatchSetDlg.h"

#include "NetworkParamDlg.h"
#include "SystemParamDlg.h"
#include "VideoImageDlg.h"
#include "WaitCursor.h"
#include "app/AppServices.h"
#include "app/ProcessState.h"
#include "text/TextConv.h"
#include "ui/Browser.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/PageContainer.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>

#include <cstring>

using orv::ui::LangText;

namespace {

constexpr int kCheckColumn = 0;
constexpr int kListWidth = 480;
constexpr int kMinTabWidth = 80;

QString ipOf(const tagQvIpcInfo& record) {
    return QString::fromLatin1(record.IpAddr,
                               static_cast<int>(strnlen(record.IpAddr, sizeof record.IpAddr)));
}

} // namespace

CBatchSetDlg::CBatchSetDlg(orv::IAppServices& app, QWidget* parent, orv::CDeviceList::Clock clock,
                           Options options)
    : CDeviceListPage(orv::DeviceListKind::BatchSet, parent, std::move(clock)), m_app(app),
      m_sdk(options.sdk != nullptr ? *options.sdk : orv::batchset::TheDeviceSdk()) {
    setObjectName(QStringLiteral("batchSetPage"));
    m_worker = std::make_unique<orv::batchset::CBatchWorker>(
        m_sdk, [] { return orv::TheProcessState().pendingUrl.Take(); },
        [](const std::string& url) { orv::ui::OpenUrl(QString::fromLocal8Bit(url.c_str())); },
        options.timing);
    m_operations = std::make_unique<orv::batchset::CBatchOperations>(
        static_cast<orv::batchset::IBatchHost&>(*this), m_sdk, *m_worker);
    createControls();

    connect(m_listCtrl, &orv::ui::CSortListCtrl::checkChanged, this,
            [this](int row, bool checked, bool byUser) {
                if (byUser) {
                    onRowCheckChanged(row, checked);
                }
            });
    connect(m_listCtrl, &orv::ui::CSortListCtrl::itemClicked, this, &CBatchSetDlg::onItemClicked);
    connect(m_listCtrl, &orv::ui::CSortListCtrl::rowSelectionChanged, this,
            &CBatchSetDlg::onRowSelectionChanged);
    m_listCtrl->viewport()->installEventFilter(this);

    SetLanguageText();
    layoutControls();
    m_worker->Start();
}

CBatchSetDlg::~CBatchSetDlg() {
    // The worker goes first: reboots not yet made are dropped, and no device
    // call outlives the page.
    m_worker->Stop();
    m_listCtrl->viewport()->removeEventFilter(this);
}

void CBatchSetDlg::createControls() {
    m_pages = new orv::ui::CPageContainer(this);
    m_pages->setObjectName(QStringLiteral("batchSubPages"));
    m_systemPage = new CSystemParamDlg(*m_operations, m_app, m_pages);
    m_networkPage = new CNetworkParamDlg(*m_operations, m_pages);
    m_videoPage = new CVideoImageDlg(*m_operations, m_app, m_pages);
    m_pages->addTab(m_systemPage, QString());
    m_pages->addTab(m_networkPage, QString());
    m_pages->addTab(m_videoPage, QString());
    // Each sub-page is shown once so that its window exists; System ends in
    // front.
    m_pages->setCurrentIndex(2);
    m_pages->setCurrentIndex(1);
    m_pages->setCurrentIndex(0);
    m_pages->SetMinTabWidth(kMinTabWidth);

    m_selectAll = new QCheckBox(this);
    m_selectAll->setObjectName(QStringLiteral("selectAll"));
    connect(m_selectAll, &QCheckBox::clicked, this, &CBatchSetDlg::onSelectAll);

    m_conflictLabel = new QLabel(this);
    m_conflictLabel->setObjectName(QStringLiteral("conflictLabel"));
    m_conflictLabel->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_conflictLabel->setText(LangText(L"90012", L"Ip address conflict!Please modify IP at first!"));
    m_conflictLabel->hide();
    for (CBatchSubPage* page : subPages()) {
        page->SetSaveEnabled(false);
    }
}

std::vector<CBatchSubPage*> CBatchSetDlg::subPages() const {
    return {m_systemPage, m_networkPage, m_videoPage};
}

void CBatchSetDlg::SetVideoImagePage(CBatchSubPage* page) {
    if (page == nullptr) {
        return;
    }
    const int index = m_pages->indexOf(m_videoPage);
    m_pages->removeTab(index);
    m_videoPage->deleteLater();
    m_videoPage = page;
    m_pages->insertTab(index, page, LangText(L"20030", L"Video/Image"));
    page->SetSaveEnabled(m_saveEnabled);
    page->SetCheckedMode(Devices().checkedMode);
    page->SetLanguageText();
}

void CBatchSetDlg::SetLanguageText() {
    CDeviceListPage::SetLanguageText();
    m_pages->setTabText(0, LangText(L"20018", L"System"));
    m_pages->setTabText(1, LangText(L"20019", L"Network"));
    m_pages->setTabText(2, LangText(L"20030", L"Video/Image"));
    m_selectAll->setText(LangText(L"20010", L"Select All"));
    m_conflictLabel->setText(LangText(L"90012", L"Ip address conflict!Please modify IP at first!"));
    for (CBatchSubPage* page : subPages()) {
        page->SetLanguageText();
    }
}

void CBatchSetDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    layoutControls();
}

void CBatchSetDlg::layoutControls() {
    const int w = width();
    const int h = height();
    m_listCtrl->setGeometry(0, 0, kListWidth, h - 24);
    m_pages->setGeometry(kListWidth, 0, w - kListWidth, h);
    m_selectAll->setGeometry(0, h - 20, 80, 16);
    m_conflictLabel->setGeometry(100, h - 20, 320, 16);
}

void CBatchSetDlg::AppendReboot(int handle) {
    m_worker->QueueReboot(handle);
}

// ---- the operations' view of the page

std::vector<tagQvIpcInfo> CBatchSetDlg::CheckedDevices() const {
    return Devices().CheckedDevices();
}

std::optional<tagQvIpcInfo> CBatchSetDlg::CurrentDevice() const {
    const orv::DeviceRow* row = Devices().Row(Devices().currentRow);
    if (Devices().currentRow < 0 || row == nullptr) {
        return std::nullopt;
    }
    return row->record;
}

void CBatchSetDlg::DefaultUser(char* buffer, int size) const {
    m_app.GetDefaultUser(buffer, size);
}

void CBatchSetDlg::DefaultPassword(char* buffer, int size) const {
    m_app.GetDefaultPassword(buffer, size);
}

void CBatchSetDlg::ShowMessage(const orv::network::Message& message) {
    orv::ui::ShowMessage(this, LangText(message.id, message.defaultText));
}

bool CBatchSetDlg::Ask(const orv::network::Message& question) {
    return orv::ui::AskYesNo(this, LangText(question.id, question.defaultText));
}

void CBatchSetDlg::AddResultLine(const std::string& line) {
    wchar_t wide[260] = {};
    MultiToWide(orv::kCpAnsi, line.c_str(), wide, 260);
    m_app.AddOperatingInfo(QString::fromWCharArray(wide));
}

// ---- selection, clicks and checks

void CBatchSetDlg::setCheckedMode(bool on) {
    Devices().checkedMode = on;
    for (CBatchSubPage* page : subPages()) {
        page->SetCheckedMode(on);
    }
}

void CBatchSetDlg::showConflict(bool conflict) {
    m_conflictLabel->setVisible(conflict);
    m_saveEnabled = !conflict;
    for (CBatchSubPage* page : subPages()) {
        page->SetSaveEnabled(!conflict);
    }
}

bool CBatchSetDlg::rowConflicts(int row) const {
    const orv::DeviceRow* device = Devices().Row(row);
    if (device == nullptr) {
        return false;
    }
    const QString ip = ipOf(device->record);
    const int count = m_listCtrl->GetItemCount();
    for (int other = 0; other < count; ++other) {
        const orv::DeviceRow* candidate = Devices().Row(other);
        if (other != row && candidate != nullptr &&
            ipOf(candidate->record).compare(ip, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

bool CBatchSetDlg::checkedSetConflicts() const {
    const int count = m_listCtrl->GetItemCount();
    for (int row = 0; row < count; ++row) {
        if (m_listCtrl->GetCheck(row) && rowConflicts(row)) {
            return true;
        }
    }
    return false;
}

void CBatchSetDlg::LoadDevice(int row) {
    const orv::DeviceRow* device = Devices().Row(row);
    if (device == nullptr) {
        return;
    }
    orv::batchset::WaitCursor wait;
    Devices().currentRow = row;
    if (rowConflicts(row)) {
        showConflict(true);
        return;
    }
    showConflict(false);
    // The row may go while the sub-pages read (no event runs meanwhile, but
    // the copy keeps the reads independent of the list).
    const tagQvIpcInfo record = device->record;
    char user[32] = {};
    char password[16] = {};
    m_app.GetDefaultUser(user, sizeof user);
    m_app.GetDefaultPassword(password, sizeof password);
    const std::string ip(record.IpAddr, strnlen(record.IpAddr, sizeof record.IpAddr));
    const int handle = m_sdk.Login(ip.c_str(), record.HttpPort, user, password);
    if (handle < 0) {
        m_app.AddOperatingInfo(QString::fromLatin1(kLoginFailedLine));
    }
    for (CBatchSubPage* page : subPages()) {
        page->LoadFromDevice(record, handle);
    }
}

bool CBatchSetDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_listCtrl->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        m_pressInProgress = true;
    }
    return CDeviceListPage::eventFilter(watched, event);
}

void CBatchSetDlg::onRowSelectionChanged(int row, bool selected) {
    if (!selected || row < 0 || Devices().checkedMode) {
        return;
    }
    if (m_pressInProgress && orv::TheProcessState().osVersionCode >= 24) {
        return;
    }
    LoadDevice(row);
}

void CBatchSetDlg::onItemClicked(int row, int column) {
    m_pressInProgress = false;
    if (row < 0 || column == kCheckColumn || orv::TheProcessState().osVersionCode < 24) {
        return;
    }
    ApplyTextClickRule(m_selectAll, row);
}

void CBatchSetDlg::EnterCheckedMode(bool on) {
    setCheckedMode(on);
}

void CBatchSetDlg::PickRow(int row) {
    LoadDevice(row);
}

void CBatchSetDlg::onRowCheckChanged(int, bool checked) {
    ApplyCheckRule(m_selectAll, checked);
    if (!Devices().checkedMode) {
        return;
    }
    const bool conflict = checkedSetConflicts();
    showConflict(conflict);
    if (conflict) {
        return;
    }
    m_videoPage->CheckedSetChanged(Devices().CheckedDevices());
}

void CBatchSetDlg::OnRowDoubleClicked(int row) {
    CDeviceListPage::OnRowDoubleClicked(row);
    if (row >= 0) {
        onRowCheckChanged(row, m_listCtrl->GetCheck(row));
    }
}

void CBatchSetDlg::onSelectAll(bool checked) {
    if (checked) {
        // One pass of the check rule for the whole set rather than one per
        // row: the outcome is the same, and the Video/Image sub-page reads
        // its reference camera once.
        Devices().SetAllChecks(true);
        if (m_listCtrl->GetItemCount() > 0) {
            onRowCheckChanged(0, true);
        } else {
            setCheckedMode(true);
        }
        return;
    }
    Devices().SetAllChecks(false);
    setCheckedMode(false);
    const int count = m_listCtrl->GetItemCount();
    if (count == 0) {
        return;
    }
    const int target = Devices().currentRow == 0 ? count - 1 : 0;
    m_listCtrl->clearSelection();
    m_listCtrl->SelectItem(target, true);
}
