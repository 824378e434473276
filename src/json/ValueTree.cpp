#include "json/ValueTree.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace qingtong::jsontree {

namespace {

// Frees the list or map of a container and queues its children for freeing.
void releaseContainer(ValueNode* node, std::vector<ValueNode*>& pending)
{
    JsonHeap* heap = node->heap;
    if (node->type == JsonArray) {
        if (NodeList* list = node->value.list) {
            for (std::uint32_t i = 0; i < list->count; ++i)
                pending.push_back(list->items[i]);
            heap->release(list->items, sizeof(ValueNode*) * list->capacity);
            heap->release(list, sizeof(NodeList));
        }
        node->value.list = nullptr;
    } else if (node->type == JsonObject) {
        if (MemberMap* map = node->value.map) {
            for (std::uint32_t i = 0; i < map->order.count; ++i)
                pending.push_back(map->order.items[i]);
            heap->release(map->order.items, sizeof(ValueNode*) * map->order.capacity);
            heap->release(map->buckets, sizeof(ValueNode*) * map->bucketCount);
            heap->release(map, sizeof(MemberMap));
        }
        node->value.map = nullptr;
    }
}

void releaseText(ValueNode* node)
{
    releaseChars(node->heap, node->text, node->textLength);
    node->text = nullptr;
    node->textLength = 0;
}

void drain(std::vector<ValueNode*>& pending)
{
    while (!pending.empty()) {
        ValueNode* node = pending.back();
        pending.pop_back();
        releaseContainer(node, pending);
        releaseText(node);
        releaseChars(node->heap, node->key, node->keyLength);
        node->heap->release(node, sizeof(ValueNode));
    }
}

bool reserveOne(JsonHeap* heap, NodeList& list)
{
    if (list.items && list.count < list.capacity)
        return true;
    std::uint32_t capacity = list.items ? 2 * list.capacity + 1 : list.capacity;
    if (capacity == 0)
        capacity = kDefaultCapacity;
    auto** items = static_cast<ValueNode**>(heap->allocate(sizeof(ValueNode*) * capacity));
    if (!items)
        return false;
    if (list.items) {
        std::memcpy(items, list.items, sizeof(ValueNode*) * list.count);
        heap->release(list.items, sizeof(ValueNode*) * list.capacity);
    }
    list.items = items;
    list.capacity = capacity;
    return true;
}

void listInsert(NodeList& list, std::uint32_t index, ValueNode* node)
{
    std::memmove(list.items + index + 1, list.items + index, sizeof(ValueNode*) * (list.count - index));
    list.items[index] = node;
    ++list.count;
}

void listRemove(NodeList& list, std::uint32_t index)
{
    std::memmove(list.items + index, list.items + index + 1, sizeof(ValueNode*) * (list.count - index - 1));
    --list.count;
    list.items[list.count] = nullptr;
}

NodeList* listOf(ValueNode* array)
{
    if (!array->value.list) {
        auto* list = static_cast<NodeList*>(array->heap->allocate(sizeof(NodeList)));
        if (!list)
            return nullptr;
        array->value.list = new (list) NodeList();
    }
    return array->value.list;
}

MemberMap* mapOf(ValueNode* object)
{
    if (!object->value.map) {
        auto* map = static_cast<MemberMap*>(object->heap->allocate(sizeof(MemberMap)));
        if (!map)
            return nullptr;
        object->value.map = new (map) MemberMap();
    }
    MemberMap* map = object->value.map;
    if (!map->buckets) {
        auto** buckets = static_cast<ValueNode**>(
            object->heap->allocate(sizeof(ValueNode*) * map->bucketCount));
        if (!buckets)
            return nullptr;
        std::memset(buckets, 0, sizeof(ValueNode*) * map->bucketCount);
        map->buckets = buckets;
    }
    return map;
}

bool grow(JsonHeap* heap, MemberMap* map)
{
    std::uint32_t count = 2 * map->bucketCount + 1;
    auto** buckets = static_cast<ValueNode**>(heap->allocate(sizeof(ValueNode*) * count));
    if (!buckets)
        return false;
    std::memset(buckets, 0, sizeof(ValueNode*) * count);
    for (std::uint32_t b = 0; b < map->bucketCount; ++b) {
        ValueNode* node = map->buckets[b];
        while (node) {
            ValueNode* next = node->nextInBucket;
            std::uint32_t target = bucketOf(node->keyHash, count);
            node->nextInBucket = buckets[target];
            buckets[target] = node;
            node = next;
        }
    }
    heap->release(map->buckets, sizeof(ValueNode*) * map->bucketCount);
    map->buckets = buckets;
    map->bucketCount = count;
    map->threshold = static_cast<std::uint32_t>(static_cast<float>(count) * map->loadFactor);
    return true;
}

std::int64_t positionIn(const NodeList& list, const ValueNode* node)
{
    for (std::uint32_t i = 0; i < list.count; ++i)
        if (list.items[i] == node)
            return i;
    return -1;
}

bool setLiteral(ValueNode* node, const char16_t* literal, std::size_t length)
{
    char16_t* copy = copyChars(node->heap, literal, length);
    if (!copy && length)
        return false;
    node->text = copy;
    node->textLength = static_cast<std::uint32_t>(length);
    return true;
}

} // namespace

