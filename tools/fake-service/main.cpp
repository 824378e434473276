// fake-service: the loopback stand-in of the service as a program, for trying qingtong-cli
// and the desktop program without a network. It reads a scenario file (see Scenario.h),
// prints the [service] lines of Config.ini that point the programs at it, optionally writes
// them into a run directory's Config.ini, and serves until Ctrl-C.

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Scenario.h"
#include "support/FakeService.h"
#ifdef QINGTONG_HAVE_FLV_SERVER
#include "support/FlvStreamServer.h"
#endif

namespace {

const char* const kUsage =
    "usage: fake-service [--port N] [--run-dir DIR] [--quiet] SCENARIO\n"
    "Serves the scenario over HTTPS on 127.0.0.1 until Ctrl-C. Prints the [service] section of\n"
    "Config.ini that points qingtong at it; with --run-dir also writes it into DIR/Config.ini\n"
    "(other sections are kept). Every request is logged on standard error unless --quiet.\n";

bool parsePort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(text);
    return port > 0 && port < 65536;
}

} // namespace

int main(int argc, char** argv)
{
    using qingtong::test::FakeService;

    int port = 0;
    std::string runDir;
    std::string scenarioPath;
    bool quiet = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--port" && i + 1 < argc) {
            if (!parsePort(argv[++i], port)) {
                std::cerr << "fake-service: bad port " << argv[i] << "\n";
                return 2;
            }
        } else if (arg == "--run-dir" && i + 1 < argc) {
            runDir = argv[++i];
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (!arg.empty() && arg[0] != '-' && scenarioPath.empty()) {
            scenarioPath = arg;
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (scenarioPath.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    std::ifstream file(scenarioPath, std::ios::binary);
    if (!file) {
        std::cerr << "fake-service: can not read " << scenarioPath << "\n";
        return 2;
    }
    std::ostringstream text;
    text << file.rdbuf();

    // Ctrl-C and SIGTERM are waited for below, never delivered to a thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    FakeService fake(port);
    if (!fake.running()) {
        std::cerr << "fake-service: can not listen on 127.0.0.1" << (port ? ":" + std::to_string(port) : "") << "\n";
        return 1;
    }
    const qingtong::tools::Scenario scenario = qingtong::tools::applyScenario(text.str(), fake);
    for (const std::string& error : scenario.errors)
        std::cerr << scenarioPath << ": " << error << "\n";
    if (!scenario.errors.empty())
        return 2;

#ifdef QINGTONG_HAVE_FLV_SERVER
    std::unique_ptr<qingtong::test::FlvStreamServer> flv;
    if (!scenario.flvStreams.empty()) {
        flv = std::make_unique<qingtong::test::FlvStreamServer>(false);
        qingtong::test::FlvStreamServer::Script endless;
        endless.tags = -1;
        endless.interval = std::chrono::milliseconds(40);
        endless.payload = 2048;
        flv->setScript(endless);
        for (const auto& stream : scenario.flvStreams)
            fake.setStreamUrl(stream.roomId, flv->url("/live/" + stream.roomId + ".flv"));
    }
#else
    if (!scenario.flvStreams.empty()) {
        std::cerr << "fake-service: \"stream ROOMID flv\" needs the FLV stream server, not built here\n";
        return 2;
    }
#endif

    std::mutex logMutex;
    if (!quiet) {
        fake.setRequestObserver([&logMutex](const FakeService::Request& r) {
            std::lock_guard lock(logMutex);
            std::cerr << "fake-service: " << r.method << " " << r.path << (r.query.empty() ? "" : "?") << r.query
                      << (r.body.empty() ? "" : "  body: " + r.body) << std::endl;
        });
    }

    std::cout << fake.serviceIniSection();
    if (!runDir.empty()) {
        if (!fake.writeServiceConfig(runDir)) {
            std::cerr << "fake-service: can not write " << runDir << "/Config.ini\n";
            return 1;
        }
        std::cout << "; written into " << runDir << "/Config.ini\n";
    }
    if (!scenario.pasteLines.empty()) {
        std::cout << "; lines to try with qingtong-cli add:\n";
        for (const std::string& line : scenario.pasteLines)
            std::cout << ";   " << line << "\n";
    }
    std::cout << "; serving on https://" << fake.host() << " until Ctrl-C" << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cout << "; stopped" << std::endl;
    fake.stop();
    return 0;
}
