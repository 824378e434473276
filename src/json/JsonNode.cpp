#include "json/JsonNode.h"

#include <cmath>
#include <limits>
#include <utility>

#include "json/JsonParser.h"
#include "json/JsonPath.h"
#include "json/JsonText.h"
#include "json/JsonWriter.h"
#include "json/ValueTree.h"

namespace qingtong {

using namespace jsontree;

namespace {

WideText wide(const Text& text) { return jsontext::gbkToWide(text); }
Text narrow(const WideText& text) { return jsontext::wideToGbk(text); }

// Runs f, turning an exception (memory exhausted inside a standard container) into fallback.
template <typename R, typename F>
R guarded(R fallback, F&& f) noexcept
{
    try {
        return f();
    } catch (...) {
        return fallback;
    }
}

WideText textOf(const ValueNode* node)
{
    if (!node)
        return WideText();
    switch (node->type) {
    case JsonString:
    case JsonReal:
    case JsonInteger: return WideText(node->text, node->textLength);
    case JsonBoolean: return node->value.boolean ? u"true" : u"false";
    default: return WideText();
    }
}

// Truncation toward zero that stays defined for values outside the target range.
template <typename T>
T truncated(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    if (value <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    return static_cast<T>(value);
}

char16_t foldCase(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

// Name order for sortMembers: letters compare alphabetically whatever their case; without
// ignoreCase, names that differ only in case put the lower-case letter first.
int compareNames(const ValueNode* a, const ValueNode* b, bool ignoreCase)
{
    std::size_t n = std::min(a->keyLength, b->keyLength);
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = foldCase(a->key[i]);
        char16_t y = foldCase(b->key[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a->keyLength != b->keyLength)
        return a->keyLength < b->keyLength ? -1 : 1;
    if (ignoreCase)
        return 0;
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = a->key[i];
        char16_t y = b->key[i];
        if (x != y) // same letter in another case: lower case first
            return x > y ? -1 : 1;
    }
    return 0;
}

// In-place quicksort with a median of three; the larger side is handled by the loop and the
// smaller one by an explicit stack, so no input can make it recurse deeply.
template <typename Less>
void quicksort(ValueNode** items, std::int64_t count, Less&& compare)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    ranges.emplace_back(0, count - 1);
    while (!ranges.empty()) {
        auto [lo, hi] = ranges.back();
        ranges.pop_back();
        while (lo < hi) {
            std::int64_t mid = lo + (hi - lo) / 2;
            if (compare(items[lo], items[hi]) > 0)
                std::swap(items[lo], items[hi]);
            if (compare(items[mid], items[hi]) > 0)
                std::swap(items[mid], items[hi]);
            if (compare(items[mid], items[lo]) > 0)
                std::swap(items[mid], items[lo]);
            ValueNode* pivot = items[lo];
            std::int64_t i = lo;
            std::int64_t j = hi;
            while (i < j) {
                while (i < j && compare(items[j], pivot) >= 0)
                    --j;
                if (i < j)
                    items[i++] = items[j];
                while (i < j && compare(items[i], pivot) <= 0)
                    ++i;
                if (i < j)
                    items[j--] = items[i];
            }
            items[i] = pivot;
            if (i - lo < hi - i) {
                ranges.emplace_back(i + 1, hi);
                hi = i - 1;
            } else {
                ranges.emplace_back(lo, i - 1);
                lo = i + 1;
            }
        }
    }
}

ValueNode** sortableItems(ValueNode* node, std::uint32_t& count)
{
    count = 0;
    if (!node)
        return nullptr;
    if (node->type == JsonArray && node->value.list) {
        count = node->value.list->count;
        return node->value.list->items;
    }
    if (node->type == JsonObject && node->value.map) {
        count = node->value.map->order.count;
        return node->value.map->order.items;
    }
    return nullptr;
}

// Replaces a member by source under its own name. Elements and roots cannot be replaced:
// source is freed and the answer is false.
bool replaceMember(ValueNode* target, ValueNode* source)
{
    ValueNode* container = target->parent;
    if (!container || container->type != JsonObject) {
        freeNode(source);
        return false;
    }
    if (!setMember(container, target->key, target->keyLength, source)) {
        freeNode(source);
        return false;
    }
    return true;
}

// Merges source (owned, freed here) into target: objects member by member, recursively
// through an explicit stack; anything else replaces the target member. A nested pair of
// objects is walked in place, so each source value is copied once however deep it lies.
bool mergeInto(ValueNode* target, ValueNode* source, bool addMissing)
{
    if (target->type != JsonObject || source->type != JsonObject)
        return replaceMember(target, source);
    struct Frame {
        ValueNode* target;
        const ValueNode* source;
        std::uint32_t next;
        bool result;
    };
    std::vector<Frame> stack;
    bool result = true;
    stack.push_back({target, source, 0, false});
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next >= childCount(frame.source)) {
            bool merged = frame.result;
            stack.pop_back();
            if (!merged) { // nothing merged at this level stops the whole merge
                result = false;
                break;
            }
            if (!stack.empty())
                stack.back().result = true;
            continue;
        }
        const ValueNode* member = childAt(frame.source, frame.next++);
        ValueNode* existing = findMember(frame.target, member->key, member->keyLength);
        if (!existing && !addMissing)
            continue;
        if (existing && existing->type == JsonObject && member->type == JsonObject) {
            stack.push_back({existing, member, 0, false});
            continue;
        }
        ValueNode* copy = copyNode(frame.target->heap, member);
        bool ok = false;
        if (copy)
            ok = existing ? replaceMember(existing, copy)
                          : setMember(frame.target, member->key, member->keyLength, copy);
        if (!ok) {
            if (copy && !existing)
                freeNode(copy);
            result = false;
            break;
        }
        frame.result = true;
    }
    freeNode(source);
    return result;
}

} // namespace

