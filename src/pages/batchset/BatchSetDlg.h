#pragma once

#include "pages/PageDlg.h"

class CBatchSetDlg : public CPageDlg {
    Q_OBJECT
public:
    explicit CBatchSetDlg(QWidget* parent = nullptr);
};
