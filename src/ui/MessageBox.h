#pragma once
// Message boxes: an OK box for failed input, a Yes/No question for the
// operations that reboot or restore cameras. Tests answer them instead of a
// person and see every text that would have been shown.

#include <QString>

#include <functional>

class QWidget;

namespace orv::ui {

enum class MessageKind { Information, Question };

// Shows `text` with one OK button.
void ShowMessage(QWidget* parent, const QString& text);
// Asks `text` with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// While set, no box is shown: `answer` receives each text and, for a
// question, returns true for Yes.
void SetMessageBoxAnswer(std::function<bool(MessageKind, const QString&)> answer);

} // namespace orv::ui
