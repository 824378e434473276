#include "json/JsonParser.h"

#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "json/JsonText.h"

namespace qingtong::jsontree {

namespace {

enum State { ExpectKey = 1, ExpectValue = 2, AfterNested = 3 };

inline bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

inline bool isQuote(char16_t c)
{
    return c == u'"' || c == u'\'';
}

// Units that end a run of plain token text for the scanners: whitespace, structure, quotes,
// backslash, and NUL (which also stands after the last unit, so a run never reads past it).
// A stop is not always special where it stands; the scanners then treat it one by one.
struct StopTable {
    bool stop[128] = {};
    constexpr StopTable()
    {
        for (char c : {'\0', ' ', '\t', '\n', '\r', ',', ':', '[', ']', '{', '}', '"', '\'', '\\'})
            stop[static_cast<unsigned char>(c)] = true;
    }
};
constexpr StopTable kStops;

inline bool isStop(char16_t c)
{
    return c < 128 && kStops.stop[c];
}

// Index of the first unit at or after i that is neither whitespace nor NUL, or length + 1
// when there is none. text[length] must be NUL. Runs of blanks (indentation) go eight at a time.
inline std::size_t skipBlank(const char16_t* text, std::size_t i, std::size_t length)
{
    if (text[i] != 0 && !isSpace(text[i]))
        return i;
    for (;;) {
#if defined(__SSE2__)
        const __m128i blank = _mm_set1_epi16(u' ');
        while (i + 8 <= length) {
            __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
            unsigned blanks = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, blank)));
            if (blanks != 0xFFFF) {
                i += static_cast<std::size_t>(__builtin_ctz(~blanks)) / 2;
                break;
            }
            i += 8;
        }
#endif
        while (i <= length && text[i] == u' ')
            ++i;
        if (i > length || (text[i] != 0 && !isSpace(text[i])))
            return i;
        ++i; // a line break, tab or NUL
    }
}

// Index of the first stop at or after j.
inline std::size_t skipPlain(const char16_t* text, std::size_t j)
{
    while (!isStop(text[j]))
        ++j;
    return j;
}

inline int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

bool equals(const char16_t* token, std::size_t length, const char* word)
{
    std::size_t n = std::strlen(word);
    if (n != length)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (token[i] != static_cast<char16_t>(word[i]))
            return false;
    return true;
}

// Facts the scanners gather about a token while they pass over it.
struct Token {
    std::size_t start = 0;
    std::size_t count = 0;
    bool escaped = false;     // holds a backslash
    bool quotedRun = false;   // begins with a quote...
    std::size_t runEnd = 0;   // ...whose run closed after this many units (0: never closed)
};

class Parser {
public:
    Parser(ValueNode* root, const char16_t* text, std::size_t length, int mode)
        : m_root(root), m_heap(root->heap), m_text(text), m_length(length), m_mode(mode)
    {
    }

    int run(std::size_t& position)
    {
        m_stack.reserve(64);
        resetToNull(m_root);
        int result = 0;
        for (m_i = 0; m_i <= m_length; ++m_i) {
            m_i = skipBlank(m_text, m_i, m_length);
            if (m_i > m_length)
                break;
            char16_t c = m_text[m_i];
            if (c == u'{')
                result = open(JsonObject);
            else if (c == u'[')
                result = open(JsonArray);
            else
                result = scanToken();
            if (result != 0)
                break;
        }
        if (result == 0 && !m_stack.empty())
            result = ParseUnclosed;
        position = m_i;
        return result;
    }

private:
    struct Frame {
        ValueNode* node;
        int state;
    };

    // Units a backslash at j takes: itself and the next, or six before "u"; never past the end.
    std::size_t escapeLength(std::size_t j) const
    {
        std::size_t take = (j + 1 < m_length && m_text[j + 1] == u'u') ? 6 : 2;
        return j + take > m_length ? m_length - j : take;
    }

