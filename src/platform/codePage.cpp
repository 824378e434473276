#include "platform/codePage.h"

#include <iconv.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

namespace qingtong {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Code page 936 as two lookup tables, built once from glibc's "CP936" converter.
// Index of a double-byte character is lead << 8 | trail.
struct GbkTables {
    std::array<char16_t, 65536> toUnicode{};   // 0: not a character
    std::array<std::uint16_t, 65536> fromUnicode{};  // 0: not representable
    char16_t single80 = 0;                     // what 0x80 stands for (the euro sign)
};

// Converts `in` with a converter opened once; returns the UTF-16 units or an empty result.
std::u16string iconvToUtf16(iconv_t cd, const char* in, std::size_t length)
{
    char16_t out[4];
    char* inPtr = const_cast<char*>(in);
    std::size_t inLeft = length;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof(out);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        return {};
    return std::u16string(out, (sizeof(out) - outLeft) / sizeof(char16_t));
}

const GbkTables& gbkTables()
{
    static std::unique_ptr<GbkTables> tables;
    static std::once_flag once;
    std::call_once(once, [] {
        auto t = std::make_unique<GbkTables>();
        iconv_t cd = iconv_open("UTF-16LE", "CP936");
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            const char b80 = static_cast<char>(0x80);
            std::u16string one = iconvToUtf16(cd, &b80, 1);
            if (one.size() == 1)
                t->single80 = one[0];
            for (int lead = 0x81; lead <= 0xFE; ++lead) {
                for (int trail = 0x40; trail <= 0xFE; ++trail) {
                    if (trail == 0x7F)
                        continue;
                    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                    std::u16string u = iconvToUtf16(cd, pair, 2);
                    if (u.size() != 1 || u[0] < 0x80 || (u[0] >= 0xD800 && u[0] <= 0xDFFF))
                        continue;
                    const int code = lead << 8 | trail;
                    t->toUnicode[code] = u[0];
                    if (t->fromUnicode[u[0]] == 0)
                        t->fromUnicode[u[0]] = static_cast<std::uint16_t>(code);
                }
            }
            iconv_close(cd);
        }
        for (int c = 0; c < 0x80; ++c) {
            t->toUnicode[c] = static_cast<char16_t>(c);
            t->fromUnicode[c] = static_cast<std::uint16_t>(c);
        }
        if (t->single80 != 0) {
            t->toUnicode[0x80] = t->single80;
            t->fromUnicode[t->single80] = 0x80;
        }
        tables = std::move(t);
    });
    return *tables;
}

bool isTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// Calls sink(codePoint) for every character of GBK text; bad bytes give U+FFFD.
template <typename Sink>
void decodeGbk(const Text& text, Sink&& sink)
{
    const GbkTables& t = gbkTables();
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            sink(char32_t(b));
            ++i;
        } else if (b == 0x80) {
            sink(t.single80 ? char32_t(t.single80) : char32_t(kReplacement));
            ++i;
        } else if (b <= 0xFE && i + 1 < n && isTrailByte(static_cast<unsigned char>(text[i + 1]))) {
            const char16_t u = t.toUnicode[b << 8 | static_cast<unsigned char>(text[i + 1])];
            sink(u ? char32_t(u) : char32_t(kReplacement));
            i += 2;
        } else {
            sink(char32_t(kReplacement));
            ++i;
        }
    }
}

// Calls sink(codePoint) for every character of UTF-8 text. An ill-formed sequence gives one
// U+FFFD for its maximal valid prefix (or for the single bad byte), as Unicode recommends.
template <typename Sink>
void decodeUtf8(const Text& text, Sink&& sink)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            sink(char32_t(b));
            ++i;
            continue;
        }
        int need = 0;
        char32_t cp = 0;
        unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the first continuation byte
        if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            cp = b & 0x0F;
            if (b == 0xE0)
                lo = 0xA0;
            else if (b == 0xED)
                hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            cp = b & 0x07;
            if (b == 0xF0)
                lo = 0x90;
            else if (b == 0xF4)
                hi = 0x8F;
        } else {
            sink(char32_t(kReplacement));
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < need; ++k, ++j) {
            if (j >= n) {
                ok = false;
                break;
            }
            const auto c = static_cast<unsigned char>(text[j]);
            const unsigned char min = k == 0 ? lo : 0x80;
            const unsigned char max = k == 0 ? hi : 0xBF;
            if (c < min || c > max) {
                ok = false;
                break;
            }
            cp = cp << 6 | (c & 0x3F);
        }
        sink(ok ? cp : char32_t(kReplacement));
        i = j;
    }
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | cp >> 6));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | cp >> 12));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | cp >> 18));
        out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void appendUtf16(WideText& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | cp >> 10));
        out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    }
}

void appendGbk(Text& out, char32_t cp, const GbkTables& t)
{
    const std::uint16_t code = cp < 0x10000 ? t.fromUnicode[cp] : 0;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (code == 0) {
        out.push_back('?');
    } else if (code < 0x100) {
        out.push_back(static_cast<char>(code));
    } else {
        out.push_back(static_cast<char>(code >> 8));
        out.push_back(static_cast<char>(code & 0xFF));
    }
}

// Calls sink(codePoint) for UTF-16; an unpaired surrogate gives U+FFFD.
template <typename Sink>
void decodeUtf16(const WideText& wide, Sink&& sink)
{
    const std::size_t n = wide.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = wide[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            sink(char32_t(0x10000 + ((u - 0xD800) << 10) + (wide[i + 1] - 0xDC00)));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            sink(char32_t(kReplacement));
        } else {
            sink(char32_t(u));
        }
    }
}

bool isAscii(const Text& text)
{
    // Eight bytes at a time: any byte with its high bit set ends the fast path.
    const char* p = text.data();
    std::size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return false;
    return true;
}

} // namespace

WideText toWide(const Text& text, CodePage codePage)
{
    WideText out;
    out.reserve(text.size());
    if (codePage == Gbk)
        decodeGbk(text, [&](char32_t cp) { appendUtf16(out, cp); });
    else
        decodeUtf8(text, [&](char32_t cp) { appendUtf16(out, cp); });
    return out;
}

Text fromWide(const WideText& wide, CodePage codePage)
{
    Text out;
    out.reserve(wide.size() * 2);
    if (codePage == Gbk) {
        const GbkTables& t = gbkTables();
        decodeUtf16(wide, [&](char32_t cp) { appendGbk(out, cp, t); });
    } else {
        decodeUtf16(wide, [&](char32_t cp) { appendUtf8(out, cp); });
    }
    return out;
}

Text utf8ToAnsi(const Text& utf8)
{
    if (isAscii(utf8))
        return utf8;
    const GbkTables& t = gbkTables();
    Text out;
    out.reserve(utf8.size());
    decodeUtf8(utf8, [&](char32_t cp) { appendGbk(out, cp, t); });
    return out;
}

Text ansiToUtf8(const Text& gbk)
{
    if (isAscii(gbk))
        return gbk;
    std::string out;
    out.reserve(gbk.size() + gbk.size() / 2);
    decodeGbk(gbk, [&](char32_t cp) { appendUtf8(out, cp); });
    return out;
}

} // namespace qingtong
