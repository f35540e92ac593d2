#include "onvifc/wire/Token.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <ctime>

namespace onvifc::wire {

std::string base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()),
                                  static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::optional<std::string> unbase64(std::string_view text) {
    std::string clean;
    for (const char c : text)
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            clean += c;
    if (clean.size() % 4 != 0 || clean.size() > 4096)
        return std::nullopt;
    std::string out(clean.size() / 4 * 3 + 1, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(clean.data()),
                                  static_cast<int>(clean.size()));
    if (n < 0)
        return std::nullopt;
    std::size_t size = static_cast<std::size_t>(n);
    // EVP_DecodeBlock counts the padding as zero bytes.
    for (std::size_t i = clean.size(); i > 0 && clean[i - 1] == '='; --i)
        --size;
    out.resize(size);
    return out;
}

std::string sha1(std::string_view bytes) {
    unsigned char digest[SHA_DIGEST_LENGTH] = {};
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string passwordDigest(std::string_view nonce, std::string_view created,
                           std::string_view password) {
    std::string input(nonce);
    input += created;
    input += password;
    return base64(sha1(input));
}

std::string isoTime(SystemClock::time_point t) {
    const std::time_t s = SystemClock::to_time_t(t);
    std::tm parts{};
    gmtime_r(&s, &parts);
    char out[32];
    std::strftime(out, sizeof out, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return out;
}

std::optional<SystemClock::time_point> parseIsoTime(std::string_view text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::size_t pos = 0;
    const auto number = [&](std::size_t digits, int& out) {
        out = 0;
        for (std::size_t i = 0; i < digits; ++i, ++pos) {
            if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
                return false;
            out = out * 10 + (text[pos] - '0');
        }
        return true;
    };
    const auto expect = [&](char c) {
        if (pos >= text.size() || (text[pos] != c && text[pos] != (c | 0x20)))
            return false;
        ++pos;
        return true;
    };
    if (!number(4, year) || !expect('-') || !number(2, month) || !expect('-') || !number(2, day) ||
        !expect('T') || !number(2, hour) || !expect(':') || !number(2, minute) || !expect(':') ||
        !number(2, second))
        return std::nullopt;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
            ++pos;
    }
    long offset = 0;
    if (pos < text.size() && (text[pos] == 'Z' || text[pos] == 'z')) {
        ++pos;
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos++] == '-' ? -1 : 1;
        int oh = 0, om = 0;
        if (!number(2, oh) || !expect(':') || !number(2, om))
            return std::nullopt;
        offset = sign * (oh * 3600L + om * 60L);
    }
    if (pos != text.size() || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 ||
        minute > 59 || second > 60 || year < 1970 || year > 9999)
        return std::nullopt;
    std::tm parts{};
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    const std::time_t t = timegm(&parts);
    return SystemClock::from_time_t(t - offset);
}

} // namespace onvifc::wire
