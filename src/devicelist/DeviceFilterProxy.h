#pragma once
// Which of a list's cameras its view shows: those whose name, MAC, IP
// address, model or firmware version contain every word of the page's
// filter, in any case. With a thousand cameras on a site this is how an
// installer finds the ones in front of them. Only the view is filtered:
// the list's order, its checks, its checked jobs and its drops go on over
// every camera, shown or not. The row-number column counts the rows shown.

#include "DeviceSortProxy.h"

#include <QSortFilterProxyModel>
#include <QStringList>

namespace orv {

class CDeviceFilterProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    CDeviceFilterProxy(CDeviceSortProxy& sorted, CDeviceTableModel& model,
                       QObject* parent = nullptr);

    // Words split at white space; an empty text shows every camera.
    void SetFilter(const QString& text);
    bool Filtering() const { return !m_words.isEmpty(); }
    // Whether `device` matches the filter.
    bool Shows(const device::DeviceInfo& device) const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    CDeviceSortProxy& m_sorted;
    CDeviceTableModel& m_model;
    QStringList m_words;
};

} // namespace orv
