#pragma once
// An edit for device names and OEM texts that ignores typed separators the
// cameras' configuration files cannot hold: ; ； = ' 、 ‘ ’ +. Pasted text is
// taken as it is.

#include <QLineEdit>

namespace orv::ui {

class CNameEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CNameEdit(QWidget* parent = nullptr);

    static bool IsRefusedCharacter(QChar c);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
};

} // namespace orv::ui
