#include "CapabilityGate.h"

#include <QEvent>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace {

constexpr const char* kProperty = "orvantixCapability";
// The words a job's result uses for the same camera.
constexpr const char* kMissingTip = "Not supported by this camera";

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
            Control control;
            control.widget = widget;
            control.capability = static_cast<orv::device::Capability>(tag.toInt());
            control.wanted = !widget->testAttribute(Qt::WA_ForceDisabled);
            m_controls.push_back(std::move(control));
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
    const bool missing = !m_allowed.Has(control.capability);
    if (missing != control.saysMissing) {
        if (missing) {
            control.ownTip = control.widget->toolTip();
        }
        control.widget->setToolTip(missing ? QString::fromLatin1(kMissingTip) : control.ownTip);
        control.saysMissing = missing;
    }
    const bool enabled = control.wanted && !missing;
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
