#include "SearchDlg.h"

CSearchDlg::CSearchDlg(QWidget* parent) : CPageDlg(parent) {
    setObjectName(QStringLiteral("networkSettingsPage"));
}
