#pragma once

#include "pages/PageDlg.h"

class COemDlg : public CPageDlg {
    Q_OBJECT
public:
    explicit COemDlg(QWidget* parent = nullptr);
};