    // Index of the quote that closes a quoted run whose text begins at k, or m_length when the
    // text ends first; escaped units are passed over, and escaped is set when there are any.
    std::size_t closingQuote(std::size_t k, char16_t quote, bool& escaped) const
    {
        for (;;) {
#if defined(__SSE2__)
            const __m128i quotes = _mm_set1_epi16(static_cast<short>(quote));
            const __m128i backslashes = _mm_set1_epi16(u'\\');
            while (k + 8 <= m_length) {
                __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_text + k));
                __m128i hits = _mm_or_si128(_mm_cmpeq_epi16(units, quotes), _mm_cmpeq_epi16(units, backslashes));
                int mask = _mm_movemask_epi8(hits);
                if (mask != 0) {
                    k += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
                    break;
                }
                k += 8;
            }
#endif
            while (k < m_length && m_text[k] != quote && m_text[k] != u'\\')
                ++k;
            if (k >= m_length || m_text[k] == quote)
                return k;
            escaped = true;
            k += escapeLength(k);
        }
    }

    char16_t* work(std::size_t length)
    {
        if (m_work.size() < length + 2)
            m_work.resize(length + 2);
        return m_work.data();
    }

    ValueNode* pop()
    {
        ValueNode* node = m_stack.back().node;
        m_stack.pop_back();
        if (!m_stack.empty())
            m_stack.back().state = AfterNested;
        return node;
    }

    bool keyed(ValueNode* object, ValueNode* child)
    {
        const char16_t* key = m_text + m_keyStart;
        std::size_t length = m_keyLength;
        if (m_keyEscaped) {
            char16_t* buffer = work(length);
            length = unescape(key, length, (m_mode & DecodeUnicodeEscapes) != 0, buffer);
            key = buffer;
        }
        return setMember(object, key, length, child);
    }

    int open(int type)
    {
        if (m_stack.empty()) {
            if (m_root->type != type && !(type == JsonObject ? makeObject(m_root) : makeArray(m_root)))
                return ParseNoMemory;
            m_stack.push_back({m_root, type == JsonObject ? ExpectKey : ExpectValue});
            return 0;
        }
        Frame& top = m_stack.back();
        if (top.state != ExpectValue)
            return ParseStructure;
        ValueNode* parent = top.node;
        if (parent->type == JsonObject && m_keyStart < 0)
            return ParseStructure;
        ValueNode* child = newNode(m_heap, type);
        if (!child)
            return ParseNoMemory;
        bool linked = parent->type == JsonArray ? appendElement(parent, child) : keyed(parent, child);
        if (!linked) {
            freeNode(child);
            return ParseNoMemory;
        }
        m_keyStart = -1;
        m_keyLength = 0;
        m_stack.push_back({child, type == JsonObject ? ExpectKey : ExpectValue});
        return 0;
    }

    int scanToken()
    {
        if (m_stack.empty())
            return (m_mode & IgnoreOuterText) ? 0 : topLevel();
        return m_stack.back().node->type == JsonArray ? scanArray() : scanObject();
    }

    // Text outside any container is one scalar: the whole text, less surrounding whitespace.
    int topLevel()
    {
        std::size_t start = 0;
        std::size_t end = m_length;
        while (start < end && (m_text[start] == 0 || isSpace(m_text[start])))
            ++start;
        while (end > start && (m_text[end - 1] == 0 || isSpace(m_text[end - 1])))
            --end;
        Token token;
        token.start = start;
        token.count = end - start;
        char16_t quote = m_text[start];
        if (isQuote(quote)) {
            token.quotedRun = true;
            for (std::size_t j = start + 1; j < end; ++j) {
                if (m_text[j] == u'\\') {
                    token.escaped = true;
                    j += escapeLength(j) - 1;
                } else if (m_text[j] == quote) {
                    token.runEnd = j + 1 - start;
                    break;
                }
            }
        } else {
            for (std::size_t j = start; j < end; ++j) {
                if (isSpace(m_text[j]))
                    return ParseBadToken; // two values with nothing between them
                if (m_text[j] == u'\\')
                    token.escaped = true;
            }
        }
        int result = classify(token, m_root);
        if (result == 0)
            m_i = m_length;
        return result;
    }

    int scanArray()
    {
        Frame& top = m_stack.back();
        if (top.state == AfterNested) {
            top.state = ExpectValue;
            if (m_text[m_i] == u',')
                return 0;
        }
        ValueNode* array = top.node;
        Token token;
        token.start = m_i;
        bool gap = false;
        std::size_t j = m_i;
        for (;;) {
            if (j >= m_length) {
                m_i = j;
                if (token.quotedRun && token.runEnd == 0) {
                    m_i = token.start;
                    return ParseOpenQuote;
                }
                break;
            }
            char16_t c = m_text[j];
            if (isSpace(c)) {
                if (token.count == 0)
                    token.start = j + 1;
                else
                    gap = true;
                ++j;
                continue;
            }
            if (c == u',' || c == u']') {
                m_i = j;
                if (c == u']')
                    pop();
                break;
            }
            if (c == u'{' || c == u'[') {
                if (token.count == 0) {
                    m_i = j;
                    return open(c == u'{' ? JsonObject : JsonArray);
                }
                m_i = token.start;
                return ParseBadToken;
            }
            if (gap) { // a second value without a separator
                m_i = token.start;
                return ParseBadToken;
            }
            if (isQuote(c)) {
                bool first = token.count == 0;
                std::size_t k = closingQuote(j + 1, c, token.escaped);
                if (first)
                    token.quotedRun = true;
                if (k >= m_length) { // the text ends inside the quotes
                    m_i = token.start;
                    return ParseOpenQuote;
                }
                token.count += k + 1 - j;
                if (first)
                    token.runEnd = token.count;
                j = k + 1;
                continue;
            }
            if (c == u'\\') {
                std::size_t take = escapeLength(j);
                token.escaped = true;
                token.count += take;
                j += take;
                continue;
            }
            std::size_t run = skipPlain(m_text, j + 1);
            token.count += run - j;
            j = run;
        }
        if (token.count == 0)
            return 0;
        ValueNode* child = newNode(m_heap, JsonNull);
        if (!child)
            return ParseNoMemory;
        int result = classify(token, child);
        if (result != 0) {
            freeNode(child);
            m_i = token.start;
            return result;
        }
        if (!appendElement(array, child)) {
            freeNode(child);
            return ParseNoMemory;
        }
        return 0;
    }

    int scanObject()
    {
        std::size_t depth = m_stack.size();
        Frame& top = m_stack.back();
        if (top.state == AfterNested) {
            top.state = ExpectKey;
            if (m_text[m_i] == u',')
                return 0;
        }
        if (top.state != ExpectKey)
            return ParseStructure;
        ValueNode* object = top.node;
        m_keyStart = static_cast<std::int64_t>(m_i);
        std::size_t keyCount = 0;
        bool keyQuoted = false;
        bool keyGap = false;
        bool inValue = false;
        bool valueGap = false;
        bool popped = false;
        m_keyEscaped = false;
        Token value; // start 0 until a ":" is read
        std::size_t j = m_i;
        for (;;) {
            if (j >= m_length) {
                m_i = j;
                break;
            }
            char16_t c = m_text[j];
            if (isSpace(c)) {
                if (!inValue) {
                    if (keyCount == 0 && !keyQuoted)
                        m_keyStart = static_cast<std::int64_t>(j + 1);
                    else if (!keyQuoted)
                        keyGap = true;
                } else if (value.count == 0) {
                    value.start = j + 1;
                } else {
                    valueGap = true;
                }
                ++j;
                continue;
            }
            if (c == u',') {
                m_i = j;
                break;
            }
            if (c == u'}') {
                m_i = j;
                pop();
                popped = true;
                if (keyCount == 0 && !keyQuoted)
                    return 0;
                break;
            }
            if (c == u'{' || c == u'[') {
                if (value.count == 0) {
                    m_i = j;
                    m_keyLength = keyCount;
                    return open(c == u'{' ? JsonObject : JsonArray);
                }
                m_i = value.start;
                return ParseBadToken;
            }
            if (!inValue) {
                if (c == u':') {
                    if (keyCount == 0 && !keyQuoted) {
                        m_i = j;
                        return ParseStructure;
                    }
                    inValue = true;
                    value.start = j + 1;
                    top.state = ExpectValue;
                    ++j;
                    continue;
                }
                if (keyQuoted || keyGap || (isQuote(c) && keyCount > 0)) {
                    m_i = j;
                    return ParseStructure;
                }
                if (isQuote(c)) {
                    std::size_t k = closingQuote(j + 1, c, m_keyEscaped);
                    m_keyStart = static_cast<std::int64_t>(j + 1);
                    if (k >= m_length) {
                        m_i = k > j + 1 ? j + 1 : value.start;
                        return ParseOpenQuote;
                    }
                    keyCount = k - j - 1;
                    keyQuoted = true;
                    j = k + 1;
                    continue;
                }
                if (c == u'\\') {
                    std::size_t take = escapeLength(j);
                    m_keyEscaped = true;
                    keyCount += take;
                    j += take;
                    continue;
                }
                std::size_t run = skipPlain(m_text, j + 1);
                keyCount += run - j;
                j = run;
                continue;
            }
            if (valueGap) {
                m_i = value.start;
                return ParseBadToken;
            }
            if (isQuote(c)) {
                bool first = value.count == 0;
                std::size_t k = closingQuote(j + 1, c, value.escaped);
                if (first)
                    value.quotedRun = true;
                if (k >= m_length) {
                    m_i = keyCount > 0 ? static_cast<std::size_t>(m_keyStart) : value.start;
                    return ParseOpenQuote;
                }
                value.count += k + 1 - j;
                if (first)
                    value.runEnd = value.count;
                j = k + 1;
                continue;
            }
            if (c == u'\\') {
                std::size_t take = escapeLength(j);
                value.escaped = true;
                value.count += take;
                j += take;
                continue;
            }
            std::size_t run = skipPlain(m_text, j + 1);
            value.count += run - j;
            j = run;
        }
        if (value.count == 0) {
            // A key without a value, or nothing at all between two commas.
            m_i = (keyCount > 0 || keyQuoted) ? value.start : m_i;
            return ParseBadToken;
        }
        if (!popped || m_stack.size() >= depth)
            m_stack[depth - 1].state = ExpectKey;
        ValueNode* child = newNode(m_heap, JsonNull);
        if (!child)
            return ParseNoMemory;
        int result = classify(value, child);
        if (result != 0) {
            freeNode(child);
            m_i = value.start;
            return result;
        }
        m_keyLength = keyCount;
        if (!keyed(object, child)) {
            freeNode(child);
            return ParseNoMemory;
        }
        m_keyStart = -1;
        m_keyLength = 0;
        return 0;
    }

    // Turns a token into a value of node.
    int classify(const Token& token, ValueNode* node)
    {
        const char16_t* t = m_text + token.start;
        std::size_t n = token.count;
        if (n > 0 && isQuote(t[0])) {
            if (n < 2 || t[n - 1] != t[0] || !token.quotedRun || token.runEnd != n)
                return ParseBadToken;
            if (!token.escaped)
                return setString(node, t + 1, n - 2) ? 0 : ParseNoMemory;
            char16_t* buffer = work(n);
            std::size_t length = unescape(t, n, (m_mode & DecodeUnicodeEscapes) != 0, buffer);
            return setString(node, buffer + 1, length - 2) ? 0 : ParseNoMemory;
        }
        if (n == 4 && equals(t, n, "null")) {
            setNull(node);
            return 0;
        }
        if (n == 4 && equals(t, n, "true")) {
            setBool(node, true);
            return 0;
        }
        if (n == 5 && equals(t, n, "false")) {
            setBool(node, false);
            return 0;
        }
        return number(t, n, node);
    }

    static int number(const char16_t* t, std::size_t n, ValueNode* node)
    {
        if (n == 0)
            return ParseBadToken;
        // Fast path: plain decimal integers that fit without overflow checks.
        std::size_t k = (t[0] == u'-') ? 1 : 0;
        if (n > k && n - k <= 18) {
            std::int64_t value = 0;
            std::size_t d = k;
            for (; d < n && t[d] >= u'0' && t[d] <= u'9'; ++d)
                value = value * 10 + (t[d] - u'0');
            if (d == n)
                return setIntegerLiteral(node, k ? -value : value, t, n) ? 0 : ParseNoMemory;
        }
        int points = 0;
        int exponents = 0;
        int signs = 0;
        bool visible = false;
        for (std::size_t i = 0; i < n; ++i) {
            char16_t c = t[i];
            if (c <= 0x20)
                continue;
            visible = true;
            if (c >= u'0' && c <= u'9')
                continue;
            if (c == u'.')
                ++points;
            else if (i == 0 && (c == u'+' || c == u'-'))
                continue;
            else if (i > 0 && (c == u'e' || c == u'E'))
                ++exponents;
            else if (i > 0 && (c == u'+' || c == u'-'))
                ++signs;
            else
                return ParseBadToken;
        }
        // Control characters are skipped, but a token made of nothing else is no number.
        if (!visible || points > 1 || exponents > 1 || signs > 1)
            return ParseBadToken;
        if (points || exponents || signs) {
            return setRealDeferred(node, t, n) ? 0 : ParseNoMemory;
        }
        return setIntegerLiteral(node, jsontext::readInteger(t, n), t, n) ? 0 : ParseNoMemory;
    }

    ValueNode* m_root;
    JsonHeap* m_heap;
    const char16_t* m_text;
    std::size_t m_length;
    int m_mode;
    std::size_t m_i = 0;
    std::vector<Frame> m_stack;
    std::u16string m_work;
    std::int64_t m_keyStart = -1;
    std::size_t m_keyLength = 0;
    bool m_keyEscaped = false;
};

} // namespace

