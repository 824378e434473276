#pragma once

#include <cstddef>
#include <string>

#include "json/ValueTree.h"

namespace qingtong::jsontree {

// One step of a path: a key or an index (-1 for "[]" and negative numbers).
struct PathSegment {
    bool isIndex = false;
    int index = 0;
    const char16_t* key = nullptr;
    std::size_t keyLength = 0;
};

// Yields the segments of a path one after another. A key points into the path itself,
// or into the cursor's own buffer when it held backslash escapes.
class PathCursor {
public:
    PathCursor(const char16_t* path, std::size_t length) : m_path(path), m_length(length) {}
    bool next(PathSegment& segment);

private:
    const char16_t* m_path;
    std::size_t m_length;
    std::size_t m_pos = 0;
    std::ptrdiff_t m_lastBracket = -1;
    std::u16string m_buffer;
};

bool hasSegments(const char16_t* path, std::size_t length);
// Follows the path without changing anything; nullptr at the first step that finds nothing.
ValueNode* readWalk(ValueNode* start, const char16_t* path, std::size_t length);
// Follows the path, creating missing members and elements (as Null) and turning nodes of the
// wrong type into the needed container; nullptr only when memory runs out.
ValueNode* createWalk(ValueNode* start, const char16_t* path, std::size_t length);

} // namespace qingtong::jsontree
