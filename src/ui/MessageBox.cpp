#include "MessageBox.h"

#include <QMessageBox>

namespace orv::ui {
namespace {

std::function<bool(MessageKind, const QString&)>& answerSlot() {
    static std::function<bool(MessageKind, const QString&)> answer;
    return answer;
}

const QString kTitle = QStringLiteral("Orvantix");

} // namespace

void ShowMessage(QWidget* parent, const QString& text) {
    if (const auto& answer = answerSlot()) {
        answer(MessageKind::Information, text);
        return;
    }
    QMessageBox::information(parent, kTitle, text, QMessageBox::Ok);
}

bool AskYesNo(QWidget* parent, const QString& text) {
    if (const auto& answer = answerSlot()) {
        return answer(MessageKind::Question, text);
    }
    return QMessageBox::question(parent, kTitle, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void SetMessageBoxAnswer(std::function<bool(MessageKind, const QString&)> answer) {
    answerSlot() = std::move(answer);
}

} // namespace orv::ui
