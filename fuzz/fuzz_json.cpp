// Parses the input in every form, then reads, edits and writes the tree. Besides the
// sanitizers' findings it checks one property: what the serialiser writes parses again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "json/JsonDocument.h"

using namespace qingtong;

namespace {

// The creating walk pads arrays up to an index; keep indexes small so a path can not ask
// for gigabytes of Null elements.
bool smallIndexes(const WideText& path)
{
    int digits = 0;
    for (char16_t c : path) {
        digits = (c >= u'0' && c <= u'9') ? digits + 1 : 0;
        if (digits > 3)
            return false;
    }
    return true;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int mode = static_cast<int>(size % 4);

    JsonDocument doc;
    int error = 0;
    int position = 0;
    bool ok = doc.parseUtf8(text, mode, error, position);
    check(ok == (error == 0));
    check(position >= 0);

    JsonDocument gbk;
    gbk.parse(text, mode);
    gbk.toText("", true, true);

    // Read access over the paths the tree itself offers, and over the raw input as a path.
    std::vector<WideText> paths{u"", u"[0]", u"a.b", u"[]", u"data[0].x", u"a\\.b"};
    std::vector<WideText> keys;
    if (doc.getKeysW(u"", keys) > 0)
        for (const WideText& key : keys)
            paths.push_back(key);
    std::vector<JsonNode> children;
    doc.getChildrenW(u"", children);
    if (size < 64)
        paths.push_back(WideText(text.begin(), text.end()));
    for (const WideText& path : paths) {
        doc.getTextW(path);
        doc.getText(std::string(path.begin(), path.end()));
        doc.getLiteralW(path);
        doc.getBoolW(path);
        doc.getRealW(path);
        doc.getInt64W(path);
        doc.getIntW(path);
        doc.typeOfW(path);
        doc.countOfW(path);
        doc.existsW(path);
        doc.keyOfW(path);
        doc.parentOfW(path);
        doc.elementAtW(path, 1);
        doc.toTextW(path, true, false);
    }

    // Whatever was read, writing it gives text that reads again.
    WideText written = doc.toTextW();
    if (ok) {
        JsonDocument again;
        check(again.parseW(written));
        check(again.toTextW() == again.toTextW());
    }
    doc.toTextUtf8("", true);

    // Editing on a copy, with the input as the source of merges and paths.
    JsonDocument edit;
    edit.setCopy("", doc);
    edit.mergeTextW(u"", written, mode, true);
    edit.mergeText("m", text, mode, false);
    edit.sortMembers("", size & 1, size & 2);
    edit.sortWith("[0]", [](JsonNode::Handle a, JsonNode::Handle b, int) {
        return JsonNode(a).typeOf("") - JsonNode(b).typeOf("");
    });
    if (children.size() >= 2) {
        edit.swapWith("[0]", edit.elementAt("", 1));
        edit.swapWith("[1]", doc.elementAt("", 0));
    }
    for (const WideText& path : paths) {
        if (!smallIndexes(path))
            continue;
        edit.setStringW(path, path);
        edit.appendCopyW(path, doc);
        edit.addMemberW(path, u"k", static_cast<int>(size % 8));
        edit.insertNewW(path, 0, JsonObject);
        edit.setElementCopyW(path, 2, doc);
        edit.removeMemberW(path, u"k");
        edit.removeElementW(path, 0);
    }
    edit.appendAll("list", doc);
    edit.mergeObject("obj", doc);
    edit.toText("", true);
    edit.clearValue("");
    return 0;
}