std::int32_t hashKey(const char16_t* key, std::size_t length)
{
    // Per unit, from the last: h = (h * 31 + high byte) * 31 + low byte, folded so that two
    // units cost one step of the dependency chain (all arithmetic modulo 2^32).
    auto unitTerm = [](std::uint32_t unit) { return (unit >> 8) * 31u + (unit & 0xFFu); };
    std::uint32_t hash = 0;
    std::size_t i = length;
    for (; i >= 2; i -= 2)
        hash = hash * 923521u + unitTerm(key[i - 1]) * 961u + unitTerm(key[i - 2]);
    if (i == 1)
        hash = hash * 961u + unitTerm(key[0]);
    return static_cast<std::int32_t>(hash);
}

char16_t* copyChars(JsonHeap* heap, const char16_t* source, std::size_t length)
{
    if (length == 0)
        return nullptr;
    auto* chars = static_cast<char16_t*>(heap->allocate(length * sizeof(char16_t)));
    if (chars)
        std::memcpy(chars, source, length * sizeof(char16_t));
    return chars;
}

void releaseChars(JsonHeap* heap, char16_t* chars, std::size_t length)
{
    if (chars)
        heap->release(chars, length * sizeof(char16_t));
}

std::size_t formatReal(double value, char16_t* out)
{
    char buffer[40];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::size_t length = static_cast<std::size_t>(result.ptr - buffer);
    bool plain = std::isfinite(value);
    for (std::size_t i = 0; i < length && plain; ++i)
        plain = buffer[i] != '.' && buffer[i] != 'e';
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<char16_t>(buffer[i]);
    if (plain) { // keep it a Real when read back
        out[length++] = u'.';
        out[length++] = u'0';
    }
    return length;
}

std::size_t formatInteger(std::int64_t value, char16_t* out)
{
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    std::size_t length = static_cast<std::size_t>(result.ptr - buffer);
    for (std::size_t i = 0; i < length; ++i)
        out[i] = static_cast<char16_t>(buffer[i]);
    return length;
}

ValueNode* newNode(JsonHeap* heap, int type)
{
    if (!heap || type < JsonNull || type > JsonObject)
        return nullptr;
    auto* node = static_cast<ValueNode*>(heap->allocate(sizeof(ValueNode)));
    if (!node)
        return nullptr;
    std::memset(static_cast<void*>(node), 0, sizeof(ValueNode));
    node->heap = heap;
    node->type = JsonNull;
    bool ok = true;
    switch (type) {
    case JsonReal: ok = setReal(node, 0.0); break;
    case JsonInteger: ok = setInteger(node, 0); break;
    case JsonBoolean: setBool(node, false); break;
    case JsonString: node->type = JsonString; break;
    case JsonArray: ok = makeArray(node); break;
    case JsonObject: ok = makeObject(node); break;
    default: break;
    }
    if (!ok) {
        heap->release(node, sizeof(ValueNode));
        return nullptr;
    }
    return node;
}

