#pragma once
// An address plan set against the cameras in the list, before anything is
// sent: one row per plan line with the camera it names, the settings it is
// to get and whether it is matched, missing or conflicting (and why). Apply
// sends the matched rows that change something; nothing else leaves.

#include "operations/network/AddressPlan.h"

#include <QDialog>

#include <functional>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

class CAddressPlanDlg : public QDialog {
    Q_OBJECT
public:
    CAddressPlanDlg(const std::vector<orv::plan::PlanEntry>& entries, QWidget* parent);

    // Shows the plan and returns true when the person chose Apply. While a
    // review answer is set, that answers instead, with the dialog built.
    static bool Review(QWidget* parent, const std::vector<orv::plan::PlanEntry>& entries);
    static void SetReviewAnswer(std::function<bool(CAddressPlanDlg&)> answer);

    QTableWidget* Table() const { return m_table; }
    QLabel* Summary() const { return m_summary; }
    QPushButton* ApplyButton() const { return m_apply; }

    // The requests Apply sends: matched rows that change their camera.
    static std::vector<orv::network::ModifyRequest>
    Requests(const std::vector<orv::plan::PlanEntry>& entries);

private:
    QTableWidget* m_table = nullptr;
    QLabel* m_summary = nullptr;
    QPushButton* m_apply = nullptr;
};
