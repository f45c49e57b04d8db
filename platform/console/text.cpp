// Text conversions for the console: the program's Windows-1252 texts and the
// system's own strings, both written out as UTF-8.
#include "platform/console/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Code points of 0x80..0x9F in Windows-1252; 0 where the code page has none.
const std::uint16_t HighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string Cp1252ToUtf8(std::string_view bytes, unsigned flags) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        std::uint32_t c = b;
        if (b == 0xB3 && (flags & TextSeparatorAsBar)) c = 0x2502;
        else if (b == 0x81 && (flags & TextWalkMarks)) c = 0x2192;
        else if (b == 0x8F && (flags & TextWalkMarks)) c = 0x2717;
        else if (b < 0x20 && !(flags & TextKeepControls)) c = 0x2400 + b;
        else if (b == 0x7F && !(flags & TextKeepControls)) c = 0x2421;
        else if (b >= 0x80 && b < 0xA0) c = HighControls[b - 0x80] ? HighControls[b - 0x80] : 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

#ifdef _WIN32
std::string NativeToUtf8(std::string_view text) {
    if (text.empty()) return std::string();
    const int n = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), n, nullptr, 0);
    if (wide <= 0) return std::string(text);
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), n, w.data(), wide);
    const int size = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), size, nullptr, nullptr);
    return out;
}
#else
std::string NativeToUtf8(std::string_view text) { return std::string(text); }
#endif

std::string Format(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

const char* Plural(long long n) { return n > 1 ? "s" : ""; }

std::string ListOf(const std::vector<std::int32_t>& values, std::size_t most) {
    std::string s;
    for (std::size_t i = 0; i < values.size() && i < most; ++i) s += (i ? ", " : "") + std::to_string(values[i]);
    if (values.size() > most) s += Format(" et %zu autres", values.size() - most);
    return s;
}

std::string NumberList(std::vector<NumberRun> runs, std::size_t most) {
    // Runs that touch are one; a run of two is two numbers.
    std::vector<NumberRun> merged;
    for (const NumberRun& r : runs) {
        if (!merged.empty() && static_cast<std::int64_t>(merged.back().last) + 1 >= r.first)
            merged.back().last = std::max(merged.back().last, r.last);
        else merged.push_back(r);
    }
    std::vector<std::string> shown;
    std::int64_t left = 0;
    for (const NumberRun& r : merged) {
        if (shown.size() >= most) {
            left += static_cast<std::int64_t>(r.last) - r.first + 1;
        } else if (r.last >= r.first + 2) {
            shown.push_back(std::to_string(r.first) + " à " + std::to_string(r.last));
        } else {
            for (std::int64_t n = r.first; n <= r.last; ++n) shown.push_back(std::to_string(n));
        }
    }
    std::string list;
    for (std::size_t k = 0; k < shown.size(); ++k)
        list += (k == 0 ? "" : k + 1 < shown.size() || left ? ", " : " et ") + shown[k];
    if (left) list += " et " + std::to_string(left) + " autres";
    return list;
}

std::string NumberList(const std::vector<std::int32_t>& numbers, std::size_t most) {
    std::vector<NumberRun> runs;
    for (const std::int32_t n : numbers) runs.push_back({n, n});
    return NumberList(runs, most);
}

long long NumberCount(const std::vector<NumberRun>& runs) {
    long long count = 0;
    for (const NumberRun& r : runs) count += static_cast<long long>(r.last) - r.first + 1;
    return count;
}
