#pragma once
// Fixture base for the whole program against the camera simulator: a lab
// network of one tool adapter, skipped without root, the simulator's log on
// failure, and the Operating Information lines of a main window.

#include "GuiTestBase.h"
#include "LabNetwork.h"

#include "app/MainDlg.h"

#include <QListWidget>

#include <cstdio>
#include <unistd.h>

// Time limits of the lab tests are stretched by this in instrumented
// builds, which run several times slower.
#if defined(ORVANTIX_SANITIZED_BUILD)
inline constexpr int kSlowdown = 6;
#else
inline constexpr int kSlowdown = 1;
#endif

class GuiLabTestBase : public GuiTestBase {
protected:
    void SetUp() override {
        GuiTestBase::SetUp();
        if (::geteuid() != 0) {
            GTEST_SKIP() << "the lab needs root for namespaces and raw capture";
        }
        ASSERT_EQ(lab.create(1), "");
    }
    void TearDown() override {
        if (HasFailure() && lab.simulatorPid() > 0) {
            std::fprintf(stderr, "simulator log:\n%s\n", lab.simulatorLog().c_str());
        }
        GuiTestBase::TearDown();
    }

    static QStringList infoLines(CMainDlg& dlg) {
        QStringList lines;
        auto* list = dlg.findChild<QListWidget*>(QStringLiteral("operatingInfoList"));
        for (int i = 0; i < list->count(); ++i) {
            lines << list->item(i)->text();
        }
        return lines;
    }

    LabNetwork lab;
};