ValueNode* JsonNode::readAt(const char16_t* path, std::size_t length) const
{
    return guarded<ValueNode*>(nullptr, [&] { return readWalk(m_node, path, length); });
}

ValueNode* JsonNode::createAt(const char16_t* path, std::size_t length)
{
    return guarded<ValueNode*>(nullptr, [&] { return createWalk(m_node, path, length); });
}

ValueNode* JsonNode::copyForThisTree(const JsonNode& source) const
{
    if (!m_node || !source.m_node)
        return nullptr;
    return guarded<ValueNode*>(nullptr, [&] { return copyNode(m_node->heap, source.m_node); });
}

WideText JsonNode::serialise(const ValueNode* node, bool pretty, bool escape, int capacity) const
{
    return guarded<WideText>(WideText(), [&] {
        WideText out;
        if (!node)
            return out;
        out.reserve(capacity > 0 ? static_cast<std::size_t>(capacity) : 1024);
        writeJson(node, pretty, escape, out);
        return out;
    });
}

// ---- serialisation ----

WideText JsonNode::toTextW(const WideText& path, bool pretty, bool escape, int capacity) const
{
    return serialise(readAt(path.data(), path.size()), pretty, escape, capacity);
}

Text JsonNode::toText(const Text& path, bool pretty, bool escape, int capacity) const
{
    return narrow(toTextW(wide(path), pretty, escape, capacity));
}

Text JsonNode::toTextUtf8(const Text& path, bool pretty, bool escape, int capacity) const
{
    return jsontext::wideToUtf8(toTextW(jsontext::utf8ToWide(path), pretty, escape, capacity));
}

// ---- read access ----

int JsonNode::typeOfW(const WideText& path) const
{
    ValueNode* node = readAt(path.data(), path.size());
    return node ? static_cast<int>(node->type) : static_cast<int>(JsonMissing);
}
int JsonNode::typeOf(const Text& path) const { return typeOfW(wide(path)); }

JsonNode JsonNode::parentOfW(const WideText& path) const
{
    ValueNode* node = readAt(path.data(), path.size());
    return wrap(node ? node->parent : nullptr);
}
JsonNode JsonNode::parentOf(const Text& path) const { return parentOfW(wide(path)); }

int JsonNode::countOfW(const WideText& path) const
{
    return static_cast<int>(childCount(readAt(path.data(), path.size())));
}
int JsonNode::countOf(const Text& path) const { return countOfW(wide(path)); }

bool JsonNode::existsW(const WideText& path) const
{
    return guarded(false, [&] { return hasSegments(path.data(), path.size()); })
        && readAt(path.data(), path.size()) != nullptr;
}
bool JsonNode::exists(const Text& path) const { return existsW(wide(path)); }

