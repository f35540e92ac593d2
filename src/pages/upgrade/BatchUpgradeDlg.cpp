#include "BatchUpgradeDlg.h"

CBatchUpgradeDlg::CBatchUpgradeDlg(QWidget* parent) : CPageDlg(parent) {
    setObjectName(QStringLiteral("batchUpgradePage"));
}
