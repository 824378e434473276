// Parse throughput, lookup cost and tree memory of JsonDocument, side by side with
// nlohmann::json, RapidJSON and simdjson on the same files in the same run.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/pointer.h>
#include <simdjson.h>

#include "json/JsonDocument.h"

using namespace qingtong;

namespace {

const char* const kFiles[] = {"twitter.json", "citm_catalog.json", "canada.json"};

const std::string& fileText(const std::string& name)
{
    static std::vector<std::pair<std::string, std::string>> cache;
    for (auto& [n, t] : cache)
        if (n == name)
            return t;
    std::ifstream in(std::string(QINGTONG_SHARED_DATA) + "/json-bench/" + name, std::ios::binary);
    cache.emplace_back(name, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    return cache.back().second;
}

WideText widened(const std::string& utf8)
{
    JsonDocument doc;
    doc.parseUtf8(nlohmann::json(utf8).dump());
    return doc.getTextW(u"");
}

void parseUtf8(benchmark::State& state, const std::string& name)
{
    const std::string& text = fileText(name);
    for (auto _ : state) {
        JsonDocument doc;
        bool ok = doc.parseUtf8(text);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void parseW(benchmark::State& state, const std::string& name)
{
    const std::string& text = fileText(name);
    WideText wide = widened(text);
    for (auto _ : state) {
        JsonDocument doc;
        bool ok = doc.parseW(wide);
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void parseNlohmann(benchmark::State& state, const std::string& name)
{
    const std::string& text = fileText(name);
    for (auto _ : state) {
        nlohmann::json doc = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void parseRapid(benchmark::State& state, const std::string& name)
{
    const std::string& text = fileText(name);
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse(text.c_str(), text.size());
        benchmark::DoNotOptimize(doc.HasParseError());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void parseSimd(benchmark::State& state, const std::string& name)
{
    const std::string& text = fileText(name);
    simdjson::padded_string padded(text);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element doc;
        auto error = parser.parse(padded).get(doc);
        benchmark::DoNotOptimize(error);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// Every leaf of a document as a JsonDocument path and as a JSON pointer.
struct Leaves {
    std::vector<std::string> paths;
    std::vector<std::string> pointers;
};

void collect(const nlohmann::json& node, const std::string& path, const std::string& pointer, Leaves& out)
{
    if (node.is_object()) {
        for (auto it = node.begin(); it != node.end(); ++it) {
            std::string key;
            for (char c : it.key()) {
                if (c == '.' || c == '[' || c == ']' || c == '\\')
                    key += '\\';
                key += c;
            }
            std::string escaped;
            for (char c : it.key())
                escaped += c == '~' ? std::string("~0") : c == '/' ? std::string("~1") : std::string(1, c);
            collect(it.value(), path + (path.empty() ? "" : ".") + key, pointer + "/" + escaped, out);
        }
    } else if (node.is_array()) {
        for (std::size_t i = 0; i < node.size(); ++i)
            collect(node[i], path + "[" + std::to_string(i) + "]", pointer + "/" + std::to_string(i), out);
    } else {
        out.paths.push_back(path);
        out.pointers.push_back(pointer);
    }
}

const Leaves& leavesOf(const std::string& name)
{
    static std::vector<std::pair<std::string, Leaves>> cache;
    for (auto& [n, l] : cache)
        if (n == name)
            return l;
    Leaves leaves;
    collect(nlohmann::json::parse(fileText(name)), "", "", leaves);
    cache.emplace_back(name, std::move(leaves));
    return cache.back().second;
}

void lookupOurs(benchmark::State& state, const std::string& name)
{
    JsonDocument doc;
    doc.parseUtf8(fileText(name));
    const Leaves& leaves = leavesOf(name);
    for (auto _ : state)
        for (const std::string& path : leaves.paths)
            benchmark::DoNotOptimize(doc.getText(path));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * leaves.paths.size()));
}

void lookupNlohmann(benchmark::State& state, const std::string& name)
{
    nlohmann::json doc = nlohmann::json::parse(fileText(name));
    const Leaves& leaves = leavesOf(name);
    for (auto _ : state)
        for (std::size_t i = 0; i < leaves.pointers.size(); ++i)
            benchmark::DoNotOptimize(&doc.at(nlohmann::json::json_pointer(leaves.pointers[i])));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * leaves.paths.size()));
}

void lookupRapid(benchmark::State& state, const std::string& name)
{
    const std::string& text = fileText(name);
    rapidjson::Document doc;
    doc.Parse(text.c_str(), text.size());
    const Leaves& leaves = leavesOf(name);
    for (auto _ : state)
        for (const std::string& p : leaves.pointers)
            benchmark::DoNotOptimize(rapidjson::Pointer(p.c_str(), p.size()).Get(doc));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * leaves.paths.size()));
}

void lookupSimd(benchmark::State& state, const std::string& name)
{
    simdjson::padded_string padded(fileText(name));
    simdjson::dom::parser parser;
    simdjson::dom::element doc = parser.parse(padded);
    const Leaves& leaves = leavesOf(name);
    for (auto _ : state)
        for (const std::string& p : leaves.pointers)
            benchmark::DoNotOptimize(doc.at_pointer(p).error());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * leaves.paths.size()));
}

// Bytes the finished tree holds per byte of input.
void memory(benchmark::State& state, const std::string& name)
{
    const std::string& text = fileText(name);
    double ours = 0;
    double rapid = 0;
    for (auto _ : state) {
        JsonDocument doc;
        doc.parseUtf8(text);
        ours = static_cast<double>(doc.reservedBytes());
        rapidjson::Document peer;
        peer.Parse(text.c_str(), text.size());
        rapid = static_cast<double>(peer.GetAllocator().Capacity());
    }
    state.counters["ours_per_byte"] = ours / static_cast<double>(text.size());
    state.counters["rapidjson_per_byte"] = rapid / static_cast<double>(text.size());
    state.counters["ratio"] = ours / rapid;
}

void registerAll()
{
    for (const char* file : kFiles) {
        std::string name = file;
        benchmark::RegisterBenchmark(("parse/qingtong_utf8/" + name).c_str(), parseUtf8, name)->MinTime(0.5);
        benchmark::RegisterBenchmark(("parse/qingtong_w/" + name).c_str(), parseW, name)->MinTime(0.5);
        benchmark::RegisterBenchmark(("parse/nlohmann/" + name).c_str(), parseNlohmann, name)->MinTime(0.5);
        benchmark::RegisterBenchmark(("parse/rapidjson/" + name).c_str(), parseRapid, name)->MinTime(0.5);
        benchmark::RegisterBenchmark(("parse/simdjson/" + name).c_str(), parseSimd, name)->MinTime(0.5);
    }
    for (const char* file : kFiles) {
        std::string name = file;
        benchmark::RegisterBenchmark(("lookup/qingtong_getText/" + name).c_str(), lookupOurs, name)->MinTime(0.5);
        benchmark::RegisterBenchmark(("lookup/nlohmann_pointer/" + name).c_str(), lookupNlohmann, name)->MinTime(0.5);
        benchmark::RegisterBenchmark(("lookup/rapidjson_pointer/" + name).c_str(), lookupRapid, name)->MinTime(0.5);
        benchmark::RegisterBenchmark(("lookup/simdjson_pointer/" + name).c_str(), lookupSimd, name)->MinTime(0.5);
    }
    for (const char* file : kFiles)
        benchmark::RegisterBenchmark(("memory/" + std::string(file)).c_str(), memory, std::string(file))->Iterations(1);
}

} // namespace

int main(int argc, char** argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
