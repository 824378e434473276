#include "platform/textRoutines.h"

#include <algorithm>
#include <string_view>

namespace qingtong {
namespace {

// "#引号" in GBK: a mark's stand-in for the double quote.
const Text kQuoteWord = "#\xD2\xFD\xBA\xC5";

unsigned char byteAt(const Text& text, std::size_t pos) { return static_cast<unsigned char>(text[pos]); }

char foldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isFullWidthSpaceAt(const Text& text, std::size_t pos)
{
    return pos + 1 < text.size() && byteAt(text, pos) == 0xA1 && byteAt(text, pos + 1) == 0xA1;
}

// Does `needle` match `hay` at character boundary `pos`, folding ASCII letters only?
// A double-byte character of the needle must match byte for byte.
bool matchesFoldedAt(const Text& hay, std::size_t pos, const Text& needle)
{
    if (hay.size() - pos < needle.size())
        return false;
    for (std::size_t j = 0; j < needle.size();) {
        if (isDoubleByteAt(needle, j)) {
            if (hay[pos + j] != needle[j] || hay[pos + j + 1] != needle[j + 1])
                return false;
            j += 2;
        } else {
            if (foldAscii(hay[pos + j]) != foldAscii(needle[j]))
                return false;
            ++j;
        }
    }
    return true;
}

bool endsWith(const Text& text, std::string_view tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

bool isDoubleByteAt(const Text& text, std::size_t pos)
{
    if (pos + 1 >= text.size())
        return false;
    const unsigned char lead = byteAt(text, pos);
    const unsigned char trail = byteAt(text, pos + 1);
    return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

std::size_t charLengthAt(const Text& text, std::size_t pos) { return isDoubleByteAt(text, pos) ? 2 : 1; }

std::size_t findText(const Text& hay, const Text& needle, std::size_t from, bool ignoreCase)
{
    if (from > hay.size())
        return Text::npos;
    if (needle.empty())
        return from;
    if (needle.size() > hay.size() - from)
        return Text::npos;
    // Let the library find candidates quickly; walk character boundaries alongside and
    // skip any candidate that would start on a trail byte.
    char firstBytes[3] = {needle[0], needle[0], 0};
    if (ignoreCase && !isDoubleByteAt(needle, 0)) {
        firstBytes[0] = foldAscii(needle[0]);
        firstBytes[1] = firstBytes[0] >= 'a' && firstBytes[0] <= 'z' ? static_cast<char>(firstBytes[0] - 'a' + 'A')
                                                                     : firstBytes[0];
    }
    const std::string_view firstSet(firstBytes, 2);
    std::size_t boundary = from;
    std::size_t searchFrom = from;
    for (;;) {
        const std::size_t p = ignoreCase ? hay.find_first_of(firstSet, searchFrom) : hay.find(needle, searchFrom);
        if (p == Text::npos || hay.size() - p < needle.size())
            return Text::npos;
        while (boundary < p)
            boundary += charLengthAt(hay, boundary);
        if (boundary != p) {
            searchFrom = boundary;
            continue;
        }
        if (!ignoreCase || matchesFoldedAt(hay, p, needle))
            return p;
        searchFrom = p + 1;
    }
}

std::size_t findLastText(const Text& hay, const Text& needle, bool ignoreCase)
{
    std::size_t last = Text::npos;
    if (needle.empty())
        return last;
    for (std::size_t p = findText(hay, needle, 0, ignoreCase); p != Text::npos;
         p = findText(hay, needle, p + charLengthAt(hay, p), ignoreCase))
        last = p;
    return last;
}

bool containsText(const Text& hay, const Text& needle, bool ignoreCase)
{
    return findText(hay, needle, 0, ignoreCase) != Text::npos;
}

int findTextPos(const Text& hay, const Text& needle, int startPos, bool ignoreCase)
{
    const std::size_t from = startPos <= 1 ? 0 : static_cast<std::size_t>(startPos) - 1;
    const std::size_t p = findText(hay, needle, from, ignoreCase);
    return p == Text::npos ? 0 : static_cast<int>(p) + 1;
}

Text trimBlanks(const Text& text)
{
    std::size_t begin = 0;
    for (;;) {
        if (begin < text.size() && text[begin] == ' ')
            ++begin;
        else if (isFullWidthSpaceAt(text, begin))
            begin += 2;
        else
            break;
    }
    std::size_t end = begin;  // end of the last character that is not a blank
    for (std::size_t i = begin; i < text.size();) {
        const std::size_t len = charLengthAt(text, i);
        const bool blank = text[i] == ' ' || (len == 2 && isFullWidthSpaceAt(text, i));
        i += len;
        if (!blank)
            end = i;
    }
    return text.substr(begin, end - begin);
}

std::vector<Text> splitText(const Text& text, const Text& sep)
{
    std::vector<Text> pieces;
    if (text.empty())
        return pieces;
    if (sep.empty()) {
        pieces.push_back(text);
        return pieces;
    }
    std::size_t pos = 0;
    for (;;) {
        const std::size_t p = findText(text, sep, pos);
        if (p == Text::npos) {
            if (pos < text.size())
                pieces.push_back(text.substr(pos));
            break;
        }
        pieces.push_back(text.substr(pos, p - pos));
        pos = p + sep.size();
    }
    return pieces;
}

Text joinTexts(const std::vector<Text>& pieces, const Text& sep)
{
    Text out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i)
            out += sep;
        out += pieces[i];
    }
    return out;
}

Text replaceAll(const Text& text, const Text& from, const Text& to, bool ignoreCase)
{
    if (from.empty())
        return text;
    Text out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t p = findText(text, from, pos, ignoreCase);
        if (p == Text::npos)
            break;
        out.append(text, pos, p - pos);
        out += to;
        pos = p + from.size();
    }
    out.append(text, pos, Text::npos);
    return out;
}

Text asciiLower(const Text& text)
{
    Text out = text;
    for (std::size_t i = 0; i < out.size(); i += charLengthAt(out, i))
        out[i] = foldAscii(out[i]);
    return out;
}

Text asciiUpper(const Text& text)
{
    Text out = text;
    for (std::size_t i = 0; i < out.size(); i += charLengthAt(out, i))
        if (out[i] >= 'a' && out[i] <= 'z')
            out[i] = static_cast<char>(out[i] - 'a' + 'A');
    return out;
}

Text headerName(const Text& line)
{
    const std::size_t p = findText(line, ":");
    return p == Text::npos ? Text() : trimBlanks(line.substr(0, p));
}

Text headerValue(const Text& line)
{
    const std::size_t p = findText(line, ":");
    return p == Text::npos ? Text() : trimBlanks(line.substr(p + 1));
}

Text capitaliseFirst(const Text& text)
{
    Text out = text;
    if (!out.empty() && out[0] >= 'a' && out[0] <= 'z')
        out[0] = static_cast<char>(out[0] - 'a' + 'A');
    return out;
}

Text normaliseHeaderCase(const Text& headers)
{
    Text result;
    for (const Text& line : splitText(headers, "\r\n")) {
        const std::size_t colon = findText(line, ":");
        if (colon == Text::npos)
            continue;
        const Text name = line.substr(0, colon);
        Text newName;
        if (findText(name, "-") == Text::npos) {
            newName = capitaliseFirst(name);
        } else {
            std::vector<Text> parts = splitText(name, "-");
            for (Text& part : parts)
                part = capitaliseFirst(part);
            newName = joinTexts(parts, "-");
        }
        result += newName;
        result.append(line, colon, Text::npos);
        result += "\r\n";
    }
    if (!result.empty())
        result.resize(result.size() - 2);
    return result;
}

Text textLeftOf(const Text& text, const Text& sep, bool includeSeparator, bool wholeIfMissing, bool ignoreCase)
{
    if (sep.empty())
        return text;
    const std::size_t p = findText(text, sep, 0, ignoreCase);
    if (p != Text::npos && p > 0)
        return includeSeparator ? text.substr(0, p + sep.size()) : text.substr(0, p);
    return wholeIfMissing ? text : Text();
}

Text textRightOfLast(const Text& text, const Text& sep, bool includeSeparator, bool wholeIfMissing, bool ignoreCase)
{
    if (text.empty() || sep.empty())
        return text;
    const std::size_t p = findLastText(text, sep, ignoreCase);
    if (p != Text::npos)
        return includeSeparator ? text.substr(p) : text.substr(p + sep.size());
    return wholeIfMissing ? text : Text();
}

Text textBetweenMarks(const Text& text, const Text& left, const Text& right, int start, bool caseSensitive)
{
    const Text leftMark = replaceAll(left, kQuoteWord, "\"");
    const Text rightMark = replaceAll(right, kQuoteWord, "\"");
    const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start) - 1;
    const std::size_t l = findText(text, leftMark, from, !caseSensitive);
    if (l == Text::npos)
        return {};
    const std::size_t p = l + leftMark.size();
    const std::size_t r = findText(text, rightMark, p, !caseSensitive);
    if (r == Text::npos)
        return {};
    return text.substr(p, r - p);
}