void resetToNull(ValueNode* node)
{
    if (!node)
        return;
    if (node->type == JsonArray || node->type == JsonObject) {
        std::vector<ValueNode*> pending;
        releaseContainer(node, pending);
        drain(pending);
    }
    releaseText(node);
    node->value.integer = 0;
    node->type = JsonNull;
    node->realPending = 0;
}

void freeNode(ValueNode* node)
{
    if (!node)
        return;
    std::vector<ValueNode*> pending{node};
    drain(pending);
}

bool makeObject(ValueNode* node, int bucketCount)
{
    if (!node)
        return false;
    resetToNull(node);
    auto* map = static_cast<MemberMap*>(node->heap->allocate(sizeof(MemberMap)));
    if (map) {
        new (map) MemberMap();
        map->bucketCount = bucketCount > 0 ? static_cast<std::uint32_t>(bucketCount) : kDefaultBuckets;
        map->threshold = static_cast<std::uint32_t>(static_cast<float>(map->bucketCount) * map->loadFactor);
    }
    node->value.map = map;
    node->type = JsonObject;
    return true;
}

bool makeArray(ValueNode* node, int capacity)
{
    if (!node)
        return false;
    resetToNull(node);
    auto* list = static_cast<NodeList*>(node->heap->allocate(sizeof(NodeList)));
    if (list) {
        new (list) NodeList();
        list->capacity = capacity > 0 ? static_cast<std::uint32_t>(capacity) : kDefaultCapacity;
    }
    node->value.list = list;
    node->type = JsonArray;
    return true;
}

void setNull(ValueNode* node)
{
    resetToNull(node);
}

void setBool(ValueNode* node, bool value)
{
    if (!node)
        return;
    resetToNull(node);
    node->type = JsonBoolean;
    node->value.boolean = value ? 1 : 0;
}

bool setRealLiteral(ValueNode* node, double value, const char16_t* literal, std::size_t length)
{
    if (!node)
        return false;
    resetToNull(node);
    if (!setLiteral(node, literal, length))
        return false;
    node->type = JsonReal;
    node->value.real = value;
    return true;
}

bool setIntegerLiteral(ValueNode* node, std::int64_t value, const char16_t* literal, std::size_t length)
{
    if (!node)
        return false;
    resetToNull(node);
    if (!setLiteral(node, literal, length))
        return false;
    node->type = JsonInteger;
    node->value.integer = value;
    return true;
}

bool setRealDeferred(ValueNode* node, const char16_t* literal, std::size_t length)
{
    if (!node)
        return false;
    resetToNull(node);
    if (!setLiteral(node, literal, length))
        return false;
    node->type = JsonReal;
    node->realPending = 1;
    return true;
}

bool setReal(ValueNode* node, double value)
{
    char16_t literal[40];
    return setRealLiteral(node, value, literal, formatReal(value, literal));
}

bool setInteger(ValueNode* node, std::int64_t value)
{
    char16_t literal[24];
    return setIntegerLiteral(node, value, literal, formatInteger(value, literal));
}

bool setString(ValueNode* node, const char16_t* text, std::size_t length)
{
    if (!node)
        return false;
    char16_t* copy = copyChars(node->heap, text, length);
    if (!copy && length)
        return false;
    resetToNull(node);
    node->type = JsonString;
    node->text = copy;
    node->textLength = static_cast<std::uint32_t>(length);
    return true;
}