JsonNode JsonNode::getMemberW(const WideText& path, const WideText& key) const
{
    return wrap(findMember(readAt(path.data(), path.size()), key.data(), key.size()));
}
JsonNode JsonNode::getMember(const Text& path, const Text& key) const
{
    return getMemberW(wide(path), wide(key));
}

JsonNode JsonNode::elementAtW(const WideText& path, int index) const
{
    return wrap(childAt(readAt(path.data(), path.size()), index));
}
JsonNode JsonNode::elementAt(const Text& path, int index) const { return elementAtW(wide(path), index); }

WideText JsonNode::keyOfW(const WideText& path) const
{
    ValueNode* node = readAt(path.data(), path.size());
    if (!node || !node->parent || node->parent->type != JsonObject)
        return WideText();
    return WideText(node->key, node->keyLength);
}
Text JsonNode::keyOf(const Text& path) const { return narrow(keyOfW(wide(path))); }

WideText JsonNode::getLiteralW(const WideText& path) const
{
    ValueNode* node = readAt(path.data(), path.size());
    if (!node || node->type == JsonString)
        return WideText();
    return textOf(node);
}
Text JsonNode::getLiteral(const Text& path) const { return narrow(getLiteralW(wide(path))); }

WideText JsonNode::getTextW(const WideText& path) const
{
    return textOf(readAt(path.data(), path.size()));
}
Text JsonNode::getText(const Text& path) const
{
    WideText widePath = wide(path);
    const ValueNode* found = readAt(widePath.data(), widePath.size());
    if (!found)
        return Text();
    if (found->type == JsonBoolean)
        return found->value.boolean ? "true" : "false";
    if (found->type != JsonString && found->type != JsonReal && found->type != JsonInteger)
        return Text();
    return jsontext::wideToGbk(found->text, found->textLength);
}

bool JsonNode::getBoolW(const WideText& path) const
{
    ValueNode* node = readAt(path.data(), path.size());
    if (!node)
        return false;
    switch (node->type) {
    case JsonReal: return std::fabs(realOf(node)) > 1e-7;
    case JsonInteger: return node->value.integer != 0;
    case JsonBoolean: return node->value.boolean != 0;
    default: return false;
    }
}
bool JsonNode::getBool(const Text& path) const { return getBoolW(wide(path)); }

double JsonNode::getRealW(const WideText& path) const
{
    ValueNode* node = readAt(path.data(), path.size());
    if (!node)
        return 0.0;
    switch (node->type) {
    case JsonReal: return realOf(node);
    case JsonInteger: return static_cast<double>(node->value.integer);
    case JsonBoolean: return node->value.boolean ? 1.0 : 0.0;
    case JsonString: return jsontext::readDecimal(node->text, node->textLength);
    default: return 0.0;
    }
}
double JsonNode::getReal(const Text& path) const { return getRealW(wide(path)); }

std::int64_t JsonNode::getInt64W(const WideText& path) const
{
    ValueNode* node = readAt(path.data(), path.size());
    if (!node)
        return 0;
    switch (node->type) {
    case JsonReal: return truncated<std::int64_t>(realOf(node));
    case JsonInteger: return node->value.integer;
    case JsonBoolean: return node->value.boolean ? 1 : 0;
    case JsonString: return jsontext::readInteger(node->text, node->textLength);
    default: return 0;
    }
}
std::int64_t JsonNode::getInt64(const Text& path) const { return getInt64W(wide(path)); }

int JsonNode::getIntW(const WideText& path) const
{
    ValueNode* node = readAt(path.data(), path.size());
    if (!node)
        return 0;
    switch (node->type) {
    case JsonReal: return truncated<int>(realOf(node));
    case JsonInteger: return static_cast<int>(static_cast<std::uint32_t>(node->value.integer));
    case JsonBoolean: return node->value.boolean ? 1 : 0;
    case JsonString:
        return static_cast<int>(static_cast<std::uint32_t>(jsontext::readInteger(node->text, node->textLength)));
    default: return 0;
    }
}
int JsonNode::getInt(const Text& path) const { return getIntW(wide(path)); }

