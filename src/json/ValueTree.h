#pragma once

#include <cstdint>
#include <cstddef>

#include "json/JsonHeap.h"
#include "json/JsonText.h"
#include "json/JsonTypes.h"

// The value tree beneath JsonDocument: nodes, the member hash map and the node list, with the
// operations the document methods are made of. Every operation tolerates a null node.
// Nothing here recurses: freeing, copying and walking use explicit stacks, so a tree of any
// depth can be handled.
namespace qingtong::jsontree {

struct ValueNode;

// Growable array of node pointers. The item array is allocated when the first item arrives.
struct NodeList {
    std::uint32_t count = 0;
    std::uint32_t capacity = 8;
    ValueNode** items = nullptr;
};

// Members of one object: chained hash buckets for lookup and an order list for output and
// positional access. The bucket array is allocated when the first member arrives.
struct MemberMap {
    ValueNode** buckets = nullptr;
    std::uint32_t bucketCount = 11;
    std::uint32_t count = 0;
    std::uint32_t threshold = 8;
    float loadFactor = 0.75f;
    NodeList order;
};

struct ValueNode {
    JsonHeap* heap;
    ValueNode* parent;       // containing array or object; null for a root or a detached node
    ValueNode* nextInBucket; // next member in the same bucket chain of the parent's map
    char16_t* key;           // member name, null for elements and roots
    union {
        double real;
        std::int64_t integer;
        std::int32_t boolean;
        NodeList* list;
        MemberMap* map;
    } value;
    char16_t* text;          // String: its text; Real and Integer: the literal
    std::uint32_t keyLength;
    std::uint32_t textLength;
    std::int32_t keyHash;
    std::int8_t type;
    std::uint8_t isRoot;
    std::uint8_t realPending; // Real read by the parser: value.real is unset, the literal holds it
};

// The value of a Real node. The parser leaves the decimal conversion of a literal until the
// value is asked for; the conversion is the same one it would have made, so the result is too.
inline double realOf(const ValueNode* node)
{
    return node->realPending ? jsontext::readDecimal(node->text, node->textLength) : node->value.real;
}

constexpr std::uint32_t kDefaultBuckets = 11;
constexpr std::uint32_t kDefaultCapacity = 8;

// Hash of a member name: its UTF-16LE bytes from the last to the first, h = h * 31 + byte.
std::int32_t hashKey(const char16_t* key, std::size_t length);
inline std::uint32_t bucketOf(std::int32_t hash, std::uint32_t bucketCount)
{
    return (static_cast<std::uint32_t>(hash) & 0x7FFFFFFFu) % bucketCount;
}

// Copies length units into a new heap buffer; nullptr for length 0 or when memory runs out.
char16_t* copyChars(JsonHeap* heap, const char16_t* source, std::size_t length);
void releaseChars(JsonHeap* heap, char16_t* chars, std::size_t length);

// A detached node of the type (Null, Real 0, Integer 0, Boolean false, String without text,
// empty Array, empty Object); nullptr for another type or when memory runs out.
ValueNode* newNode(JsonHeap* heap, int type);
// Frees the node's payload and literal (containers with all their descendants); type Null.
void resetToNull(ValueNode* node);
// Frees a node with its subtree. The node must not be linked in a container any more.
void freeNode(ValueNode* node);
// A detached deep copy allocated from heap; numbers get a fresh literal unless keepLiterals.
ValueNode* copyNode(JsonHeap* heap, const ValueNode* source, bool keepLiterals = false);
// Exchanges the values (type, payload, text) of two nodes of the same heap; each keeps its
// place, key and parent, and the children follow their value.
void exchangeValues(ValueNode* a, ValueNode* b);

bool makeObject(ValueNode* node, int bucketCount = 0);
bool makeArray(ValueNode* node, int capacity = 0);
void setNull(ValueNode* node);
void setBool(ValueNode* node, bool value);
bool setReal(ValueNode* node, double value);
bool setInteger(ValueNode* node, std::int64_t value);
bool setString(ValueNode* node, const char16_t* text, std::size_t length);
// Number with a literal given by the caller (the parser keeps the token text).
bool setRealLiteral(ValueNode* node, double value, const char16_t* literal, std::size_t length);
bool setIntegerLiteral(ValueNode* node, std::int64_t value, const char16_t* literal, std::size_t length);
// Real whose value is read from the literal when first asked for (see realOf).
bool setRealDeferred(ValueNode* node, const char16_t* literal, std::size_t length);

// Shortest text that reads back as the same value; a Real always shows a point or exponent.
std::size_t formatReal(double value, char16_t* out); // out needs 32 units
std::size_t formatInteger(std::int64_t value, char16_t* out); // out needs 21 units

std::uint32_t childCount(const ValueNode* node);      // members or elements; 0 for scalars
ValueNode* childAt(const ValueNode* node, std::int64_t index); // element or member by position

ValueNode* findMember(const ValueNode* object, const char16_t* key, std::size_t length);
// Inserts child under key (at the end of the member order, or at position when position >= 0),
// or replaces the member of that name in place (the old one is freed). child must be detached.
bool setMember(ValueNode* object, const char16_t* key, std::size_t length, ValueNode* child,
               std::int64_t position = -1);
bool removeMember(ValueNode* object, const char16_t* key, std::size_t length);

bool appendElement(ValueNode* array, ValueNode* child);
bool insertElement(ValueNode* array, std::int64_t index, ValueNode* child);
bool removeElement(ValueNode* array, std::int64_t index);
// Puts child at index of the array, freeing what stood there and padding with Null elements.
bool putElement(ValueNode* array, std::int64_t index, ValueNode* child);

// Unlinks a node from its container without freeing it (the key stays with the node).
void detach(ValueNode* node);
bool isAncestor(const ValueNode* ancestor, const ValueNode* node);

} // namespace qingtong::jsontree
