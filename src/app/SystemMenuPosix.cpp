#include "SystemMenu.h"

namespace orv {

void AddAboutToSystemMenu(QWidget&, int) {}

bool IsSystemMenuCommand(void*, int) {
    return false;
}

} // namespace orv
