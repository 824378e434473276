#include "json/JsonText.h"

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <iconv.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <locale.h>

namespace qingtong::jsontext {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// One conversion descriptor per thread and direction, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
        return m_cd;
    }

private:
    iconv_t m_cd;
};

bool allAscii(const unsigned char* bytes, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        if (bytes[i] >= 0x80)
            return false;
    return true;
}

} // namespace

WideText utf8ToWide(const char* utf8, std::size_t length)
{
    WideText out;
    utf8ToWide(utf8, length, out);
    return out;
}

void utf8ToWide(const char* utf8, std::size_t length, WideText& out)
{
    out.resize(length);
    char16_t* dst = out.data();
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    std::size_t i = 0;
    while (i < length) {
        // ASCII runs are the common case: sixteen bytes at a time.
#if defined(__SSE2__)
        while (i + 16 <= length) {
            __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            if (_mm_movemask_epi8(block) != 0)
                break;
            __m128i zero = _mm_setzero_si128();
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(block, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(block, zero));
            dst += 16;
            i += 16;
        }
#endif
        while (i + 8 <= length) {
            std::uint64_t block;
            std::memcpy(&block, s + i, 8);
            if (block & 0x8080808080808080ull)
                break;
            for (int k = 0; k < 8; ++k)
                *dst++ = s[i + k];
            i += 8;
        }
        if (i >= length)
            break;
        unsigned c = s[i];
        if (c < 0x80) {
            *dst++ = static_cast<char16_t>(c);
            ++i;
            continue;
        }
        // Three-byte characters (most CJK text) whose lead byte needs no range check.
        if (c >= 0xE1 && c <= 0xEF && c != 0xED && i + 2 < length && (s[i + 1] & 0xC0) == 0x80
            && (s[i + 2] & 0xC0) == 0x80) {
            *dst++ = static_cast<char16_t>(((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F));
            i += 3;
            continue;
        }
        unsigned need = 0;
        std::uint32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) { need = 1; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { need = 2; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { need = 3; cp = c & 0x07; }
        else { *dst++ = kReplacement; ++i; continue; }
        std::size_t j = 1;
        for (; j <= need && i + j < length; ++j) {
            unsigned cc = s[i + j];
            if ((cc & 0xC0) != 0x80)
                break;
            cp = (cp << 6) | (cc & 0x3F);
            // Reject overlong forms, surrogates and values past U+10FFFF as early as they show.
            if (j == 1) {
                if ((c == 0xE0 && cc < 0xA0) || (c == 0xED && cc > 0x9F) || (c == 0xF0 && cc < 0x90)
                    || (c == 0xF4 && cc > 0x8F))
                    break;
            }
        }
        if (j <= need) { // truncated or broken sequence: one replacement for the bytes taken
            *dst++ = kReplacement;
            i += j;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *dst++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *dst++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *dst++ = static_cast<char16_t>(cp);
        }
        i += need + 1;
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
}

Text wideToUtf8(const char16_t* wide, std::size_t length)
{
    Text out;
    out.resize(length * 3);
    char* dst = out.data();
    for (std::size_t i = 0; i < length; ++i) {
        std::uint32_t c = wide[i];
        if (c < 0x80) {
            *dst++ = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        if (c < 0x800) {
            *dst++ = static_cast<char>(0xC0 | (c >> 6));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *dst++ = static_cast<char>(0xE0 | (c >> 12));
            *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *dst++ = static_cast<char>(0xF0 | (c >> 18));
            *dst++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
    return out;
}

WideText gbkToWide(const char* gbk, std::size_t length)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(gbk);
    if (allAscii(bytes, length))
        return WideText(bytes, bytes + length);
    thread_local Converter converter("UTF-16LE", "CP936");
    WideText out;
    if (!converter.valid())
        return out;
    iconv_t cd = converter.get();
    out.resize(length);
    char* in = const_cast<char*>(gbk);
    std::size_t inLeft = length;
    char* dst = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * sizeof(char16_t);
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            break; // cannot happen: a byte never gives more than one unit
        // Invalid or truncated sequence: one "?" for the byte, go on after it.
        char16_t question = u'?';
        std::memcpy(dst, &question, sizeof question);
        dst += sizeof question;
        outLeft -= sizeof question;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - outLeft / sizeof(char16_t));
    return out;
}

Text wideToGbk(const char16_t* wide, std::size_t length)
{
    bool ascii = true;
    for (std::size_t i = 0; i < length && ascii; ++i)
        ascii = wide[i] < 0x80;
    if (ascii)
        return Text(wide, wide + length);
    thread_local Converter converter("CP936", "UTF-16LE");
    Text out;
    if (!converter.valid())
        return out;
    iconv_t cd = converter.get();
    out.resize(length * 2 + 4);
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(wide));
    std::size_t inLeft = length * sizeof(char16_t);
    char* dst = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            std::size_t used = out.size() - outLeft;
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        // A character the code page lacks (or a lone surrogate): "?" for the whole character.
        std::size_t skip = sizeof(char16_t);
        char16_t unit;
        std::memcpy(&unit, in, sizeof unit);
        if (unit >= 0xD800 && unit <= 0xDBFF && inLeft >= 4) {
            char16_t next;
            std::memcpy(&next, in + 2, sizeof next);
            if (next >= 0xDC00 && next <= 0xDFFF)
                skip = 2 * sizeof(char16_t);
        }
        if (outLeft == 0) {
            std::size_t used = out.size();
            out.resize(out.size() * 2);
            dst = out.data() + used;
            outLeft = out.size() - used;
        }
        *dst++ = '?';
        --outLeft;
        in += skip;
        inLeft -= skip > inLeft ? inLeft : skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - outLeft);
    return out;
}

double readDecimal(const char16_t* text, std::size_t length)
{
    std::size_t i = 0;
    while (i < length && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    char small[64];
    std::vector<char> large;
    char* buffer = small;
    std::size_t n = 0;
    std::size_t limit = length - i;
    if (limit >= sizeof small) {
        large.resize(limit + 1);
        buffer = large.data();
    }
    bool negative = false;
    if (i < length && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    for (; i < length; ++i) {
        char16_t c = text[i];
        bool numeric = (c >= u'0' && c <= u'9') || c == u'.' || c == u'e' || c == u'E' || c == u'+' || c == u'-';
        if (!numeric)
            break;
        buffer[n++] = static_cast<char>(c);
    }
    double value = 0.0;
    auto result = std::from_chars(buffer, buffer + n, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Let strtod give its answer for overflow and underflow (infinity, or the nearest
        // small value); the C locale keeps "." the decimal point whatever the process set.
        buffer[n] = '\0';
        static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
        value = cLocale ? strtod_l(buffer, nullptr, cLocale) : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

std::int64_t readInteger(const char16_t* text, std::size_t length)
{
    std::size_t i = 0;
    while (i < length && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r')))
        ++i;
    bool negative = false;
    if (i < length && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = negative ? std::uint64_t(1) << 63 : (std::uint64_t(1) << 63) - 1;
    bool saturated = false;
    for (; i < length && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        unsigned digit = text[i] - u'0';
        if (saturated || magnitude > (limit - digit) / 10) {
            saturated = true;
            continue;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (saturated)
        magnitude = limit;
    if (negative)
        return magnitude == (std::uint64_t(1) << 63) ? std::numeric_limits<std::int64_t>::min()
                                                      : -static_cast<std::int64_t>(magnitude);
    return static_cast<std::int64_t>(magnitude);
}

} // namespace qingtong::jsontext
