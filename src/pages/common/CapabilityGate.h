#pragma once
// Controls that need a camera capability. A page tags each such control
// once (NeedsCapability); its device-list page then keeps the control
// disabled while the cameras it would act on cannot do it: the current
// camera, or in checked mode every checked one. The control's own enabled
// state, as the page sets it, is kept and comes back with the capability.
// While the capability is missing, the control's tooltip says so (a
// disabled control shows its tooltip), and its own tooltip comes back after.

#include "device/Capabilities.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <vector>

class QWidget;

// Tags `control` (and so everything inside it) with what it needs.
void NeedsCapability(QWidget* control, orv::device::Capability capability);

class CCapabilityGate : public QObject {
    Q_OBJECT
public:
    explicit CCapabilityGate(QWidget* page);

    // Gates every tagged control under the page by `allowed`.
    void Apply(orv::device::Capabilities allowed);
    orv::device::Capabilities Allowed() const { return m_allowed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Control {
        QPointer<QWidget> widget;
        orv::device::Capability capability{};
        bool wanted = true; // as the page last set it
        bool saysMissing = false;
        QString ownTip;
    };
    void collect();
    void setGated(Control& control);

    QWidget* m_page;
    std::vector<Control> m_controls;
    orv::device::Capabilities m_allowed = orv::device::Capabilities::All();
    bool m_applying = false;
};