Text textBetween(const Text& text, const Text& start, const Text& end, int startPos, bool ignoreCase,
                 bool includeMarks, bool wholeIfMissing)
{
    const std::size_t from = startPos <= 1 ? 0 : static_cast<std::size_t>(startPos) - 1;
    const std::size_t s = findText(text, start, from, ignoreCase);
    if (s != Text::npos) {
        const std::size_t p = s + start.size();
        const std::size_t e = findText(text, end, p, ignoreCase);
        if (e != Text::npos)
            return includeMarks ? text.substr(s, e + end.size() - s) : text.substr(p, e - p);
    }
    return wholeIfMissing ? text : Text();
}

Text base64Encode(const Bytes& data)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    Text out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t v = std::uint32_t(data[i]) << 16 | std::uint32_t(data[i + 1]) << 8 | data[i + 2];
        out.push_back(alphabet[v >> 18 & 63]);
        out.push_back(alphabet[v >> 12 & 63]);
        out.push_back(alphabet[v >> 6 & 63]);
        out.push_back(alphabet[v & 63]);
    }
    const std::size_t rest = data.size() - i;
    if (rest) {
        std::uint32_t v = std::uint32_t(data[i]) << 16;
        if (rest == 2)
            v |= std::uint32_t(data[i + 1]) << 8;
        out.push_back(alphabet[v >> 18 & 63]);
        out.push_back(alphabet[v >> 12 & 63]);
        out.push_back(rest == 2 ? alphabet[v >> 6 & 63] : '=');
        out.push_back('=');
    }
    return out;
}

