#include "FieldLimit.h"

#include "text/FieldText.h"
#include "ui/LangText.h"

#include <QLineEdit>
#include <QValidator>

namespace orv {
namespace {

class RecordFieldValidator : public QValidator {
public:
    RecordFieldValidator(int codePage, std::size_t fieldSize, QObject* parent)
        : QValidator(parent), m_codePage(codePage), m_fieldSize(fieldSize) {}

    State validate(QString& text, int&) const override {
        return FitsRecordField(text.toStdWString(), m_codePage, m_fieldSize) ? Acceptable : Invalid;
    }

private:
    const int m_codePage;
    const std::size_t m_fieldSize;
};

class TakenTextValidator : public QValidator {
public:
    TakenTextValidator(const device::CDriverSet& drivers, device::TextField field,
                       TargetsOf targets, QObject* parent)
        : QValidator(parent), m_drivers(drivers), m_field(field), m_targets(std::move(targets)) {}

    State validate(QString& text, int&) const override {
        const bool taken = m_targets ? m_drivers.TakesFor(m_targets(), m_field, text)
                                     : m_drivers.Takes(m_field, text);
        return taken ? Acceptable : Invalid;
    }

private:
    const device::CDriverSet& m_drivers;
    const device::TextField m_field;
    const TargetsOf m_targets;
};

} // namespace

void LimitToTaken(QLineEdit* edit, const device::CDriverSet& drivers, device::TextField field,
                  TargetsOf targets) {
    edit->setValidator(new TakenTextValidator(drivers, field, std::move(targets), edit));
}

void LimitToRecordField(QLineEdit* edit, int codePage, std::size_t fieldSize) {
    edit->setValidator(new RecordFieldValidator(codePage, fieldSize, edit));
}

QString MessageText(const Message& message, const std::optional<Message>& field) {
    QString text = ui::LangText(message.id, message.defaultText);
    if (field) {
        text = text.arg(FieldName(ui::LangText(field->id, field->defaultText)));
    }
    return text;
}

QString FieldName(const QString& label) {
    QString name = label.trimmed();
    while (name.endsWith(u':') || name.endsWith(QChar(0xFF1A))) {
        name.chop(1);
    }
    return name.trimmed();
}

QString ChangeQuestion(const QStringList& what, int cameras) {
    return ui::LangText(L"95051", L"%1 will change on %2 cameras. Go on?")
        .arg(what.join(QStringLiteral(", ")))
        .arg(cameras);
}

} // namespace orv
