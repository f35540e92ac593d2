#pragma once
// Asks a person for one line of text. Tests replace the person with an
// answer function.

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace orv::ui {

enum class Echo { Shown, Hidden };

// The text typed, or nothing when the person cancelled. `Echo::Hidden`
// shows dots for a passphrase.
std::optional<QString> AskText(QWidget* parent, const QString& title, const QString& label,
                               const QString& text = {}, Echo echo = Echo::Shown);

// While set, AskText calls `answer` with the label and the text offered.
void SetTextInputAnswer(
    std::function<std::optional<QString>(const QString& label, const QString& text)> answer);

} // namespace orv::ui
