#include "json/JsonWriter.h"

#include <cmath>
#include <string>
#include <vector>

namespace qingtong::jsontree {

namespace {

void writeEscaped(const char16_t* text, std::size_t length, bool escape, bool isKey, std::u16string& out)
{
    if (!escape) {
        out.append(text, length);
        return;
    }
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        char16_t replacement;
        switch (c) {
        case u'\\': replacement = u'\\'; break;
        case u'"': replacement = u'"'; break;
        case 0x08: replacement = u'b'; break;
        case 0x09: replacement = u't'; break;
        case 0x0A: replacement = u'n'; break;
        case 0x0C: replacement = u'f'; break;
        case 0x0D: replacement = u'r'; break;
        case u'/':
            if (!isKey)
                continue;
            replacement = u'/';
            break;
        default: continue;
        }
        out.append(text + runStart, i - runStart);
        out.push_back(u'\\');
        out.push_back(replacement);
        runStart = i + 1;
    }
    out.append(text + runStart, length - runStart);
}

void writeScalar(const ValueNode* node, bool escape, std::u16string& out)
{
    switch (node->type) {
    case JsonReal:
        // A non-finite value set by a method has no JSON form; write null rather than
        // text that no parser reads back.
        // (A literal the parser read is never such text: it holds only digits, signs, points
        // and exponents, so its value need not be converted here.)
        if (!node->realPending && !std::isfinite(node->value.real) && node->textLength > 0) {
            char16_t first = node->text[node->text[0] == u'-' && node->textLength > 1 ? 1 : 0];
            if (first == u'i' || first == u'n') {
                out.append(u"null");
                break;
            }
        }
        out.append(node->text, node->textLength);
        break;
    case JsonInteger: out.append(node->text, node->textLength); break;
    case JsonBoolean: out.append(node->value.boolean ? u"true" : u"false"); break;
    case JsonString:
        out.push_back(u'"');
        writeEscaped(node->text, node->textLength, escape, false, out);
        out.push_back(u'"');
        break;
    default: out.append(u"null"); break;
    }
}

} // namespace

void writeJson(const ValueNode* node, bool pretty, bool escape, std::u16string& out)
{
    if (!node)
        return;
    struct Frame {
        const ValueNode* node;
        std::uint32_t next;
    };
    std::vector<Frame> stack;
    std::size_t depth = 0;
    auto tabs = [&](std::size_t n) { out.append(n, u'\t'); };
    // Writes a value; a container is opened and left on the stack for its children.
    auto open = [&](const ValueNode* value) {
        if (value->type == JsonArray) {
            out.push_back(u'[');
            stack.push_back({value, 0});
            ++depth;
        } else if (value->type == JsonObject) {
            out.push_back(u'{');
            if (pretty)
                out.append(u"\r\n");
            stack.push_back({value, 0});
            ++depth;
        } else {
            writeScalar(value, escape, out);
        }
    };
    open(node);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const ValueNode* container = frame.node;
        std::uint32_t count = childCount(container);
        if (frame.next >= count) {
            stack.pop_back();
            --depth;
            if (container->type == JsonArray) {
                out.push_back(u']');
            } else {
                if (pretty && count > 0)
                    out.append(u"\r\n");
                if (pretty && depth > 0)
                    tabs(depth);
                out.push_back(u'}');
            }
            continue;
        }
        const ValueNode* child = childAt(container, frame.next);
        if (frame.next > 0) {
            out.push_back(u',');
            if (pretty && container->type == JsonObject)
                out.append(u"\r\n");
        }
        ++frame.next;
        if (container->type == JsonObject) {
            if (pretty)
                tabs(depth);
            out.push_back(u'"');
            writeEscaped(child->key, child->keyLength, escape, true, out);
            out.append(u"\":");
        }
        open(child); // may grow the stack: frame is not used after this
    }
}

} // namespace qingtong::jsontree
