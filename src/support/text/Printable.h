#pragma once
// Texts from the network as a terminal, a log line or a one-line field may
// show them. A camera names itself: a name that carries ESC ] 0;..., ESC [2J,
// a carriage return or a right-to-left override would retitle or clear the
// operator's terminal, forge rows or reorder a line. Each such character is
// shown as an escape instead, so what is printed is what was received.

#include <string>
#include <string_view>

namespace orv {

// Every control character (C0, DEL, C1) as "\x1b", every directional
// formatting character as "\u202e", and every byte that is not UTF-8 as
// "\xff"; everything else unchanged.
std::string Printable(std::string_view utf8);
// Whether `c` is one that Printable shows as an escape: a control character
// (C0, DEL, C1) or a directional formatting character.
bool Unprintable(char32_t c);
// The same for a line of bytes in any code page (a log line): only the
// control bytes and the UTF-8 form of a C1 control are escaped, every other
// byte stays as it is.
std::string PrintableBytes(std::string_view bytes);

} // namespace orv