int JsonNode::getKeysW(const WideText& path, std::vector<WideText>& keys) const
{
    ValueNode* node = readAt(path.data(), path.size());
    if (!node || node->type != JsonObject)
        return 0;
    return guarded(0, [&] {
        std::vector<WideText> names;
        std::uint32_t count = childCount(node);
        names.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const ValueNode* member = childAt(node, i);
            names.emplace_back(member->key, member->keyLength);
        }
        keys = std::move(names);
        return static_cast<int>(count);
    });
}
int JsonNode::getKeys(const Text& path, std::vector<Text>& keys) const
{
    WideText widePath = wide(path);
    if (typeOfW(widePath) != JsonObject)
        return 0;
    std::vector<WideText> names;
    int count = getKeysW(widePath, names);
    return guarded(0, [&] {
        std::vector<Text> converted;
        converted.reserve(names.size());
        for (const WideText& name : names)
            converted.push_back(narrow(name));
        keys = std::move(converted);
        return count;
    });
}

int JsonNode::getChildrenW(const WideText& path, std::vector<JsonNode>& nodes) const
{
    ValueNode* node = readAt(path.data(), path.size());
    std::uint32_t count = childCount(node);
    if (count == 0)
        return 0;
    return guarded(0, [&] {
        std::vector<JsonNode> children;
        children.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i)
            children.push_back(wrap(childAt(node, i)));
        nodes = std::move(children);
        return static_cast<int>(count);
    });
}
int JsonNode::getChildren(const Text& path, std::vector<JsonNode>& nodes) const
{
    return getChildrenW(wide(path), nodes);
}

JsonNode JsonNode::nodeAtW(const WideText& path) { return wrap(createAt(path.data(), path.size())); }
JsonNode JsonNode::nodeAt(const Text& path) { return nodeAtW(wide(path)); }

// ---- editing ----

bool JsonNode::removeMemberW(const WideText& path, const WideText& key)
{
    ValueNode* node = createAt(path.data(), path.size());
    return guarded(false, [&] { return jsontree::removeMember(node, key.data(), key.size()); });
}
bool JsonNode::removeMember(const Text& path, const Text& key) { return removeMemberW(wide(path), wide(key)); }

bool JsonNode::removeElementW(const WideText& path, int index)
{
    ValueNode* node = createAt(path.data(), path.size());
    return guarded(false, [&] { return jsontree::removeElement(node, index); });
}
bool JsonNode::removeElement(const Text& path, int index) { return removeElementW(wide(path), index); }

void JsonNode::clearValueW(const WideText& path)
{
    ValueNode* node = createAt(path.data(), path.size());
    guarded(0, [&] {
        resetToNull(node);
        return 0;
    });
}
void JsonNode::clearValue(const Text& path) { clearValueW(wide(path)); }

JsonNode::Handle JsonNode::newNode(int type)
{
    if (!m_node)
        return 0;
    return reinterpret_cast<Handle>(jsontree::newNode(m_node->heap, type));
}

JsonNode JsonNode::addMemberAt(const WideText& path, const WideText& key, int type, std::int64_t position)
{
    if (type < JsonNull || type > JsonObject)
        return JsonNode();
    ValueNode* node = createAt(path.data(), path.size());
    if (!node)
        return JsonNode();
    return guarded(JsonNode(), [&] {
        if (node->type != JsonObject)
            jsontree::makeObject(node);
        if (position < 0 || position > childCount(node)) {
            // Only a member of that name can take an out-of-range position: it keeps its own.
            if (position != -1 && !findMember(node, key.data(), key.size()))
                return JsonNode();
            position = -1;
        }
        ValueNode* child = jsontree::newNode(node->heap, type);
        if (!child || !setMember(node, key.data(), key.size(), child, position)) {
            freeNode(child);
            return JsonNode();
        }
        return wrap(child);
    });
}

JsonNode JsonNode::addMemberW(const WideText& path, const WideText& key, int type)
{
    return addMemberAt(path, key, type, -1);
}
JsonNode JsonNode::addMember(const Text& path, const Text& key, int type)
{
    return addMemberW(wide(path), wide(key), type);
}

JsonNode JsonNode::insertMemberW(const WideText& path, int position, const WideText& key, int type)
{
    // -2 stands for any position outside the member order; addMemberAt treats -1 as "append".
    return addMemberAt(path, key, type, position < 0 ? -2 : position);
}
JsonNode JsonNode::insertMember(const Text& path, int position, const Text& key, int type)
{
    return insertMemberW(wide(path), position, wide(key), type);
}

