#pragma once
// Conversions between the wide text of the windows and the multibyte text of
// the log file, the result lines and the device SDK's arguments.
//
// Code page 0 is the system's narrow character set: the ANSI code page on
// Windows, the locale's charset (LC_CTYPE) elsewhere. Code page 65001 is UTF-8
// on every platform. Both functions are stateless and thread-safe.

#include <string>

namespace orv {

inline constexpr int kCpAnsi = 0;
inline constexpr int kCpUtf8 = 65001;

} // namespace orv

// Converts `src` to the code page and writes it, terminated, into `dst`.
// With `escape` every backslash and apostrophe is preceded by a backslash first
// (the form every text sent to a camera takes), and the escaped text is cut to
// dstSize - 1 characters. Returns the bytes written including the terminator,
// or 0 when the source or destination is absent, the source is empty, or the
// converted text with its terminator does not fit in fewer than dstSize bytes
// (so an N-byte destination takes at most N - 2 bytes of text). On 0 the
// destination is left as it was.
int WideToMulti(int codePage, const wchar_t* src, char* dst, int dstSize, bool escape);

// Converts `src` from the code page into `dst`. Returns the wide characters
// written including the terminator, or 0 when the source or destination is
// absent, the source is empty, or the result with terminator needs dstSize or
// more characters.
int MultiToWide(int codePage, const char* src, wchar_t* dst, int dstSize);

namespace orv {

// Whole-string helpers for callers that hold std::strings; they never cut.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view text);
bool IsValidUtf8(std::string_view text);

// UTF-16 as bytes (the form of Windows texts in files and the registry).
// Decoding replaces a lone surrogate with U+FFFD and reports it through
// `whole`; an odd last byte is ignored.
std::string ToUtf16LeBytes(std::wstring_view text);
std::wstring FromUtf16Bytes(std::string_view bytes, bool littleEndian, bool* whole = nullptr);

} // namespace orv
