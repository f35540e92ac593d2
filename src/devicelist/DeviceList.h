#pragma once
// The device list family: what every page does with the cameras' answers.
// A row is added by a camera's first answer, refreshed by every later one and
// by a successful IP change, and dropped once the camera has been silent for
// 30 seconds, at most one row per check. Rows are keyed by all 8 MAC bytes.

#include "DeviceListCtrl.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

namespace orv {

class CDeviceList {
public:
    static constexpr std::int32_t kSilenceSeconds = 30;

    using Clock = std::function<std::int32_t()>; // seconds since 1970

    CDeviceList(CDeviceListCtrl& list, Clock clock = {});
    ~CDeviceList();
    CDeviceList(const CDeviceList&) = delete;
    CDeviceList& operator=(const CDeviceList&) = delete;

    // Index of a new row, or -1 when the camera was listed (and refreshed).
    int AddOrRefreshDevice(const tagQvIpcInfo& record);
    // 1 when the camera's row was refreshed, 0 when it is not listed.
    int RefreshDevice(const tagQvIpcInfo& record);
    // 1 when the first row silent for 30 s or more was removed, else 0.
    int DropStaleDevice();
    // Writes 1..n into the number column from row `from` on (rows above it
    // are known to be numbered); returns the number of rows.
    int RenumberRows(int from = 0);

    int FindByKey(const tagQvIpcInfo& record) const;
    bool AnyRowChecked() const;
    void SetAllChecks(bool checked);
    const DeviceRow* Row(int row) const;
    // The records of the checked rows in display order.
    std::vector<tagQvIpcInfo> CheckedDevices() const;

    CDeviceListCtrl& List() { return m_list; }
    int currentRow = -1;
    bool checkedMode = false;
    int busy = 0;

private:
    DeviceRow* rowData(int row) const;
    void writeCells(int row, const tagQvIpcInfo& record, bool withMac);
    int firstSelectedRow() const;

    CDeviceListCtrl& m_list;
    Clock m_clock;
    // The order the rows are known to be in, so that a new row finds its
    // place by binary search without checking the whole list first. Any
    // sort and any change of a sort cell forgets it.
    struct KnownOrder {
        bool valid = false;
        int column = -1;
        bool ascending = true;
        bool byRule = false;
    } m_order;
    std::unordered_map<DeviceRow*, std::unique_ptr<DeviceRow>> m_copies;
};

} // namespace orv
