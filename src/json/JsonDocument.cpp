#include "json/JsonDocument.h"

#include <new>
#include <utility>

#include "json/JsonHeap.h"
#include "json/JsonParser.h"
#include "json/JsonText.h"
#include "json/ValueTree.h"

namespace qingtong {

using namespace jsontree;

JsonDocument::JsonDocument()
{
    create();
}

JsonDocument::~JsonDocument()
{
    clear();
}

JsonDocument::JsonDocument(JsonDocument&& other) noexcept
    : JsonNode(std::exchange(other.m_node, nullptr)), m_heap(std::move(other.m_heap))
{
}

JsonDocument& JsonDocument::operator=(JsonDocument&& other) noexcept
{
    if (this != &other) {
        clear();
        m_node = std::exchange(other.m_node, nullptr);
        m_heap = std::move(other.m_heap);
    }
    return *this;
}

void JsonDocument::clear()
{
    // Every record of the tree came from the heap: releasing it frees the tree at once,
    // without walking it.
    m_heap.reset();
    m_node = nullptr;
}

bool JsonDocument::createRoot(int& error)
{
    std::unique_ptr<JsonHeap> heap(new (std::nothrow) JsonHeap());
    ValueNode* root = heap ? jsontree::newNode(heap.get(), JsonObject) : nullptr;
    if (!root) {
        error = ParseNoMemory;
        return false;
    }
    root->isRoot = 1;
    m_heap = std::move(heap); // frees the old tree
    m_node = root;
    error = ParseOk;
    return true;
}

bool JsonDocument::create()
{
    int error = 0;
    return createRoot(error);
}

bool JsonDocument::createW(const WideText& text, int mode, int& error, int& errorPos)
{
    errorPos = 0;
    if (!createRoot(error))
        return false;
    return parseW(text, mode, error, errorPos);
}

bool JsonDocument::createW(const WideText& text, int mode)
{
    int error = 0;
    int errorPos = 0;
    return createW(text, mode, error, errorPos);
}

bool JsonDocument::create(const Text& text, int mode, int& error, int& errorPos)
{
    errorPos = 0;
    if (!createRoot(error))
        return false;
    return parse(text, mode, error, errorPos);
}

bool JsonDocument::create(const Text& text, int mode)
{
    int error = 0;
    int errorPos = 0;
    return create(text, mode, error, errorPos);
}

bool JsonDocument::parseW(const WideText& text, int mode, int& error, int& errorPos)
{
    errorPos = 0;
    if (!m_node && !createRoot(error))
        return false;
    error = parseInto(m_node, text.data(), text.size(), mode, errorPos);
    return error == ParseOk;
}

bool JsonDocument::parseW(const WideText& text, int mode)
{
    int error = 0;
    int errorPos = 0;
    return parseW(text, mode, error, errorPos);
}

bool JsonDocument::parse(const Text& text, int mode, int& error, int& errorPos)
{
    WideText wide;
    try {
        wide = jsontext::gbkToWide(text);
    } catch (...) {
        wide.clear(); // could not be converted: fails as an empty text
    }
    return parseW(wide, mode, error, errorPos);
}

bool JsonDocument::parse(const Text& text, int mode)
{
    int error = 0;
    int errorPos = 0;
    return parse(text, mode, error, errorPos);
}

bool JsonDocument::parseUtf8(const Text& utf8, int mode, int& error, int& errorPos)
{
    // The UTF-16 copy lives in a per-thread buffer that keeps its storage between parses
    // (up to 8 Mi units), so large answers do not fault in fresh pages every time.
    thread_local WideText scratch;
    try {
        jsontext::utf8ToWide(utf8.data(), utf8.size(), scratch);
    } catch (...) {
        scratch.clear();
    }
    bool ok = parseW(scratch, mode, error, errorPos);
    // The units stay in place (not cleared) so that the next conversion only has to
    // zero-fill what goes past this text's length.
    if (scratch.capacity() > (std::size_t(8) << 20))
        WideText().swap(scratch);
    return ok;
}

bool JsonDocument::parseUtf8(const Text& utf8, int mode)
{
    int error = 0;
    int errorPos = 0;
    return parseUtf8(utf8, mode, error, errorPos);
}

std::size_t JsonDocument::reservedBytes() const
{
    return m_heap ? m_heap->reservedBytes() : 0;
}

} // namespace qingtong
