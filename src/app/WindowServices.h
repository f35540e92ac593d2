#pragma once
// What the pages use of the main window (IAppServices), apart from the
// window itself: the default-credential edits, the Operating Information
// list and the maker's address changes. The window makes it once its
// controls exist and hands it to every page; it knows no page.

#include "operations/common/AppServices.h"

class QLineEdit;
class QListWidget;

namespace orv::qv {
class CQvDriver;
}

class CWindowServices final : public orv::IAppServices {
public:
    static constexpr int kMaxInfoLines = 100;

    CWindowServices(QLineEdit& user, QLineEdit& password, QListWidget& info,
                    orv::qv::CQvDriver& maker)
        : m_user(user), m_password(password), m_info(info), m_maker(maker) {}

    // Appends a line (window thread); beyond the last 100 the list starts
    // anew. A null text does nothing.
    void AddOperatingInfo(const wchar_t* text);
    void AddOperatingInfo(const QString& text) override;

    // Hands a modify request to every discovery instance; -1 for a null
    // request, else 0 (also without any instance).
    int ModifyIpcInfoAll(tagQvIpcInfo* request) override;

    // The trimmed Username/Password edit text.
    QString DefaultUserText() const override;
    QString DefaultPasswordText() const override;
    void SetDefaultPassword(const QString& password) override;

private:
    QLineEdit& m_user;
    QLineEdit& m_password;
    QListWidget& m_info;
    orv::qv::CQvDriver& m_maker;
};
