#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "json/JsonTypes.h"

namespace qingtong {

namespace jsontree { struct ValueNode; }

// Non-owning handle to one value of a JSON tree (or to none). Copying a handle copies the
// reference; destroying it leaves the tree alone. A handle must not be used after its node
// was freed (removed, replaced, turned into another container, or freed with its document).
//
// Paths: "data[0].user_live.[0].room_id". "." and "[" end a key (empty keys are dropped),
// "[n]" is an index (on an object: the n-th member in insertion order), "[]" means -1, and a
// backslash before ".", "[", "]" or a backslash takes that character literally.
// Read methods follow the path without changing the tree; editing methods create what is
// missing on the way and turn nodes of the wrong type into the container the path needs.
//
// Every method comes in a Text form (code page 936; characters the code page lacks come out
// as "?") and a W form (UTF-16). Nothing throws: failures give false, 0 or empty results.
class JsonNode {
public:
    using Handle = std::intptr_t;
    // Order of two nodes (as handles) for sortWith: negative, 0 or positive.
    using Compare = std::function<int(Handle, Handle, int userValue)>;

    JsonNode() = default;
    explicit JsonNode(Handle handle) { setHandle(handle); }
    JsonNode(const JsonNode&) = default;
    JsonNode& operator=(const JsonNode&) = default;
    virtual ~JsonNode() = default;

    // Handle basics.
    bool isValid() const { return m_node != nullptr; }
    Handle getHandle() const { return reinterpret_cast<Handle>(m_node); }
    void setHandle(Handle handle) { m_node = reinterpret_cast<jsontree::ValueNode*>(handle); }

    // Serialisation: the value at the path as JSON text; empty text when nothing is there.
    // Pretty puts object members on their own lines (CR LF, TAB indentation); arrays stay on one.
    WideText toTextW(const WideText& path = WideText(), bool pretty = false, bool escape = true,
                     int capacity = 1024) const;
    Text toText(const Text& path = Text(), bool pretty = false, bool escape = true, int capacity = 1024) const;
    // Path and result in UTF-8.
    Text toTextUtf8(const Text& path = Text(), bool pretty = false, bool escape = true,
                    int capacity = 1024) const;

    // Read access.
    int typeOf(const Text& path) const;                 // JsonType, -1 when nothing is there
    int typeOfW(const WideText& path) const;
    JsonNode parentOf(const Text& path) const;
    JsonNode parentOfW(const WideText& path) const;
    int countOf(const Text& path) const;                // members or elements
    int countOfW(const WideText& path) const;
    bool exists(const Text& path) const;                // false for the empty path
    bool existsW(const WideText& path) const;
    JsonNode getMember(const Text& path, const Text& key) const;
    JsonNode getMemberW(const WideText& path, const WideText& key) const;
    JsonNode elementAt(const Text& path, int index) const;
    JsonNode elementAtW(const WideText& path, int index) const;
    Text keyOf(const Text& path) const;
    WideText keyOfW(const WideText& path) const;
    Text getLiteral(const Text& path) const;            // number text or "true"/"false"
    WideText getLiteralW(const WideText& path) const;
    Text getText(const Text& path) const;               // string text, or the literal
    WideText getTextW(const WideText& path) const;
    bool getBool(const Text& path) const;
    bool getBoolW(const WideText& path) const;
    double getReal(const Text& path) const;
    double getRealW(const WideText& path) const;
    std::int64_t getInt64(const Text& path) const;
    std::int64_t getInt64W(const WideText& path) const;
    int getInt(const Text& path) const;
    int getIntW(const WideText& path) const;
    // Member names of an object in insertion order; the count. Other nodes: 0, keys untouched.
    int getKeys(const Text& path, std::vector<Text>& keys) const;
    int getKeysW(const WideText& path, std::vector<WideText>& keys) const;
    // Members or elements in order; the count. None: 0, nodes untouched.
    int getChildren(const Text& path, std::vector<JsonNode>& nodes) const;
    int getChildrenW(const WideText& path, std::vector<JsonNode>& nodes) const;

    // The node at the path, created (as Null) when missing.
    JsonNode nodeAt(const Text& path);
    JsonNode nodeAtW(const WideText& path);

