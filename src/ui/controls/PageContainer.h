#pragma once
// The page container: a tab widget whose tabs are never narrower than a set
// minimum, so short translated titles still give a comfortable target.

#include <QTabBar>
#include <QTabWidget>

namespace orv::ui {

class CPageTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit CPageTabBar(QWidget* parent = nullptr) : QTabBar(parent) {}
    void SetMinTabWidth(int width);

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override;

private:
    int m_minWidth = 0;
};

class CPageContainer : public QTabWidget {
    Q_OBJECT
public:
    explicit CPageContainer(QWidget* parent = nullptr);
    void SetMinTabWidth(int width);

private:
    CPageTabBar* m_tabBar;
};

} // namespace orv::ui