bool JsonNode::setMemberCopyAt(const WideText& path, const WideText& key, const JsonNode& source)
{
    // Copy first: the walk may free the source when it lies on the path.
    ValueNode* copy = copyForThisTree(source);
    if (!copy)
        return false;
    ValueNode* node = createAt(path.data(), path.size());
    bool ok = node && guarded(false, [&] {
        if (node->type != JsonObject)
            jsontree::makeObject(node);
        return setMember(node, key.data(), key.size(), copy);
    });
    if (!ok)
        freeNode(copy);
    return ok;
}

bool JsonNode::setMemberCopyW(const WideText& path, const WideText& key, const JsonNode& source)
{
    return setMemberCopyAt(path, key, source);
}
bool JsonNode::setMemberCopy(const Text& path, const Text& key, const JsonNode& source)
{
    return setMemberCopyAt(wide(path), wide(key), source);
}
bool JsonNode::putMemberCopyW(const WideText& path, const WideText& key, const JsonNode& source)
{
    return setMemberCopyAt(path, key, source);
}
bool JsonNode::putMemberCopy(const Text& path, const Text& key, const JsonNode& source)
{
    return setMemberCopyAt(wide(path), wide(key), source);
}

JsonNode JsonNode::appendNewW(const WideText& path, int type)
{
    if (type < JsonNull || type > JsonObject)
        return JsonNode();
    ValueNode* node = createAt(path.data(), path.size());
    if (!node)
        return JsonNode();
    return guarded(JsonNode(), [&] {
        if (node->type != JsonArray)
            jsontree::makeArray(node);
        ValueNode* child = jsontree::newNode(node->heap, type);
        if (!appendElement(node, child)) {
            freeNode(child);
            return JsonNode();
        }
        return wrap(child);
    });
}
JsonNode JsonNode::appendNew(const Text& path, int type) { return appendNewW(wide(path), type); }

bool JsonNode::appendCopyW(const WideText& path, const JsonNode& source)
{
    ValueNode* copy = copyForThisTree(source);
    if (!copy)
        return false;
    ValueNode* node = createAt(path.data(), path.size());
    bool ok = node && guarded(false, [&] {
        if (node->type != JsonArray)
            jsontree::makeArray(node);
        return appendElement(node, copy);
    });
    if (!ok)
        freeNode(copy);
    return ok;
}
bool JsonNode::appendCopy(const Text& path, const JsonNode& source) { return appendCopyW(wide(path), source); }

JsonNode JsonNode::insertNewW(const WideText& path, int index, int type)
{
    if (type < JsonNull || type > JsonObject)
        return JsonNode();
    ValueNode* node = createAt(path.data(), path.size());
    if (!node)
        return JsonNode();
    return guarded(JsonNode(), [&] {
        if (node->type != JsonArray)
            jsontree::makeArray(node);
        if (index < 0 || static_cast<std::uint32_t>(index) > childCount(node))
            return JsonNode();
        ValueNode* child = jsontree::newNode(node->heap, type);
        if (!insertElement(node, index, child)) {
            freeNode(child);
            return JsonNode();
        }
        return wrap(child);
    });
}
JsonNode JsonNode::insertNew(const Text& path, int index, int type) { return insertNewW(wide(path), index, type); }

bool JsonNode::setElementCopyW(const WideText& path, int index, const JsonNode& source)
{
    if (index < 0)
        return false;
    ValueNode* copy = copyForThisTree(source);
    if (!copy)
        return false;
    ValueNode* node = createAt(path.data(), path.size());
    bool ok = node && guarded(false, [&] {
        if (node->type != JsonArray)
            jsontree::makeArray(node);
        return putElement(node, index, copy);
    });
    if (!ok)
        freeNode(copy);
    return ok;
}
bool JsonNode::setElementCopy(const Text& path, int index, const JsonNode& source)
{
    return setElementCopyW(wide(path), index, source);
}

bool JsonNode::makeObjectW(const WideText& path, int buckets)
{
    ValueNode* node = createAt(path.data(), path.size());
    return node && guarded(false, [&] { return jsontree::makeObject(node, buckets); });
}
bool JsonNode::makeObject(const Text& path, int buckets) { return makeObjectW(wide(path), buckets); }

