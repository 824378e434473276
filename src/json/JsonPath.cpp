#include "json/JsonPath.h"

#include <limits>

#include "json/JsonText.h"

namespace qingtong::jsontree {

bool PathCursor::next(PathSegment& segment)
{
    // The key is a slice of the path until an escape forces a copy.
    std::size_t keyStart = m_pos;
    std::size_t keyLength = 0;
    bool copied = false;
    auto addUnit = [&](std::size_t at) {
        if (!copied && at == keyStart + keyLength) {
            ++keyLength;
            return;
        }
        if (!copied) {
            m_buffer.assign(m_path + keyStart, keyLength);
            copied = true;
        }
        m_buffer.push_back(m_path[at]);
    };
    auto keySegment = [&]() {
        segment.isIndex = false;
        segment.index = 0;
        segment.key = copied ? m_buffer.data() : m_path + keyStart;
        segment.keyLength = copied ? m_buffer.size() : keyLength;
        return segment.keyLength > 0;
    };
    auto restart = [&](std::size_t at) {
        keyStart = at;
        keyLength = 0;
        copied = false;
    };
    while (m_pos < m_length) {
        char16_t c = m_path[m_pos];
        if (c == u'\\' && m_pos + 1 < m_length) {
            char16_t d = m_path[m_pos + 1];
            if (d == u'.' || d == u'[' || d == u']' || d == u'\\') {
                if (!copied && keyLength == 0)
                    keyStart = m_pos + 1;
                addUnit(m_pos + 1);
                m_pos += 2;
                continue;
            }
        }
        if (c == u'.' || c == u'[') {
            if (c == u'[')
                m_lastBracket = static_cast<std::ptrdiff_t>(m_pos);
            ++m_pos;
            if (keySegment())
                return true;
            restart(m_pos);
            continue;
        }
        if (c == u']' && m_lastBracket >= 0) {
            std::size_t from = static_cast<std::size_t>(m_lastBracket) + 1;
            std::size_t count = m_pos - from;
            std::int64_t index = count == 0 ? -1 : jsontext::readInteger(m_path + from, count);
            if (index > std::numeric_limits<int>::max())
                index = std::numeric_limits<int>::max();
            if (index < std::numeric_limits<int>::min())
                index = std::numeric_limits<int>::min();
            ++m_pos;
            segment.isIndex = true;
            segment.index = static_cast<int>(index);
            segment.key = nullptr;
            segment.keyLength = 0;
            return true;
        }
        if (!copied && keyLength == 0)
            keyStart = m_pos;
        addUnit(m_pos);
        ++m_pos;
    }
    return keySegment();
}

bool hasSegments(const char16_t* path, std::size_t length)
{
    PathCursor cursor(path, length);
    PathSegment segment;
    return cursor.next(segment);
}

ValueNode* readWalk(ValueNode* start, const char16_t* path, std::size_t length)
{
    ValueNode* node = start;
    if (!node)
        return nullptr;
    PathCursor cursor(path, length);
    PathSegment segment;
    while (node && cursor.next(segment)) {
        if (segment.isIndex)
            node = childAt(node, segment.index);
        else
            node = findMember(node, segment.key, segment.keyLength);
    }
    return node;
}

ValueNode* createWalk(ValueNode* start, const char16_t* path, std::size_t length)
{
    ValueNode* node = start;
    if (!node)
        return nullptr;
    PathCursor cursor(path, length);
    PathSegment segment;
    bool first = true;
    while (cursor.next(segment)) {
        if (!segment.isIndex) {
            if (node->type != JsonObject)
                makeObject(node);
            ValueNode* child = findMember(node, segment.key, segment.keyLength);
            if (!child) {
                child = newNode(node->heap, JsonNull);
                if (!setMember(node, segment.key, segment.keyLength, child)) {
                    freeNode(child);
                    return nullptr;
                }
            }
            node = child;
        } else {
            if (first && node->type != JsonArray)
                makeArray(node);
            std::int64_t index = segment.index < 0 ? childCount(node) : segment.index;
            if (node->type != JsonArray)
                makeArray(node);
            while (childCount(node) <= index) {
                ValueNode* filler = newNode(node->heap, JsonNull);
                if (!appendElement(node, filler)) {
                    freeNode(filler);
                    return nullptr;
                }
            }
            node = childAt(node, index);
        }
        first = false;
    }
    return node;
}

} // namespace qingtong::jsontree
