#include "util/Commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <memory>

#include "platform/dirlist.h"
#include "platform/profile.h"
#include "startup/Globals.h"

namespace {

bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && !HasNul(path) && ::lstat(path.c_str(), &st) == 0;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string AddBackslash(std::string& path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

int16_t DirExists(const std::string& path) {
    // The trailing "/" makes a path that names a file fail even where opendir would not care.
    std::string dir = path;
    return dirlist::FolderOpens(AddBackslash(dir)) ? -1 : 0;
}

std::string GetFilePath(const std::string& path) {
    std::string s = path;
    if (!s.empty() && s.back() == '/') s.pop_back();
    size_t slash = s.rfind('/');
    if (slash != std::string::npos) s.resize(slash);
    return AddBackslash(s);
}

std::string GetFileName(const std::string& path) {
    std::string s = path;
    if (!s.empty() && s.back() == '/') s.pop_back();
    size_t slash = s.rfind('/');
    if (slash != std::string::npos) s.erase(0, slash + 1);
    return s;
}

std::string GetLongName(const std::string& path) {
    if (path.empty()) return path;
    // A path on a share that stopped answering is kept as it is: it was opened as it stands.
    auto exists = std::make_shared<bool>(false);
    if (!dirlist::Within(path, [exists, path] { *exists = PathExists(path); }) || *exists)
        return path;
    // Only ASCII letters change: bytes of multi-byte characters must pass untouched.
    std::string s = path;
    for (size_t i = 1; i < s.size(); ++i) {
        char prev = path[i - 1];
        bool wordStart = prev == ' ' || prev == '-' || prev == '(' || prev == '_' || prev == '/';
        s[i] = wordStart ? UpperAscii(s[i]) : LowerAscii(s[i]);
    }
    s[0] = UpperAscii(s[0]);
    return s;
}

std::string ReadSetting(const std::string& section, const std::string& key, const std::string& file,
                        const std::string& defaultValue) {
    return profile::Read(file, section, key).value_or(defaultValue);
}

void WriteSetting(const std::string& section, const std::string& key, const std::string& value,
                  const std::string& file) {
    (void)profile::Write(file, section, key, value);
}

void WriteSettings(const std::string& section, const Settings& settings, const std::string& file) {
    (void)profile::WriteAll(file, section, settings);
}

void InitGlobalsFrom(const std::string& exePath) {
    size_t slash = exePath.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : exePath.substr(0, slash);
    AppDir = AddBackslash(dir);
    std::string name = slash == std::string::npos ? exePath : exePath.substr(slash + 1);
    // A leading dot marks a hidden file, not an extension.
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    ExeName = name;
}

void InitGlobals() {
    std::string buf(256, '\0');
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return;  // the globals keep their old values
        if (static_cast<size_t>(n) < buf.size()) {
            buf.resize(static_cast<size_t>(n));
            break;
        }
        buf.resize(buf.size() * 2);
    }
    // An executable replaced while running (an update) is reported with this suffix; the
    // settings belong to the name it was started under.
    static const std::string deleted = " (deleted)";
    if (buf.size() > deleted.size() && buf.ends_with(deleted) && !PathExists(buf))
        buf.resize(buf.size() - deleted.size());
    InitGlobalsFrom(buf);
}

double ReadNumber(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // The number's digits and exponent without the sign, in the form from_chars takes.
    std::string num;
    size_t intDigits = 0, leadingZeros = 0, fracZeros = 0;
    bool nonZeroSeen = false;
    for (; i < n && IsDigit(text[i]); ++i) {
        if (text[i] != '0') nonZeroSeen = true;
        if (!nonZeroSeen) ++leadingZeros;
        num += text[i];
        ++intDigits;
    }
    size_t fracDigits = 0;
    if (i + 1 < n && text[i] == '.' && IsDigit(text[i + 1])) {
        num += text[i++];
        for (; i < n && IsDigit(text[i]); ++i) {
            if (text[i] != '0') nonZeroSeen = true;
            if (!nonZeroSeen) ++fracZeros;
            num += text[i];
            ++fracDigits;
        }
    } else if (i < n && text[i] == '.' && intDigits > 0) {
        ++i;  // "5." is 5
    }
    if (intDigits + fracDigits == 0) return 0.0;
    if (!nonZeroSeen) return negative ? -0.0 : 0.0;
    long long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) expNegative = text[j++] == '-';
        if (j < n && IsDigit(text[j])) {
            num += 'e';
            if (expNegative) num += '-';
            for (; j < n && IsDigit(text[j]); ++j) {
                num += text[j];
                // Saturate: beyond this the result is infinite or zero anyway.
                if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
            }
            if (expNegative) exponent = -exponent;
        }
    }
    double value = 0.0;
    auto res = std::from_chars(num.data(), num.data() + num.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Place of the first significant digit decides between overflow and underflow.
        long long magnitude = intDigits > leadingZeros
                                  ? static_cast<long long>(intDigits - leadingZeros) + exponent
                                  : exponent - static_cast<long long>(fracZeros);
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (res.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

std::string SingleText(float value) {
    if (!std::isfinite(value)) return "0";
    if (value == 0.0f) return "0";  // no "-0"
    char buf[32];                   // the longest float in this form is well under 20 characters
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 7);
    std::string s(buf, res.ptr);
    size_t e = s.find('e');
    if (e != std::string::npos) s[e] = 'E';
    return s;
}

std::optional<int16_t> RoundToInt16(double value) {
    if (std::isnan(value)) return std::nullopt;
    double r = std::floor(value);
    double frac = value - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
    if (!(r >= -32768.0 && r <= 32767.0)) return std::nullopt;
    return static_cast<int16_t>(r);
}