bool JsonNode::makeArrayW(const WideText& path, int capacity)
{
    ValueNode* node = createAt(path.data(), path.size());
    return node && guarded(false, [&] { return jsontree::makeArray(node, capacity); });
}
bool JsonNode::makeArray(const Text& path, int capacity) { return makeArrayW(wide(path), capacity); }

bool JsonNode::setStringW(const WideText& path, const WideText& value)
{
    ValueNode* node = createAt(path.data(), path.size());
    return node && guarded(false, [&] { return jsontree::setString(node, value.data(), value.size()); });
}
bool JsonNode::setString(const Text& path, const Text& value) { return setStringW(wide(path), wide(value)); }

bool JsonNode::setNullW(const WideText& path)
{
    ValueNode* node = createAt(path.data(), path.size());
    return node && guarded(false, [&] {
        jsontree::setNull(node);
        return true;
    });
}
bool JsonNode::setNull(const Text& path) { return setNullW(wide(path)); }

bool JsonNode::setBoolW(const WideText& path, bool value)
{
    ValueNode* node = createAt(path.data(), path.size());
    return node && guarded(false, [&] {
        jsontree::setBool(node, value);
        return true;
    });
}
bool JsonNode::setBool(const Text& path, bool value) { return setBoolW(wide(path), value); }

bool JsonNode::setRealW(const WideText& path, double value)
{
    ValueNode* node = createAt(path.data(), path.size());
    return node && guarded(false, [&] { return jsontree::setReal(node, value); });
}
bool JsonNode::setReal(const Text& path, double value) { return setRealW(wide(path), value); }

bool JsonNode::setInt64W(const WideText& path, std::int64_t value)
{
    ValueNode* node = createAt(path.data(), path.size());
    return node && guarded(false, [&] { return jsontree::setInteger(node, value); });
}
bool JsonNode::setInt64(const Text& path, std::int64_t value) { return setInt64W(wide(path), value); }
bool JsonNode::setIntW(const WideText& path, int value) { return setInt64W(path, value); }
bool JsonNode::setInt(const Text& path, int value) { return setInt64W(wide(path), value); }

bool JsonNode::parseAtW(const WideText& path, const WideText& text, int mode)
{
    ValueNode* node = createAt(path.data(), path.size());
    if (!node)
        return false;
    int errorPos = 0;
    return parseInto(node, text.data(), text.size(), mode, errorPos) == 0;
}
bool JsonNode::parseAt(const Text& path, const Text& text, int mode)
{
    return parseAtW(wide(path), wide(text), mode);
}

bool JsonNode::setCopyW(const WideText& path, const JsonNode& source)
{
    ValueNode* copy = copyForThisTree(source);
    if (!copy)
        return false;
    ValueNode* node = createAt(path.data(), path.size());
    if (node)
        exchangeValues(node, copy);
    freeNode(copy); // now holds the old value
    return node != nullptr;
}
bool JsonNode::setCopy(const Text& path, const JsonNode& source) { return setCopyW(wide(path), source); }

// ---- sorting ----

bool JsonNode::sortMembersW(const WideText& path, bool descending, bool ignoreCase)
{
    ValueNode* node = readAt(path.data(), path.size());
    if (!node || node->type != JsonObject || !node->value.map)
        return false;
    std::uint32_t count = 0;
    ValueNode** items = sortableItems(node, count);
    if (count > 1) {
        return guarded(false, [&] {
            quicksort(items, count, [&](const ValueNode* a, const ValueNode* b) {
                return descending ? compareNames(b, a, ignoreCase) : compareNames(a, b, ignoreCase);
            });
            return true;
        });
    }
    return true;
}
bool JsonNode::sortMembers(const Text& path, bool descending, bool ignoreCase)
{
    return sortMembersW(wide(path), descending, ignoreCase);
}

void JsonNode::sortWithW(const WideText& path, const Compare& compare, int userValue)
{
    ValueNode* node = readAt(path.data(), path.size());
    std::uint32_t count = 0;
    ValueNode** items = sortableItems(node, count);
    if (!compare || count < 2)
        return;
    guarded(0, [&] {
        quicksort(items, count, [&](const ValueNode* a, const ValueNode* b) {
            return compare(reinterpret_cast<Handle>(a), reinterpret_cast<Handle>(b), userValue);
        });
        return 0;
    });
}
void JsonNode::sortWith(const Text& path, const Compare& compare, int userValue)
{
    sortWithW(wide(path), compare, userValue);
}