ValueNode* copyNode(JsonHeap* heap, const ValueNode* source, bool keepLiterals)
{
    if (!heap || !source)
        return nullptr;
    struct Step { const ValueNode* from; ValueNode* into; };
    std::vector<Step> steps;
    ValueNode* root = nullptr;
    auto copyOne = [&](const ValueNode* from) -> ValueNode* {
        ValueNode* node = newNode(heap, JsonNull);
        if (!node)
            return nullptr;
        bool ok = true;
        switch (from->type) {
        case JsonReal:
            if (keepLiterals)
                ok = from->realPending ? setRealDeferred(node, from->text, from->textLength)
                                       : setRealLiteral(node, from->value.real, from->text, from->textLength);
            else
                ok = setReal(node, realOf(from));
            break;
        case JsonInteger:
            ok = keepLiterals ? setIntegerLiteral(node, from->value.integer, from->text, from->textLength)
                              : setInteger(node, from->value.integer);
            break;
        case JsonBoolean: setBool(node, from->value.boolean != 0); break;
        case JsonString: ok = setString(node, from->text, from->textLength); break;
        case JsonArray:
            ok = makeArray(node, from->value.list ? static_cast<int>(from->value.list->capacity) : 0);
            break;
        case JsonObject:
            ok = makeObject(node, from->value.map ? static_cast<int>(from->value.map->bucketCount) : 0);
            break;
        default: break;
        }
        if (!ok) {
            freeNode(node);
            return nullptr;
        }
        std::uint32_t n = childCount(from);
        for (std::uint32_t i = n; i-- > 0;)
            steps.push_back({childAt(from, i), node});
        return node;
    };
    root = copyOne(source);
    if (!root)
        return nullptr;
    while (!steps.empty()) {
        Step step = steps.back();
        steps.pop_back();
        ValueNode* child = copyOne(step.from);
        bool linked = child && (step.into->type == JsonArray
                                    ? appendElement(step.into, child)
                                    : setMember(step.into, step.from->key, step.from->keyLength, child));
        if (!linked) {
            freeNode(child);
            freeNode(root);
            return nullptr;
        }
    }
    return root;
}

std::uint32_t childCount(const ValueNode* node)
{
    if (!node)
        return 0;
    if (node->type == JsonArray)
        return node->value.list ? node->value.list->count : 0;
    if (node->type == JsonObject)
        return node->value.map ? node->value.map->count : 0;
    return 0;
}

ValueNode* childAt(const ValueNode* node, std::int64_t index)
{
    if (!node || index < 0)
        return nullptr;
    const NodeList* list = nullptr;
    if (node->type == JsonArray)
        list = node->value.list;
    else if (node->type == JsonObject && node->value.map)
        list = &node->value.map->order;
    if (!list || index >= list->count)
        return nullptr;
    return list->items[index];
}

ValueNode* findMember(const ValueNode* object, const char16_t* key, std::size_t length)
{
    if (!object || object->type != JsonObject || !object->value.map || !object->value.map->buckets)
        return nullptr;
    const MemberMap* map = object->value.map;
    std::int32_t hash = hashKey(key, length);
    for (ValueNode* node = map->buckets[bucketOf(hash, map->bucketCount)]; node; node = node->nextInBucket) {
        if (node->keyHash == hash && node->keyLength == length
            && (length == 0 || std::memcmp(node->key, key, length * sizeof(char16_t)) == 0))
            return node;
    }
    return nullptr;
}

bool setMember(ValueNode* object, const char16_t* key, std::size_t length, ValueNode* child,
               std::int64_t position)
{
    if (!object || !child || object->type != JsonObject || child == object)
        return false;
    MemberMap* map = mapOf(object);
    if (!map)
        return false;
    std::int32_t hash = hashKey(key, length);
    ValueNode** link = &map->buckets[bucketOf(hash, map->bucketCount)];
    for (ValueNode* old = *link; old; link = &old->nextInBucket, old = *link) {
        if (old->keyHash != hash || old->keyLength != length
            || (length && std::memcmp(old->key, key, length * sizeof(char16_t)) != 0))
            continue;
        std::int64_t at = positionIn(map->order, old);
        child->nextInBucket = old->nextInBucket;
        *link = child;
        child->key = old->key;
        child->keyLength = old->keyLength;
        child->keyHash = hash;
        child->parent = object;
        if (at >= 0)
            map->order.items[at] = child;
        old->key = nullptr;
        old->keyLength = 0;
        old->parent = nullptr;
        old->nextInBucket = nullptr;
        freeNode(old);
        return true;
    }
    if (position > static_cast<std::int64_t>(map->count))
        return false;
    if (map->count >= map->threshold && !grow(object->heap, map))
        return false;
    if (!reserveOne(object->heap, map->order))
        return false;
    char16_t* stored = copyChars(object->heap, key, length);
    if (!stored && length)
        return false;
    child->key = stored;
    child->keyLength = static_cast<std::uint32_t>(length);
    child->keyHash = hash;
    child->parent = object;
    ValueNode*& head = map->buckets[bucketOf(hash, map->bucketCount)];
    child->nextInBucket = head;
    head = child;
    listInsert(map->order, position < 0 ? map->order.count : static_cast<std::uint32_t>(position), child);
    ++map->count;
    return true;
}

