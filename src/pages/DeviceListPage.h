#pragma once
// A page with a device list: it takes the cameras' answers and IP-change
// results, renumbers after sorts, checks for silent cameras on its 100 ms
// timer, and puts a double-clicked camera's web address up for the browser.

#include "PageDlg.h"
#include "devicelist/DeviceList.h"

#include <QBasicTimer>
#include <QCheckBox>
#include <QElapsedTimer>

#include <memory>

class CDeviceListPage : public CPageDlg {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 100;
    static constexpr int kDropEveryTicks = 50;

    CDeviceListPage(orv::DeviceListKind kind, QWidget* parent = nullptr,
                    orv::CDeviceList::Clock clock = {});
    ~CDeviceListPage() override;

    orv::CDeviceListCtrl* DeviceListCtrl() const { return m_listCtrl; }
    orv::CDeviceList& Devices() { return *m_devices; }
    const orv::CDeviceList& Devices() const { return *m_devices; }

    void SetLanguageText() override;

    // One timer message; public so tests can drive the page's time.
    void OnTick();
    // Ticks of this page kind since the start of the process.
    int Ticks() const;

protected:
    bool event(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

    // The check-box rules shared by the pages with check boxes.
    // A click on a row's texts clears that row's check; once no row stays
    // checked, Select All is cleared, checked mode ends and the page works
    // on the clicked row. True when the row was picked.
    bool ApplyTextClickRule(QCheckBox* selectAll, int row);
    // A user's check switches checked mode on; clearing the last one
    // switches it off and clears Select All.
    void ApplyCheckRule(QCheckBox* selectAll, bool checked);
    // What switching checked mode and picking a row mean for the page.
    virtual void EnterCheckedMode(bool on);
    virtual void PickRow(int row);

    // The page's own work on a tick, before the silent-camera check.
    virtual void OnPageTick(int tick);
    virtual void OnDeviceFound(const tagQvIpcInfo& record);
    virtual void OnModifyDone(const tagQvIpcInfo& record);
    // A double-click on a row: leaves its check box toggled against its
    // state before the double-click, and hands the camera's web page to the
    // browser.
    virtual void OnRowDoubleClicked(int row);

    orv::CDeviceListCtrl* m_listCtrl;

private:
    std::unique_ptr<orv::CDeviceList> m_devices;
    QBasicTimer m_timer;
    // The check state a row had before the user's last click toggled it:
    // the first click of a double-click has toggled the row already.
    int m_lastToggledRow = -1;
    bool m_checkBeforeToggle = false;
    QElapsedTimer m_sinceToggle;
};
