#include "DeviceListPage.h"

#include "app/ProcessState.h"
#include "discovery/PageEvents.h"

#include <QApplication>
#include <QTimerEvent>

#include <array>
#include <cstdio>

namespace {

// One counter per page kind for the whole process.
int& tickCounter(orv::DeviceListKind kind) {
    static std::array<int, 5> counters{};
    return counters[static_cast<size_t>(kind)];
}

} // namespace

CDeviceListPage::CDeviceListPage(orv::DeviceListKind kind, QWidget* parent,
                                 orv::CDeviceList::Clock clock)
    : CPageDlg(parent), m_listCtrl(new orv::CDeviceListCtrl(kind, this, this)),
      m_devices(std::make_unique<orv::CDeviceList>(*m_listCtrl, std::move(clock))) {
    m_listCtrl->setObjectName(QStringLiteral("deviceList"));
    connect(m_listCtrl, &orv::ui::CSortListCtrl::itemDoubleClicked, this,
            [this](int row, int) { OnRowDoubleClicked(row); });
    connect(m_listCtrl, &orv::ui::CSortListCtrl::checkChanged, this,
            [this](int row, bool checked, bool byUser) {
                if (byUser) {
                    m_lastToggledRow = row;
                    m_checkBeforeToggle = !checked;
                    m_sinceToggle.start();
                }
            });
    m_timer.start(kTimerMs, this);
}

CDeviceListPage::~CDeviceListPage() {
    m_timer.stop();
    // The page that derives from this one is gone already: emptying the list
    // must not reach its slots through the list's selection signals.
    QObject::disconnect(m_listCtrl, nullptr, this, nullptr);
    m_devices.reset();
}

void CDeviceListPage::SetLanguageText() {
    m_listCtrl->SetHeaderTexts();
}

int CDeviceListPage::Ticks() const {
    return tickCounter(m_listCtrl->Profile().kind);
}

bool CDeviceListPage::event(QEvent* event) {
    // The copies inside the events are freed with the events, whatever the
    // page does with them.
    if (event->type() == orv::kDeviceFoundEvent) {
        if (m_devices->busy == 0) {
            OnDeviceFound(static_cast<orv::CDeviceEvent*>(event)->Record());
        }
        return true;
    }
    if (event->type() == orv::kModifyDoneEvent) {
        OnModifyDone(static_cast<orv::CDeviceEvent*>(event)->Record());
        return true;
    }
    if (event->type() == orv::kRenumberListEvent) {
        m_devices->RenumberRows();
        return true;
    }
    return CPageDlg::event(event);
}

void CDeviceListPage::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        OnTick();
        return;
    }
    CPageDlg::timerEvent(event);
}

void CDeviceListPage::OnTick() {
    const int tick = ++tickCounter(m_listCtrl->Profile().kind);
    OnPageTick(tick);
    if (tick % kDropEveryTicks == 0) {
        m_devices->DropStaleDevice();
    }
}

bool CDeviceListPage::ApplyTextClickRule(QCheckBox* selectAll, int row) {
    m_listCtrl->SetCheck(row, false);
    if (m_devices->AnyRowChecked()) {
        return false;
    }
    selectAll->setChecked(false);
    EnterCheckedMode(false);
    PickRow(row);
    return true;
}

void CDeviceListPage::ApplyCheckRule(QCheckBox* selectAll, bool checked) {
    if (checked) {
        EnterCheckedMode(true);
    } else if (!m_devices->AnyRowChecked()) {
        selectAll->setChecked(false);
        EnterCheckedMode(false);
    }
}

void CDeviceListPage::EnterCheckedMode(bool on) {
    m_devices->checkedMode = on;
}

void CDeviceListPage::PickRow(int row) {
    m_devices->currentRow = row;
}

void CDeviceListPage::OnPageTick(int) {}

void CDeviceListPage::OnDeviceFound(const tagQvIpcInfo& record) {
    m_devices->AddOrRefreshDevice(record);
}

void CDeviceListPage::OnModifyDone(const tagQvIpcInfo& record) {
    m_devices->RefreshDevice(record);
}

void CDeviceListPage::OnRowDoubleClicked(int row) {
    if (!m_listCtrl->HasCheckBoxes() || row < 0) {
        return;
    }
    const bool pairedClick = row == m_lastToggledRow && m_sinceToggle.isValid() &&
                             m_sinceToggle.elapsed() <= QApplication::doubleClickInterval();
    const bool before = pairedClick ? m_checkBeforeToggle : m_listCtrl->GetCheck(row);
    m_listCtrl->SetCheck(row, !before);
    m_lastToggledRow = -1;
    if (const orv::DeviceRow* device = m_devices->Row(row)) {
        char url[orv::PendingUrlSlot::kSize] = {};
        std::snprintf(url, sizeof url, "http://%.31s", device->record.IpAddr);
        orv::TheProcessState().pendingUrl.Set(url);
    }
}
