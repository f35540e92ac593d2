#pragma once

#include "pages/PageDlg.h"

class CSearchDlg : public CPageDlg {
    Q_OBJECT
public:
    explicit CSearchDlg(QWidget* parent = nullptr);
};
