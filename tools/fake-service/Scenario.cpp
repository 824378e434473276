#include "Scenario.h"

#include <chrono>
#include <sstream>

namespace qingtong::tools {

namespace {

using Endpoint = test::FakeService::Endpoint;
using Failure = test::FakeService::Failure;

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            break;
        std::string word;
        if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            word = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            const std::size_t end = line.find_first_of(" \t", i);
            word = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
            if (word == "-")
                word.clear();
            i = end == std::string::npos ? line.size() : end;
        }
        out.push_back(word);
    }
    return out;
}

bool endpointOf(const std::string& name, Endpoint& endpoint)
{
    static const std::pair<const char*, Endpoint> names[] = {
        {"live", Endpoint::LiveStatus}, {"room", Endpoint::RoomInfo},       {"user", Endpoint::UserInfo},
        {"sharecode", Endpoint::ShareCode}, {"shortlink", Endpoint::ShortLink}, {"any", Endpoint::Any},
    };
    for (const auto& [n, e] : names)
        if (name == n) {
            endpoint = e;
            return true;
        }
    return false;
}

bool failureOf(const std::string& name, Failure& failure)
{
    static const std::pair<const char*, Failure> names[] = {
        {"none", Failure::None},   {"status", Failure::StatusCode}, {"notjson", Failure::NotJson},
        {"html", Failure::HtmlError}, {"empty", Failure::Empty},    {"slow", Failure::Slow},
        {"reset", Failure::Reset}, {"truncated", Failure::Truncated},
    };
    for (const auto& [n, f] : names)
        if (name == n) {
            failure = f;
            return true;
        }
    return false;
}

bool isNumber(const std::string& s)
{
    return !s.empty() && s.size() < 10 && s.find_first_not_of("0123456789") == std::string::npos;
}

// Applies one line; "" when understood, else what is wrong with it.
std::string applyLine(const std::vector<std::string>& w, test::FakeService& fake, Scenario& scenario)
{
    const std::string& kind = w[0];
    if (kind == "user") {
        if (w.size() < 6)
            return "user needs SECUID UID NICKNAME UNIQUEID SHORTID";
        test::FakeService::User user{w[1], w[2], w[3], w[4], w[5], false, ""};
        if (w.size() >= 7) {
            if (w[6] == "live" && w.size() == 8) {
                user.live = true;
                user.roomId = w[7];
            } else if (w[6] == "offline" && w.size() <= 8) {
                user.roomId = w.size() == 8 ? w[7] : "";
            } else {
                return "after SHORTID: live ROOMID, or offline [ROOMID]";
            }
        }
        fake.addUser(user);
        scenario.pasteLines.push_back(fake.webLinkUrl(user.secUid));
        return {};
    }
    if (kind == "shortlink" || kind == "sharecode") {
        if (w.size() < 4)
            return kind + " needs CODE and a target";
        const std::string& code = w[1];
        const std::string& what = w[2];
        if (kind == "shortlink" && what == "user" && w.size() == 4)
            fake.addUserShortLink(code, w[3]);
        else if (kind == "shortlink" && what == "room" && w.size() == 4)
            fake.addRoomShortLink(code, w[3]);
        else if (kind == "shortlink" && what == "location" && w.size() == 4)
            fake.addShortLink(code, w[3]);
        else if (kind == "sharecode" && what == "user" && w.size() == 4)
            fake.addUserShareCode(code, w[3]);
        else if (kind == "sharecode" && what == "room" && w.size() == 5)
            fake.addRoomShareCode(code, w[3], w[4]);
        else if (kind == "sharecode" && what == "schema" && w.size() == 4)
            fake.addShareCode(code, w[3]);
        else
            return "unknown target of " + kind;
        scenario.pasteLines.push_back(kind == "shortlink" ? fake.shortLinkUrl(code) : "##" + code + "##");
        return {};
    }
    if (kind == "stream") {
        if (w.size() != 3)
            return "stream needs ROOMID and URL (or flv)";
        if (w[2] == "flv")
            scenario.flvStreams.push_back({w[1]});
        else
            fake.setStreamUrl(w[1], w[2]);
        return {};
    }
    if (kind == "fail") {
        Endpoint endpoint;
        Failure failure;
        if (w.size() < 3 || w.size() > 4 || !endpointOf(w[1], endpoint) || !failureOf(w[2], failure))
            return "fail needs ENDPOINT FAILURE [COUNT]";
        if (w.size() == 4 && !isNumber(w[3]))
            return "COUNT must be a number";
        fake.setFailure(endpoint, failure, w.size() == 4 ? std::stoi(w[3]) : -1);
        return {};
    }
    if (kind == "delay") {
        if (w.size() != 2 || !isNumber(w[1]))
            return "delay needs MILLISECONDS";
        fake.setSlowDelay(std::chrono::milliseconds(std::stoi(w[1])));
        return {};
    }
    return "unknown word " + kind;
}

} // namespace

Scenario applyScenario(const std::string& text, test::FakeService& fake)
{
    Scenario scenario;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<std::string> w = words(line);
        if (w.empty() || w[0].empty() || w[0][0] == '#')
            continue;
        const std::string error = applyLine(w, fake, scenario);
        if (!error.empty())
            scenario.errors.push_back("line " + std::to_string(number) + ": " + error);
    }
    return scenario;
}

} // namespace qingtong::tools
