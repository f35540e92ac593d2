#include "NameEdit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace orv::ui {

CNameEdit::CNameEdit(QWidget* parent) : QLineEdit(parent) {}

bool CNameEdit::IsRefusedCharacter(QChar c) {
    switch (c.unicode()) {
    case 0x003B: // ;
    case 0xFF1B: // full-width semicolon
    case 0x003D: // =
    case 0x0027: // '
    case 0x3001: // ideographic comma
    case 0x2018: // left single quotation mark
    case 0x2019: // right single quotation mark
    case 0x002B: // +
        return true;
    default:
        return false;
    }
}

void CNameEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.size() == 1 && IsRefusedCharacter(text.front())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

// Characters typed through an input method arrive as committed text.
void CNameEdit::inputMethodEvent(QInputMethodEvent* event) {
    QString commit = event->commitString();
    if (!commit.isEmpty()) {
        QString kept;
        for (QChar c : commit) {
            if (!IsRefusedCharacter(c)) {
                kept += c;
            }
        }
        if (kept != commit) {
            QInputMethodEvent filtered(event->preeditString(), event->attributes());
            filtered.setCommitString(kept, event->replacementStart(), event->replacementLength());
            QLineEdit::inputMethodEvent(&filtered);
            return;
        }
    }
    QLineEdit::inputMethodEvent(event);
}

} // namespace orv::ui