// ---- merging and swapping ----

bool JsonNode::mergeAt(const WideText& path, const WideText& text, int mode, bool addMissing)
{
    ValueNode* node = createAt(path.data(), path.size());
    if (!node)
        return false;
    return guarded(false, [&] {
        ValueNode* source = jsontree::newNode(node->heap, JsonObject);
        if (!source)
            return false;
        int errorPos = 0;
        if (parseInto(source, text.data(), text.size(), mode, errorPos) != 0) {
            freeNode(source);
            return false;
        }
        return mergeInto(node, source, addMissing);
    });
}

bool JsonNode::mergeTextW(const WideText& path, const WideText& text, bool addMissing)
{
    return mergeAt(path, text, DecodeUnicodeEscapes, addMissing);
}
bool JsonNode::mergeTextW(const WideText& path, const WideText& text, int mode, bool addMissing)
{
    return mergeAt(path, text, mode, addMissing);
}
bool JsonNode::mergeText(const Text& path, const Text& text, bool addMissing)
{
    return mergeAt(wide(path), wide(text), DecodeUnicodeEscapes, addMissing);
}
bool JsonNode::mergeText(const Text& path, const Text& text, int mode, bool addMissing)
{
    return mergeAt(wide(path), wide(text), mode, addMissing);
}

bool JsonNode::mergeObject(const Text& path, const JsonNode& source)
{
    if (!source.m_node || source.m_node->type != JsonObject)
        return false;
    ValueNode* copy = copyForThisTree(source);
    if (!copy)
        return false;
    WideText widePath = wide(path);
    ValueNode* node = createAt(widePath.data(), widePath.size());
    bool ok = node && guarded(false, [&] {
        if (node->type != JsonObject)
            jsontree::makeObject(node);
        while (ValueNode* member = childAt(copy, 0)) {
            detach(member);
            // The key travels with the detached member; set it under its own name.
            char16_t* key = member->key;
            std::uint32_t keyLength = member->keyLength;
            member->key = nullptr;
            member->keyLength = 0;
            bool linked = setMember(node, key, keyLength, member);
            releaseChars(member->heap, key, keyLength);
            if (!linked) {
                freeNode(member);
                return false;
            }
        }
        return true;
    });
    freeNode(copy);
    return ok;
}

bool JsonNode::appendAll(const Text& path, const JsonNode& source)
{
    if (!source.m_node || source.m_node->type != JsonArray)
        return false;
    ValueNode* copy = copyForThisTree(source);
    if (!copy)
        return false;
    WideText widePath = wide(path);
    ValueNode* node = createAt(widePath.data(), widePath.size());
    bool ok = node && guarded(false, [&] {
        if (node->type != JsonArray)
            jsontree::makeArray(node);
        while (ValueNode* element = childAt(copy, 0)) {
            detach(element);
            if (!appendElement(node, element)) {
                freeNode(element);
                return false;
            }
        }
        return true;
    });
    freeNode(copy);
    return ok;
}

bool JsonNode::swapWith(const Text& path, const JsonNode& other)
{
    WideText widePath = wide(path);
    ValueNode* a = readAt(widePath.data(), widePath.size());
    ValueNode* b = other.m_node;
    if (!a || !b || (a->isRoot != 0) != (b->isRoot != 0) || isAncestor(a, b) || isAncestor(b, a))
        return false;
    if (a->heap == b->heap) {
        exchangeValues(a, b);
        return true;
    }
    // Different trees have different heaps: move each value over as a copy.
    return guarded(false, [&] {
        ValueNode* intoB = copyNode(b->heap, a, true);
        ValueNode* intoA = copyNode(a->heap, b, true);
        if (!intoA || !intoB) {
            freeNode(intoA);
            freeNode(intoB);
            return false;
        }
        exchangeValues(a, intoA);
        exchangeValues(b, intoB);
        freeNode(intoA);
        freeNode(intoB);
        return true;
    });
}

} // namespace qingtong
