#include "TextInput.h"

#include <QInputDialog>

namespace orv::ui {
namespace {

using Answer = std::function<std::optional<QString>(const QString&, const QString&)>;

Answer& answerSlot() {
    static Answer answer;
    return answer;
}

} // namespace

std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& label,
                               const QString& text, Echo echo) {
    if (const Answer& answer = answerSlot()) {
        return answer(label, text);
    }
    bool ok = false;
    const QString typed = QInputDialog::getText(
        parent, title, label, echo == Echo::Hidden ? QLineEdit::Password : QLineEdit::Normal, text,
        &ok);
    return ok ? std::optional(typed) : std::nullopt;
}

void SetTextInputAnswer(Answer answer) {
    answerSlot() = std::move(answer);
}

} // namespace orv::ui
