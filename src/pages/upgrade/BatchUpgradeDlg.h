#pragma once

#include "pages/PageDlg.h"

class CBatchUpgradeDlg : public CPageDlg {
    Q_OBJECT
public:
    explicit CBatchUpgradeDlg(QWidget* parent = nullptr);
};