Text cookieName(const Text& item)
{
    const std::size_t p = findText(item, "=");
    return trimBlanks(p == Text::npos ? item : item.substr(0, p));
}

Text mergeCookieTexts(Text& sent, const Text& received)
{
    auto prepare = [](const Text& cookies) {
        Text t = trimBlanks(cookies);
        if (endsWith(t, ";"))
            t += ' ';
        return t;
    };
    const std::vector<Text> old = splitText(prepare(sent), "; ");
    std::vector<Text> list = splitText(prepare(received), "; ");
    std::vector<Text> names;
    names.reserve(list.size() + old.size());
    for (const Text& item : list)
        names.push_back(cookieName(item));
    for (const Text& item : old) {
        Text name = cookieName(item);
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            list.push_back(item);
            names.push_back(std::move(name));
        }
    }
    Text result;
    for (const Text& item : list) {
        if (endsWith(item, "=deleted"))
            continue;
        result += item;
        result += "; ";
    }
    if (!result.empty())
        result.resize(result.size() - 2);
    result = uniqueJoin(result, "; ");
    sent = result;
    return result;
}

Text uniqueJoin(const Text& text, const Text& sep)
{
    std::vector<Text> kept;
    for (Text& item : splitText(text, sep))
        if (std::find(kept.begin(), kept.end(), item) == kept.end())
            kept.push_back(std::move(item));
    return joinTexts(kept, sep);
}