void detach(ValueNode* node)
{
    if (!node || !node->parent)
        return;
    ValueNode* parent = node->parent;
    if (parent->type == JsonArray && parent->value.list) {
        NodeList& list = *parent->value.list;
        std::int64_t at = positionIn(list, node);
        if (at >= 0)
            listRemove(list, static_cast<std::uint32_t>(at));
    } else if (parent->type == JsonObject && parent->value.map) {
        MemberMap& map = *parent->value.map;
        ValueNode** link = &map.buckets[bucketOf(node->keyHash, map.bucketCount)];
        while (*link && *link != node)
            link = &(*link)->nextInBucket;
        if (*link) {
            *link = node->nextInBucket;
            --map.count;
        }
        std::int64_t at = positionIn(map.order, node);
        if (at >= 0)
            listRemove(map.order, static_cast<std::uint32_t>(at));
    }
    node->parent = nullptr;
    node->nextInBucket = nullptr;
}

bool removeMember(ValueNode* object, const char16_t* key, std::size_t length)
{
    ValueNode* node = findMember(object, key, length);
    if (!node)
        return false;
    detach(node);
    freeNode(node);
    return true;
}

bool appendElement(ValueNode* array, ValueNode* child)
{
    if (!array || !child || array->type != JsonArray || child == array)
        return false;
    NodeList* list = listOf(array);
    if (!list || !reserveOne(array->heap, *list))
        return false;
    list->items[list->count++] = child;
    child->parent = array;
    return true;
}

bool insertElement(ValueNode* array, std::int64_t index, ValueNode* child)
{
    if (!array || !child || array->type != JsonArray || child == array)
        return false;
    NodeList* list = listOf(array);
    if (!list || index < 0 || index > list->count || !reserveOne(array->heap, *list))
        return false;
    listInsert(*list, static_cast<std::uint32_t>(index), child);
    child->parent = array;
    return true;
}

bool removeElement(ValueNode* array, std::int64_t index)
{
    if (!array || array->type != JsonArray || !array->value.list || index < 0
        || index >= array->value.list->count)
        return false;
    NodeList& list = *array->value.list;
    ValueNode* node = list.items[index];
    listRemove(list, static_cast<std::uint32_t>(index));
    node->parent = nullptr;
    freeNode(node);
    return true;
}

bool putElement(ValueNode* array, std::int64_t index, ValueNode* child)
{
    if (!array || !child || array->type != JsonArray || index < 0 || index >= INT32_MAX)
        return false;
    NodeList* list = listOf(array);
    if (!list)
        return false;
    if (index < list->count) {
        ValueNode* old = list->items[index];
        list->items[index] = child;
        child->parent = array;
        old->parent = nullptr;
        freeNode(old);
        return true;
    }
    while (list->count < index) {
        ValueNode* filler = newNode(array->heap, JsonNull);
        if (!appendElement(array, filler)) {
            freeNode(filler);
            return false;
        }
    }
    return appendElement(array, child);
}

void exchangeValues(ValueNode* a, ValueNode* b)
{
    if (!a || !b || a == b)
        return;
    std::swap(a->type, b->type);
    std::swap(a->value, b->value);
    std::swap(a->text, b->text);
    std::swap(a->textLength, b->textLength);
    std::swap(a->realPending, b->realPending);
    for (ValueNode* owner : {a, b})
        for (std::uint32_t i = 0, n = childCount(owner); i < n; ++i)
            childAt(owner, i)->parent = owner;
}

bool isAncestor(const ValueNode* ancestor, const ValueNode* node)
{
    for (const ValueNode* up = node ? node->parent : nullptr; up; up = up->parent)
        if (up == ancestor)
            return true;
    return false;
}

} // namespace qingtong::jsontree
