#include "FormLayout.h"

#include <QLabel>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace orv::ui {

QGridLayout* NewCentredForm() {
    auto* form = new QGridLayout;
    form->setHorizontalSpacing(6);
    form->setVerticalSpacing(8);
    // Equal halves: the line between labels and fields is the middle.
    form->setColumnStretch(0, 1);
    form->setColumnStretch(1, 1);
    return form;
}

void AddFormRow(QGridLayout* form, QWidget* label, QWidget* field, Field width) {
    const int row = form->count() == 0 ? 0 : form->rowCount();
    if (label != nullptr) {
        if (auto* text = qobject_cast<QLabel*>(label)) {
            text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            text->setBuddy(field);
        }
        form->addWidget(label, row, 0);
    }
    if (width == Field::Fills) {
        form->addWidget(field, row, 1);
    } else {
        form->addWidget(field, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
    }
}

void FitToCurrentEntry(QComboBox* list) {
    list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    list->setMinimumContentsLength(1);
    const auto fit = [list] {
        QStyleOptionComboBox option;
        option.initFrom(list);
        const QSize text(list->fontMetrics().horizontalAdvance(list->currentText()),
                         list->fontMetrics().height());
        list->setMinimumWidth(
            list->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, list).width());
    };
    QObject::connect(list, &QComboBox::currentTextChanged, list, fit);
    fit();
}

QHBoxLayout* LabelledField(QLabel* label, QWidget* field) {
    auto* pair = new QHBoxLayout;
    pair->setSpacing(4);
    pair->addWidget(label);
    pair->addWidget(field);
    label->setBuddy(field);
    return pair;
}

QHBoxLayout* CentredRow(std::initializer_list<QWidget*> widgets, int spacing) {
    auto* row = new QHBoxLayout;
    row->setSpacing(spacing);
    row->addStretch(1);
    for (QWidget* widget : widgets) {
        row->addWidget(widget);
    }
    row->addStretch(1);
    return row;
}

} // namespace orv::ui