std::size_t unescape(const char16_t* text, std::size_t length, bool decodeUnicode, char16_t* out)
{
    std::size_t o = 0;
    for (std::size_t k = 0; k < length; ++k) {
        char16_t c = text[k];
        if (c != u'\\' || k + 1 >= length) {
            out[o++] = c;
            continue;
        }
        char16_t d = text[k + 1];
        switch (d) {
        case u'\\':
        case u'/':
        case u'"': out[o++] = d; ++k; break;
        case u'b': out[o++] = 0x08; ++k; break;
        case u't': out[o++] = 0x09; ++k; break;
        case u'r': out[o++] = 0x0D; ++k; break;
        case u'f': out[o++] = 0x0C; ++k; break;
        case u'n':
            // A line feed written after other text becomes CR LF, unless a CR stands before it.
            if (o > 0 && out[o - 1] != 0x0D)
                out[o++] = 0x0D;
            out[o++] = 0x0A;
            ++k;
            break;
        case u'u': {
            int h0 = -1, h1 = -1, h2 = -1, h3 = -1;
            if (decodeUnicode && k + 5 < length) {
                h0 = hexValue(text[k + 2]);
                h1 = hexValue(text[k + 3]);
                h2 = hexValue(text[k + 4]);
                h3 = hexValue(text[k + 5]);
            }
            if (h0 < 0 || h1 < 0 || h2 < 0 || h3 < 0) {
                out[o++] = c;
                out[o++] = d;
                ++k;
                break;
            }
            char16_t unit = static_cast<char16_t>((h0 << 12) | (h1 << 8) | (h2 << 4) | h3);
            if (unit != 0)
                out[o++] = unit;
            k += 5;
            break;
        }
        default:
            out[o++] = c;
            out[o++] = d;
            ++k;
            break;
        }
    }
    return o;
}

int parseInto(ValueNode* node, const char16_t* text, std::size_t length, int mode, int& errorPos)
{
    errorPos = 0;
    if (!node)
        return ParseNoText;
    if (!text || length == 0 || text[length] != 0) {
        resetToNull(node);
        return ParseNoText;
    }
    std::size_t position = 0;
    int result;
    try {
        Parser parser(node, text, length, mode);
        result = parser.run(position);
    } catch (...) { // the container stack or the work buffer could not grow
        result = ParseNoMemory;
    }
    if (result != 0) {
        resetToNull(node);
        errorPos = static_cast<int>(position);
    }
    return result;
}

} // namespace qingtong::jsontree
