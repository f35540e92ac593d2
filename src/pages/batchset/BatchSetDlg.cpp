#include "BatchSetDlg.h"

CBatchSetDlg::CBatchSetDlg(QWidget* parent) : CPageDlg(parent) {
    setObjectName(QStringLiteral("batchSetPage"));
}
