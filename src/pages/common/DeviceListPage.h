#pragma once
// A page with a device list: it takes the cameras' answers and IP-change
// results, checks for silent cameras on its 100 ms timer, feeds the person's
// clicks and checks to the selection rules and puts a double-clicked
// camera's web address up for the browser. Pages derived from it say only
// what switching mode, picking a camera and a changed check set mean to them.

#include "PageDlg.h"
#include "devicelist/DeviceListCtrl.h"
#include "devicelist/DeviceSelection.h"
#include "jobs/JobEngine.h"

#include <QBasicTimer>
#include <QElapsedTimer>

#include <initializer_list>

#include <memory>
#include <optional>
#include <vector>

class CCapabilityGate;
class CJobPanel;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace orv {
class IAppServices;
}

class CDeviceListPage : public CPageDlg {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 100;
    static constexpr int kDropEveryTicks = 50;
    // Silent rows leave at most this many per tick: after a flood the rest
    // follow on the next ticks, so no tick holds the window for long.
    static constexpr int kMaxDropsPerTick = 500;

    CDeviceListPage(orv::DeviceListKind kind, orv::IAppServices& app, orv::jobs::CJobEngine& jobs,
                    QWidget* parent = nullptr, orv::CDeviceList::Clock clock = {});
    ~CDeviceListPage() override;

    orv::CDeviceListCtrl* DeviceListCtrl() const { return m_listCtrl; }
    orv::CDeviceList& Devices() { return *m_devices; }
    const orv::CDeviceList& Devices() const { return *m_devices; }
    orv::CDeviceSelection& Selection() { return *m_selection; }
    const orv::CDeviceSelection& Selection() const { return *m_selection; }
    bool IsCheckedMode() const { return m_selection->CheckedMode(); }
    CJobPanel* JobPanel() const { return m_jobPanel; }
    // A device job of this page is running.
    bool JobRunning() const;
    // What the page's work goes to now: the checked cameras in checked
    // mode, else the current camera; none when nothing is picked.
    std::vector<orv::device::DeviceInfo> Targets() const;
    orv::jobs::JobId CurrentJob() const { return m_job; }

    void SetLanguageText() override;

    // Cameras' answers, and a successful IP change.
    virtual void OnDevicesFound(const std::vector<orv::device::DeviceInfo>& devices);
    virtual void OnModifyDone(const orv::device::DeviceInfo& device);
    virtual void OnModifyFailed(const orv::device::DeviceInfo& device, orv::device::Fault fault);

    // One timer message; public so tests can drive the page's time.
    void OnTick();
    // Ticks of this page kind since the start of the process.
    int Ticks() const;

protected:
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // What switching checked mode and picking a camera mean for the page.
    virtual void EnterCheckedMode(bool on);
    virtual void PickDevice(const orv::device::DeviceId& key);
    // After a person changed check marks (one row, Select All, a filter).
    virtual void ChecksChanged() {}
    // Select All clicked; the default checks or clears every row and
    // switches checked mode with it.
    virtual void OnSelectAll(bool checked);
    // The page's own work on a tick, before the silent-camera check.
    virtual void OnPageTick(int tick);
    // A double-click on a camera's row: leaves its check box toggled against
    // its state before the double-click, applies the check rule and hands the
    // camera's web page to the browser.
    virtual void OnDeviceDoubleClicked(const orv::device::DeviceId& key);
    // Asks whether the cameras refused for another key were replaced or
    // reset; Yes forgets their keys, so their next login trusts the new one.
    void TrustAgain(const std::vector<orv::device::DeviceInfo>& cameras);

    // How a job speaks to the Operating Information list: a result line per
    // camera and operation (single-device operations), one summary line per
    // operation when the job ends (checked mode), or not at all.
    enum class Report { Lines, Summary, Quiet };
    // Runs `order` on the engine and follows it in the job panel; the page's
    // own device controls wait for it (JobRunningChanged).
    orv::jobs::JobId RunJob(orv::jobs::JobSpec order, Report report);
    // A job the page follows by itself (reads, live view): no panel, no
    // lines; `done` runs on the window thread after its last camera.
    orv::jobs::JobId RunQuiet(orv::jobs::JobSpec order, std::function<void()> done);
    // While true, the page's controls that start device work are disabled.
    virtual void JobRunningChanged(bool running);
    // A job of this page ended (after its last result).
    virtual void JobFinished(orv::jobs::JobId job);
    // The filter box, the list under it and the job panel's strip under
    // that (once the panel shows), for the page to place in its layout,
    // which then owns it.
    QVBoxLayout* ListColumn() const { return m_listColumn; }
    // The row under a list: Select All, the controls `beside` it, then
    // `message`, which takes the rest of the row and wraps where it is long.
    QHBoxLayout* SelectAllRow(std::initializer_list<QWidget*> beside, QLabel* message);
    // Lays the page out as its list column over `row` and returns the
    // layout under them, indented like a frame, for the page's own controls.
    QVBoxLayout* LayOutUnderList(QHBoxLayout* row);
    // A list beside other controls is at most `widest` pixels wide at the
    // dialog font (wider with a larger one) and at least `narrowest`.
    void LimitListWidth(int narrowest, int widest);

    orv::IAppServices& m_app;
    orv::jobs::CJobEngine& m_jobs;
    orv::CDeviceListCtrl* m_listCtrl = nullptr;
    // Above the list: which cameras it shows.
    QLineEdit* m_filter = nullptr;
    // Only on pages with check boxes.
    QCheckBox* m_selectAll = nullptr;

    // The capabilities the page's tagged controls are gated by, from the
    // cameras they would act on now (see CapabilityGate.h).
    void UpdateCapabilities();

private:
    void onCheckToggled(const orv::device::DeviceId& key, bool checked);
    void onDeviceSelected(const orv::device::DeviceId& key);
    void onDeviceClicked(const orv::device::DeviceId& key, int column);
    bool textClickRuleApplies() const;
    void onJobResult(const orv::jobs::OperationResult& result);
    void onJobFinished(orv::jobs::JobId job);
    void writeLine(const orv::jobs::OperationResult& result);

    CJobPanel* m_jobPanel = nullptr;
    QVBoxLayout* m_listColumn = nullptr;
    // The last tick's drop met its bound: more silent rows may wait.
    bool m_dropsPending = false;
    CCapabilityGate* m_gate = nullptr;
    // The page's last job, as run, for its report and a retry.
    orv::jobs::JobId m_job = 0;
    orv::jobs::JobSpec m_jobSpec;
    // The site's cameras that were offline as a checked job started: left
    // out, and said so when it ends.
    std::vector<orv::DeviceRow> m_leftOut;
    Report m_jobReport = Report::Quiet;
    std::unique_ptr<orv::CDeviceList> m_devices;
    std::unique_ptr<orv::CDeviceSelection> m_selection;
    QBasicTimer m_timer;
    // The check state a camera had before the person's last click toggled
    // it: the first click of a double-click has toggled the row already.
    std::optional<orv::device::DeviceId> m_lastToggled;
    bool m_checkBeforeToggle = false;
    QElapsedTimer m_sinceToggle;
    // From a left press on the list until its click is handled, a selection
    // that the press makes waits for the click rule, so a click picks a
    // camera once.
    bool m_pressInProgress = false;
    std::optional<orv::device::DeviceId> m_selectedDuringPress;
};
