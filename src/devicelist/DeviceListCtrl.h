#pragma once
// The device list of a page: the sortable list with the columns of its page
// kind, the IP column sorted by its four numbers and a row-number column
// that does not sort. After every sort it asks its page to renumber.

#include "DeviceListProfile.h"
#include "ui/controls/SortListCtrl.h"

namespace orv {

class CDeviceListCtrl : public ui::CSortListCtrl {
    Q_OBJECT
public:
    // `page` receives the renumber event after each sort.
    CDeviceListCtrl(DeviceListKind kind, QObject* page, QWidget* parent = nullptr);

    const DeviceListProfile& Profile() const { return m_profile; }
    int IpColumn() const { return m_profile.ipColumn; }
    int NumberColumn() const { return m_profile.numberColumn; }

    // Column headers in the current language.
    void SetHeaderTexts();
    // Sorts by the IP column ascending, by number.
    void SortByIp();

protected:
    int CompareColumn(int column, const QString& left, const QString& right) const override;
    void OnHeaderClick(int column) override;

private:
    const DeviceListProfile& m_profile;
    QObject* m_page;
};

} // namespace orv
