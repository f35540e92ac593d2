#include "CapabilityGate.h"

#include <QEvent>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace {

constexpr const char* kProperty = "orvantixCapability";

} // namespace

void NeedsCapability(QWidget* control, orv::device::Capability capability) {
    control->setProperty(kProperty, static_cast<int>(capability));
}

CCapabilityGate::CCapabilityGate(QWidget* page) : QObject(page), m_page(page) {}

void CCapabilityGate::collect() {
    // Pages make their controls once; tags found later join.
    for (QWidget* widget : m_page->findChildren<QWidget*>()) {
        const QVariant tag = widget->property(kProperty);
        if (!tag.isValid()) {
            continue;
        }
        const bool known = std::any_of(m_controls.begin(), m_controls.end(),
                                       [&](const Control& c) { return c.widget == widget; });
        if (!known) {
            m_controls.push_back({widget, static_cast<orv::device::Capability>(tag.toInt()),
                                  !widget->testAttribute(Qt::WA_ForceDisabled)});
            widget->installEventFilter(this);
        }
    }
}

void CCapabilityGate::Apply(orv::device::Capabilities allowed) {
    m_allowed = allowed;
    collect();
    for (Control& control : m_controls) {
        setGated(control);
    }
}

void CCapabilityGate::setGated(Control& control) {
    if (!control.widget) {
        return;
    }
    const bool enabled = control.wanted && m_allowed.Has(control.capability);
    if (control.widget->testAttribute(Qt::WA_ForceDisabled) == enabled) {
        m_applying = true;
        control.widget->setEnabled(enabled);
        m_applying = false;
    }
}

bool CCapabilityGate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !m_applying) {
        for (Control& control : m_controls) {
            if (control.widget == watched) {
                // The page switched the control itself: that is its wish,
                // which the capability may still overrule.
                control.wanted = !control.widget->testAttribute(Qt::WA_ForceDisabled);
                setGated(control);
                break;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}
