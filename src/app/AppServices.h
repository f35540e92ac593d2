#pragma once
// What the pages use of the main window: the default credentials every
// device login and modify request carries, the Operating Information list,
// and the modify requests that travel through every discovery instance.

#include "qvsp/QvspTypes.h"

#include <QString>

namespace orv {

class IAppServices {
public:
    virtual ~IAppServices() = default;

    // The Username/Password edit texts, trimmed.
    virtual QString DefaultUserText() const = 0;
    virtual QString DefaultPasswordText() const = 0;
    // The same, escaped and converted for a device, at most size - 1 bytes.
    virtual void GetDefaultUser(char* buffer, int size) const = 0;
    virtual void GetDefaultPassword(char* buffer, int size) const = 0;

    virtual void AddOperatingInfo(const QString& text) = 0;
    // -1 for a null request, else 0.
    virtual int ModifyIpcInfoAll(tagQvIpcInfo* request) = 0;
};

} // namespace orv
