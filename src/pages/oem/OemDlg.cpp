#include "OemDlg.h"

COemDlg::COemDlg(QWidget* parent) : CPageDlg(parent) {
    setObjectName(QStringLiteral("oemPage"));
}
