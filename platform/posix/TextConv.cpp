#include "platform/TextConv.h"

#include <cstdint>

namespace orvane::platform {
namespace {

// Appends the UTF-8 form of code point cp; false when it would not fit (room for the
// terminator is kept).
bool putUtf8(char32_t cp, char* out, size_t capacity, size_t& pos) {
    char bytes[4];
    size_t n;
    if (cp < 0x80) {
        bytes[0] = static_cast<char>(cp);
        n = 1;
    } else if (cp < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
        bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
        bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        bytes[0] = static_cast<char>(0xF0 | (cp >> 18));
        bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 4;
    }
    if (pos + n + 1 > capacity) return false;
    for (size_t i = 0; i < n; ++i) out[pos++] = bytes[i];
    return true;
}

}  // namespace

bool wideToAnsi(const char16_t* wide, char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    out[0] = '\0';
    if (wide == nullptr) return false;
    size_t pos = 0;
    for (size_t i = 0; wide[i] != 0; ++i) {
        char32_t cp = wide[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            const char32_t low = wide[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) {
                out[0] = '\0';
                return false;
            }
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            out[0] = '\0';
            return false;
        }
        if (!putUtf8(cp, out, capacity, pos)) {
            out[0] = '\0';
            return false;
        }
    }
    out[pos] = '\0';
    return true;
}

size_t ansiToWide(const char* narrow, char16_t* out, size_t capacity) {
    if (narrow == nullptr || out == nullptr || capacity == 0) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(narrow);
    size_t pos = 0;
    auto fail = [&] {
        out[0] = 0;
        return size_t{0};
    };
    while (*s != 0) {
        char32_t cp;
        int extra;
        if (*s < 0x80) {
            cp = *s;
            extra = 0;
        } else if ((*s & 0xE0) == 0xC0) {
            cp = *s & 0x1F;
            extra = 1;
        } else if ((*s & 0xF0) == 0xE0) {
            cp = *s & 0x0F;
            extra = 2;
        } else if ((*s & 0xF8) == 0xF0) {
            cp = *s & 0x07;
            extra = 3;
        } else {
            return fail();
        }
        ++s;
        for (int k = 0; k < extra; ++k, ++s) {
            if ((*s & 0xC0) != 0x80) return fail();
            cp = (cp << 6) | (*s & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return fail();
        const size_t units = cp >= 0x10000 ? 2 : 1;
        if (pos + units + 1 > capacity) return fail();
        if (units == 2) {
            cp -= 0x10000;
            out[pos++] = static_cast<char16_t>(0xD800 + (cp >> 10));
            out[pos++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out[pos++] = static_cast<char16_t>(cp);
        }
    }
    out[pos] = 0;
    return pos + 1;
}

}  // namespace orvane::platform
