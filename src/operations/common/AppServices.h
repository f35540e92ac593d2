#pragma once
// What the pages use of the main window: the default credentials every
// device login and modify request carries, the Operating Information list
// and the modify requests that travel through every discovery instance.

#include "qvsp/QvspTypes.h"

#include <QString>

#include <memory>
#include <string>

namespace orv {

class IAppServices {
public:
    virtual ~IAppServices() = default;

    // The Username/Password edit texts, trimmed.
    virtual QString DefaultUserText() const = 0;
    virtual QString DefaultPasswordText() const = 0;
    // Puts `password` into the Password edit, so later logins use it.
    virtual void SetDefaultPassword(const QString& password) = 0;

    virtual void AddOperatingInfo(const QString& text) = 0;
    // -1 for a null request, else 0.
    virtual int ModifyIpcInfoAll(tagQvIpcInfo* request) = 0;
};

// Appends a result line made in the system code page (at most 259
// characters) to the Operating Information list.
void AddResultLine(IAppServices& app, const std::string& line);

} // namespace orv
