// Any bytes as a camera's name: the printable form holds no control byte,
// no C1 control and no directional mark, is valid UTF-8, and leaves a text
// without any of them as it was.

#include "text/Printable.h"

#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

bool harmless(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x20 || b == 0x7F) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const std::string out = orv::Printable(in);
    check(harmless(out));
    const QString text = QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
    check(text.toUtf8() == QByteArray(out.data(), static_cast<qsizetype>(out.size())));
    for (const uint c : text.toUcs4()) {
        check(!(c >= 0x80 && c <= 0x9F) && c != 0x200E && c != 0x200F &&
              !(c >= 0x202A && c <= 0x202E) && !(c >= 0x2066 && c <= 0x2069) && c != 0x061C);
    }
    // A text with nothing to escape comes back unchanged.
    if (out.find('\\') == std::string::npos) {
        check(out == in);
    }
    const std::string bytes = orv::PrintableBytes(in);
    check(harmless(bytes));
    return 0;
}
