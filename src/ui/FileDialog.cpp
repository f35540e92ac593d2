#include "FileDialog.h"

#include <QFileDialog>

namespace orv::ui {
namespace {

std::function<QStringList(const QString&, bool)>& answerSlot() {
    static std::function<QStringList(const QString&, bool)> answer;
    return answer;
}

} // namespace

QString GetOpenFileName(QWidget* parent, const QString& filter) {
    if (const auto& answer = answerSlot()) {
        const QStringList chosen = answer(filter, false);
        return chosen.isEmpty() ? QString() : chosen.front();
    }
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QStringList GetOpenFileNames(QWidget* parent, const QString& filter) {
    if (const auto& answer = answerSlot()) {
        return answer(filter, true);
    }
    return QFileDialog::getOpenFileNames(parent, QString(), QString(), filter);
}

QString GetSaveFileName(QWidget* parent, const QString& filter, const QString& suggested) {
    if (const auto& answer = answerSlot()) {
        const QStringList chosen = answer(filter, false);
        return chosen.isEmpty() ? QString() : chosen.front();
    }
    return QFileDialog::getSaveFileName(parent, QString(), suggested, filter);
}

void SetFileDialogAnswer(std::function<QStringList(const QString& filter, bool multiple)> answer) {
    answerSlot() = std::move(answer);
}

} // namespace orv::ui
