#pragma once
// The pieces the pages are laid out with: named controls, forms whose labels
// end where their fields begin, and centred rows of buttons.

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <initializer_list>

namespace orv::ui {

// `widget`, named for tests and style sheets.
template <class Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Rows of a label and its field: the labels end at the middle of the form,
// right-aligned, and the fields begin just after it at their own widths.
QGridLayout* NewCentredForm();
// A row of the form; without a label the field (a check box) stands alone
// in the field column. A field that fills takes the column's width.
enum class Field { OwnWidth, Fills };
void AddFormRow(QGridLayout* form, QWidget* label, QWidget* field, Field width = Field::OwnWidth);
// A closed list at least as wide as its current entry and otherwise as
// narrow as the layout needs: a list of long entries (time zones) would
// widen the window to its longest.
void FitToCurrentEntry(QComboBox* list);

// A label just before its field, as one item of a row.
QHBoxLayout* LabelledField(QLabel* label, QWidget* field);

// The widgets side by side in the middle of a row.
QHBoxLayout* CentredRow(std::initializer_list<QWidget*> widgets, int spacing = 20);

} // namespace orv::ui
