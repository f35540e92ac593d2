#pragma once
// Base of the pages in the main window's page container.

#include <QWidget>

class CPageDlg : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Looks up and applies the page's texts in the current language.
    virtual void SetLanguageText() {}
    // The main window's Default User name or password was edited.
    virtual void DefaultCredentialsChanged() {}
};