    // Editing. A "source" is copied (deeply), never linked itself, and may belong to any tree.
    bool removeMember(const Text& path, const Text& key);
    bool removeMemberW(const WideText& path, const WideText& key);
    bool removeElement(const Text& path, int index);
    bool removeElementW(const WideText& path, int index);
    void clearValue(const Text& path);
    void clearValueW(const WideText& path);
    // A new detached node of the type (JsonType 0..6) from this tree's heap; 0 on failure.
    Handle newNode(int type);
    JsonNode addMember(const Text& path, const Text& key, int type);
    JsonNode addMemberW(const WideText& path, const WideText& key, int type);
    bool setMemberCopy(const Text& path, const Text& key, const JsonNode& source);
    bool setMemberCopyW(const WideText& path, const WideText& key, const JsonNode& source);
    JsonNode insertMember(const Text& path, int position, const Text& key, int type);
    JsonNode insertMemberW(const WideText& path, int position, const WideText& key, int type);
    bool putMemberCopy(const Text& path, const Text& key, const JsonNode& source);
    bool putMemberCopyW(const WideText& path, const WideText& key, const JsonNode& source);
    JsonNode appendNew(const Text& path, int type);
    JsonNode appendNewW(const WideText& path, int type);
    bool appendCopy(const Text& path, const JsonNode& source);
    bool appendCopyW(const WideText& path, const JsonNode& source);
    JsonNode insertNew(const Text& path, int index, int type);
    JsonNode insertNewW(const WideText& path, int index, int type);
    bool setElementCopy(const Text& path, int index, const JsonNode& source);
    bool setElementCopyW(const WideText& path, int index, const JsonNode& source);
    bool makeObject(const Text& path, int buckets = 0);
    bool makeObjectW(const WideText& path, int buckets = 0);
    bool makeArray(const Text& path, int capacity = 0);
    bool makeArrayW(const WideText& path, int capacity = 0);
    bool setString(const Text& path, const Text& value);
    bool setStringW(const WideText& path, const WideText& value);
    bool setNull(const Text& path);
    bool setNullW(const WideText& path);
    bool setBool(const Text& path, bool value);
    bool setBoolW(const WideText& path, bool value);
    bool setReal(const Text& path, double value);
    bool setRealW(const WideText& path, double value);
    bool setInt64(const Text& path, std::int64_t value);
    bool setInt64W(const WideText& path, std::int64_t value);
    bool setInt(const Text& path, int value);
    bool setIntW(const WideText& path, int value);
    bool parseAt(const Text& path, const Text& text, int mode = DecodeUnicodeEscapes);
    bool parseAtW(const WideText& path, const WideText& text, int mode = DecodeUnicodeEscapes);
    bool setCopy(const Text& path, const JsonNode& source);
    bool setCopyW(const WideText& path, const JsonNode& source);

    // Reordering (member order of an object, elements of an array). Lookups by name are unaffected.
    bool sortMembers(const Text& path, bool descending = false, bool ignoreCase = false);
    bool sortMembersW(const WideText& path, bool descending = false, bool ignoreCase = false);
    void sortWith(const Text& path, const Compare& compare, int userValue = 0);
    void sortWithW(const WideText& path, const Compare& compare, int userValue = 0);

    // Merging: objects are merged member by member (recursively); other values replace.
    bool mergeText(const Text& path, const Text& text, bool addMissing);
    bool mergeText(const Text& path, const Text& text, int mode, bool addMissing);
    bool mergeTextW(const WideText& path, const WideText& text, bool addMissing);
    bool mergeTextW(const WideText& path, const WideText& text, int mode, bool addMissing);
    bool mergeObject(const Text& path, const JsonNode& source);
    bool appendAll(const Text& path, const JsonNode& source);
    // Exchanges the values (not the names) of the node at the path and other's node.
    bool swapWith(const Text& path, const JsonNode& other);

protected:
    explicit JsonNode(jsontree::ValueNode* node) : m_node(node) {}

    jsontree::ValueNode* m_node = nullptr;

private:
    jsontree::ValueNode* readAt(const char16_t* path, std::size_t length) const;
    jsontree::ValueNode* createAt(const char16_t* path, std::size_t length);
    WideText serialise(const jsontree::ValueNode* node, bool pretty, bool escape, int capacity) const;
    static JsonNode wrap(jsontree::ValueNode* node) { return JsonNode(node); }
    jsontree::ValueNode* copyForThisTree(const JsonNode& source) const;
    JsonNode addMemberAt(const WideText& path, const WideText& key, int type, std::int64_t position);
    bool setMemberCopyAt(const WideText& path, const WideText& key, const JsonNode& source);
    bool mergeAt(const WideText& path, const WideText& text, int mode, bool addMissing);
};

} // namespace qingtong
