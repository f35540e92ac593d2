#pragma once
// A row of items that goes on in a further row where the width runs out,
// each row as tall as its tallest item and its items centred on the row's
// line: a row of labelled fields under a list keeps every text whole in a
// narrow window, a long language or a large font, and the list above gives
// up the height the second row takes.

#include <QLayout>
#include <QList>

namespace orv::ui {

class CFlowLayout : public QLayout {
public:
    explicit CFlowLayout(QWidget* parent = nullptr, int hSpacing = 8, int vSpacing = 4);
    ~CFlowLayout() override;
    CFlowLayout(const CFlowLayout&) = delete;
    CFlowLayout& operator=(const CFlowLayout&) = delete;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize minimumSize() const override;
    QSize sizeHint() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Places the items in `rect` (when `apply`); the height they take.
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    int m_hSpacing;
    int m_vSpacing;
};

} // namespace orv::ui
