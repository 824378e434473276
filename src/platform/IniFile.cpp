#include "platform/IniFile.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/textRoutines.h"

namespace qingtong {
namespace {

// Read-modify-write of INI files is serialised within the process.
std::mutex& writeMutex()
{
    static std::mutex mutex;
    return mutex;
}

Text trimIniBlanks(const Text& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t'))
        ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return text.substr(begin, end - begin);
}

bool sameName(const Text& a, const Text& b) { return asciiLower(a) == asciiLower(b); }

// One line of the file: its bytes without the line end, and the line end itself.
struct Line {
    Text text;
    Text ending;  // "\r\n", "\n" or "" (a last line without one)
};

std::vector<Line> splitLines(const Text& content)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t nl = content.find('\n', pos);  // "\n" is never a trail byte
        if (nl == Text::npos) {
            lines.push_back({content.substr(pos), {}});
            break;
        }
        const bool cr = nl > pos && content[nl - 1] == '\r';
        lines.push_back({content.substr(pos, nl - pos - (cr ? 1 : 0)), cr ? "\r\n" : "\n"});
        pos = nl + 1;
    }
    return lines;
}

// Section name of a "[name]" line, or nothing.
bool sectionOf(const Text& line, Text& name)
{
    const Text t = trimIniBlanks(line);
    if (t.size() < 2 || t[0] != '[')
        return false;
    const std::size_t close = t.find(']');
    if (close == Text::npos)
        return false;
    name = trimIniBlanks(t.substr(1, close - 1));
    return true;
}

// Key of a "key=value" line (not a comment), or nothing.
bool keyOf(const Text& line, Text& key, Text& rest)
{
    const Text t = trimIniBlanks(line);
    if (t.empty() || t[0] == ';')
        return false;
    const std::size_t eq = findText(line, "=");
    if (eq == Text::npos)
        return false;
    key = trimIniBlanks(line.substr(0, eq));
    rest = line.substr(eq + 1);
    return true;
}

Text cutValue(const Text& raw)
{
    Text v = trimIniBlanks(raw);
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    if (v.size() > IniFile::kMaxValueLength) {
        std::size_t end = 0;
        while (end < v.size() && end + charLengthAt(v, end) <= IniFile::kMaxValueLength)
            end += charLengthAt(v, end);
        v.resize(end);
    }
    return v;
}

} // namespace

IniFile::IniFile(Text path) : m_path(std::move(path)) {}

Text IniFile::value(const Text& section, const Text& key, const Text& fallback) const
{
    const Text content = readTextFile(m_path);
    bool inSection = false;
    for (const Line& line : splitLines(content)) {
        Text name;
        if (sectionOf(line.text, name)) {
            if (inSection)
                break;  // only the first section of that name counts
            inSection = sameName(name, section);
            continue;
        }
        Text lineKey, rest;
        if (inSection && keyOf(line.text, lineKey, rest) && sameName(lineKey, key))
            return cutValue(rest);
    }
    return fallback;
}

bool IniFile::setValue(const Text& section, const Text& key, const Text& value)
{
    Text clean = value;
    for (char& c : clean)
        if (c == '\r' || c == '\n')
            c = ' ';
    const Text entry = key + "=" + clean;

    std::lock_guard<std::mutex> lock(writeMutex());
    const Text content = readTextFile(m_path);
    std::vector<Line> lines = splitLines(content);
    const Text newline = !lines.empty() && lines[0].ending == "\n" ? "\n" : "\r\n";

    int sectionLine = -1;  // the first section of that name
    int lastEntry = -1;    // last non-blank line inside it
    int keyLine = -1;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        Text name;
        if (sectionOf(lines[i].text, name)) {
            if (sectionLine >= 0)
                break;
            if (sameName(name, section))
                sectionLine = lastEntry = i;
            continue;
        }
        if (sectionLine < 0)
            continue;
        if (!trimIniBlanks(lines[i].text).empty())
            lastEntry = i;
        Text lineKey, rest;
        if (keyOf(lines[i].text, lineKey, rest) && sameName(lineKey, key)) {
            keyLine = i;
            break;
        }
    }

    if (keyLine >= 0) {
        lines[keyLine].text = entry;
    } else if (sectionLine >= 0) {
        if (lines[lastEntry].ending.empty())
            lines[lastEntry].ending = newline;
        lines.insert(lines.begin() + lastEntry + 1, Line{entry, newline});
    } else {
        if (!lines.empty() && lines.back().ending.empty())
            lines.back().ending = newline;
        lines.push_back({"[" + section + "]", newline});
        lines.push_back({entry, newline});
    }

    Text out;
    out.reserve(content.size() + entry.size() + section.size() + 8);
    for (const Line& line : lines) {
        out += line.text;
        out += line.ending;
    }
    return writeTextFile(m_path, out);
}

} // namespace qingtong
