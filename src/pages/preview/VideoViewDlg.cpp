#include "VideoViewDlg.h"

CVideoViewDlg::CVideoViewDlg(QWidget* parent) : CPageDlg(parent) {
    setObjectName(QStringLiteral("videoPreviewsPage"));
}
