#pragma once
// The device list family: what every page does with the cameras' answers.
// A row is added by a camera's first answer, refreshed by every later one
// and by a successful IP change, and dropped once the camera has been silent
// for 30 seconds: every such row at each check, so the junk rows of a flood
// of invented cameras leave together. The list keeps its cameras in a
// model (one row per camera, by key), orders them through a sort proxy and
// shows those the page's filter lets through; callers name cameras by key
// and rows only by their place on screen.

#include "DeviceFilterProxy.h"
#include "DeviceSortProxy.h"
#include "DeviceTableModel.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <vector>

namespace orv {

class CDeviceList : public QObject {
    Q_OBJECT
public:
    static constexpr std::int32_t kSilenceSeconds = 30;

    using Clock = std::function<std::int32_t()>; // seconds since 1970

    explicit CDeviceList(DeviceListKind kind, Clock clock = {}, QObject* parent = nullptr);

    const DeviceListProfile& Profile() const { return m_model.Profile(); }
    CDeviceTableModel& Model() { return m_model; }
    // Every row in the list's order.
    CDeviceSortProxy& Proxy() { return m_proxy; }
    const CDeviceSortProxy& Proxy() const { return m_proxy; }
    // What views show: the rows the filter lets through, in the list's
    // order.
    CDeviceFilterProxy& View() { return m_view; }
    const CDeviceFilterProxy& View() const { return m_view; }
    void SetFilter(const QString& text) { m_view.SetFilter(text); }
    // Rows on screen: every camera without a filter.
    int ShownCount() const { return m_view.rowCount(); }

    // Answers of one or more cameras: known ones are refreshed and stamped,
    // new ones take the place the list's order gives them (the IP order on
    // some pages, the current column's text order on others); answers
    // through two protocols make one row. Returns the number of new rows.
    int AddOrRefreshDevices(std::span<const device::DeviceInfo> devices);
    int AddOrRefreshDevice(const device::DeviceInfo& device) {
        return AddOrRefreshDevices({&device, 1});
    }
    // A successful IP change: the row shows the new name, address, port,
    // netmask, gateway and DNS, and keeps its place, its other fields and
    // its time of last answer. 1 when the camera is listed, else 0.
    int RefreshDevice(const device::DeviceInfo& changed);
    // Removes the rows whose camera has been silent for 30 s or more, at
    // most `limit` of them, with a log line each in the list's order
    // (numbered as if they went one by one). The number of rows removed;
    // while the list keeps silent cameras, they are marked offline instead.
    int DropStaleDevices(int limit = std::numeric_limits<int>::max());
    // With a site open, a silent camera stays listed as offline instead of
    // leaving: the site remembers it. Without one, silent cameras leave.
    void SetKeepsSilent(bool keep) { m_keepsSilent = keep; }
    bool KeepsSilent() const { return m_keepsSilent; }
    // The open site's cameras that are not listed, as offline rows.
    int AddOffline(std::span<const DeviceRow> rows);
    // The offline rows leave (the site was closed or another opened).
    int RemoveOffline();
    // A click on a column header: check-box and number columns do not sort;
    // a new column sorts ascending, the current one reverses.
    void SortByHeader(int column);

    // Every camera listed, shown or not.
    int Count() const { return m_model.rowCount(); }
    const DeviceRow* Find(const device::DeviceId& key) const;
    // The camera shown on a row, or nothing for a row that does not exist.
    std::optional<device::DeviceId> KeyAt(int row) const;
    // Where a camera is shown; -1 when it is not listed or filtered out.
    int RowOf(const device::DeviceId& key) const;
    // Every camera's key in the list's order, shown or not.
    std::vector<device::DeviceId> Keys() const;

    bool IsChecked(const device::DeviceId& key) const;
    void SetChecked(const device::DeviceId& key, bool checked);
    bool AnyChecked() const;
    // Select All: true ticks every live camera the filter shows and leaves
    // the others as they are; false clears every tick, shown or not.
    void SetAllChecks(bool checked);
    // Cameras that answer, in the list's order: every one, or the checked
    // ones; an offline camera is nobody's target.
    std::vector<device::DeviceInfo> Devices() const;
    std::vector<device::DeviceInfo> CheckedDevices() const;
    // The answering cameras the filter lets through, in the list's order.
    std::vector<device::DeviceInfo> ShownDevices() const;
    // The offline cameras, in the list's order.
    std::vector<DeviceRow> OfflineDevices() const;
    // What at least one checked camera can do; nothing with none checked.
    std::optional<device::Capabilities> CheckedCapabilities() const;

signals:
    void deviceDropped(const orv::device::DeviceId& key);
    // A camera listed by one identity is now known by a better one (an
    // ONVIF camera that told its MAC): its row is the row of `now`.
    void deviceRekeyed(const orv::device::DeviceId& former, const orv::device::DeviceId& now);
    // After every sort, whatever started it.
    void sorted(int column, bool ascending);
    // The first answer of a camera beyond the list's ceiling.
    void full(int ceiling);

private:
    int addOrRefresh(std::span<const device::DeviceInfo> devices);
    int sourceRow(int row) const;
    void sort(const CDeviceSortProxy::Order& order);

    CDeviceTableModel m_model;
    CDeviceSortProxy m_proxy;
    CDeviceFilterProxy m_view;
    Clock m_clock;
    // A refresh changed a cell the list is sorted by: the rows may be out
    // of order until the next full sort.
    bool m_orderStale = false;
    bool m_fullReported = false;
    bool m_keepsSilent = false;
};

} // namespace orv