void stripInvalidFileNameChars(Text& text)
{
    static constexpr std::string_view invalid = "/\\:*?<>|\"";
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        if (isDoubleByteAt(text, i)) {
            out.append(text, i, 2);
            i += 2;
            continue;
        }
        if (invalid.find(text[i]) == std::string_view::npos)
            out.push_back(text[i]);
        ++i;
    }
    text = std::move(out);
}

namespace {

const char* const kDayShort[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kDayLong[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonthShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthLong[] = {"January", "February", "March",     "April",   "May",      "June",
                                  "July",    "August",   "September", "October", "November", "December"};

Text padded(int value, std::size_t width)
{
    Text digits = std::to_string(value);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return digits;
}

// Expands a date or time picture. `letters` are the picture letters of this kind; every
// other character is copied, and text in single quotes is copied without its quotes
// ('' stands for one quote).
Text expandPicture(const Text& picture, std::string_view letters, const std::tm& tm, bool force24h)
{
    Text out;
    for (std::size_t i = 0; i < picture.size();) {
        if (isDoubleByteAt(picture, i)) {
            out.append(picture, i, 2);
            i += 2;
            continue;
        }
        const char c = picture[i];
        if (c == '\'') {
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        out.push_back('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out.push_back(picture[i++]);
            }
            continue;
        }
        if (letters.find(c) == std::string_view::npos) {
            out.push_back(c);
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        i += run;
        switch (c) {
        case 'd':
            out += run == 1 ? std::to_string(tm.tm_mday)
                 : run == 2 ? padded(tm.tm_mday, 2)
                 : run == 3 ? kDayShort[tm.tm_wday]
                            : kDayLong[tm.tm_wday];
            break;
        case 'M':
            out += run == 1 ? std::to_string(tm.tm_mon + 1)
                 : run == 2 ? padded(tm.tm_mon + 1, 2)
                 : run == 3 ? kMonthShort[tm.tm_mon]
                            : kMonthLong[tm.tm_mon];
            break;
        case 'y': {
            const int year = tm.tm_year + 1900;
            out += run == 1 ? std::to_string(year % 100) : run == 2 ? padded(year % 100, 2) : padded(year, 4);
            break;
        }
        case 'g':
            out += "A.D.";
            break;
        case 'h':
        case 'H': {
            int hour = tm.tm_hour;
            if (c == 'h' && !force24h) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            out += run == 1 ? std::to_string(hour) : padded(hour, 2);
            break;
        }
        case 'm':
            out += run == 1 ? std::to_string(tm.tm_min) : padded(tm.tm_min, 2);
            break;
        case 's':
            out += run == 1 ? std::to_string(tm.tm_sec) : padded(tm.tm_sec, 2);
            break;
        case 't':
            if (!force24h)
                out += run == 1 ? (tm.tm_hour < 12 ? "A" : "P") : (tm.tm_hour < 12 ? "AM" : "PM");
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace

Text formatLocalTime(std::time_t when, const Text& datePicture, const Text& timePicture, bool force24h)
{
    std::tm tm{};
    if (localtime_r(&when, &tm) == nullptr)
        return {};
    Text out;
    if (datePicture.size() >= 3)
        out += expandPicture(datePicture, "dMyg", tm, force24h);
    if (timePicture.size() >= 3)
        out += expandPicture(timePicture, "hHmst", tm, force24h);
    return out;
}

Text numberText(long long value) { return std::to_string(value); }

} // namespace qingtong
