#include "AppServices.h"

#include "text/TextConv.h"

namespace orv {

void AddResultLine(IAppServices& app, const std::string& line) {
    wchar_t wide[260] = {};
    MultiToWide(kCpAnsi, line.c_str(), wide, 260);
    app.AddOperatingInfo(QString::fromWCharArray(wide));
}

} // namespace orv
