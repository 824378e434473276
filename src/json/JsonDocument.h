#pragma once

#include <memory>

#include "json/JsonNode.h"

namespace qingtong {

class JsonHeap;

// A JSON tree and its owner. Constructed as an empty object; parse fills it from text:
//
//     JsonDocument doc;
//     if (doc.parse(body)) status = doc.getText("status_code");
//
// The parser is lenient: single-quoted strings, unquoted keys, trailing and doubled commas
// in arrays, a missing comma after a nested container in an object, several top-level
// objects merged into one. Numbers keep their text, so large identifiers read back exactly.
// A failed parse leaves a Null root, so every read finds nothing. Not copyable: the tree has
// one owner.
class JsonDocument : public JsonNode {
public:
    JsonDocument();
    ~JsonDocument() override;
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;
    JsonDocument(JsonDocument&& other) noexcept;
    JsonDocument& operator=(JsonDocument&& other) noexcept;

    // A new empty object root (the old tree is freed); with text, the text parsed into it.
    bool create();
    bool create(const Text& text, int mode = DecodeUnicodeEscapes);
    bool create(const Text& text, int mode, int& error, int& errorPos);
    bool createW(const WideText& text, int mode = DecodeUnicodeEscapes);
    bool createW(const WideText& text, int mode, int& error, int& errorPos);
    // Frees the tree; the document then refers to no node until the next load.
    void clear();

    // Parses into the existing root (creating one when there is none). error is a ParseError,
    // errorPos the UTF-16 position where the parser stopped.
    bool parse(const Text& text, int mode = DecodeUnicodeEscapes);   // code page 936
    bool parse(const Text& text, int mode, int& error, int& errorPos);
    bool parseW(const WideText& text, int mode = DecodeUnicodeEscapes);
    bool parseW(const WideText& text, int mode, int& error, int& errorPos);
    bool parseUtf8(const Text& utf8, int mode = DecodeUnicodeEscapes);
    bool parseUtf8(const Text& utf8, int mode, int& error, int& errorPos);

    // Bytes the tree has taken from the system (for memory figures).
    std::size_t reservedBytes() const;

private:
    bool createRoot(int& error);

    std::unique_ptr<JsonHeap> m_heap;
};

} // namespace qingtong
