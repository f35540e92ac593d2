#pragma once

#include "pages/PageDlg.h"

class CVideoViewDlg : public CPageDlg {
    Q_OBJECT
public:
    explicit CVideoViewDlg(QWidget* parent = nullptr);
};
