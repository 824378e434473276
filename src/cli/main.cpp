// qingtong-cli: the headless program. Resolves the run directory, loads the service
// configuration, the settings and the list, then runs one sub-command.

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"
#include "platform/net/HttpSession.h"
#include "platform/runDirectory.h"

namespace {

using qingtong::Text;

// Status texts go to stderr with --verbose, nowhere otherwise.
class TerminalStatus : public qingtong::StatusSink {
public:
    explicit TerminalStatus(bool verbose) : m_verbose(verbose) {}
    void setStatus(const Text& text) override
    {
        if (m_verbose)
            std::cerr << qingtong::cli::terminalText(text) << '\n';
    }

private:
    bool m_verbose;
};

void printUsage(std::ostream& out)
{
    out << "usage: qingtong-cli [--dir DIR] [--verbose] COMMAND [ARGS]\n"
           "  --dir DIR    folder of Config.ini, userList.txt and the recordings\n"
           "               (default: beside the program when writable, else ~/.local/share/qingtong)\n"
           "  --verbose    print status texts on stderr\n"
           "commands:\n";
    for (const auto& command : qingtong::cli::commands())
        out << "  " << command.usage << '\n';
}

int badUsage(const std::string& message)
{
    std::cerr << "qingtong-cli: " << message << '\n';
    printUsage(std::cerr);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::string dir;
    bool verbose = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(std::cout);
            return 0;
        }
        if (arg == "--verbose" || arg == "-v") {
            verbose = true;
        } else if (arg == "--dir") {
            if (i + 1 >= argc)
                return badUsage("--dir needs a folder");
            dir = argv[++i];
            if (dir.empty())
                return badUsage("--dir needs a folder");
        } else if (arg.rfind("--dir=", 0) == 0) {
            dir = arg.substr(6);
            if (dir.empty())
                return badUsage("--dir needs a folder");
        } else if (!arg.empty() && arg[0] == '-') {
            return badUsage("unknown option " + arg);
        } else {
            break;
        }
    }
    if (i >= argc)
        return badUsage("no command given");

    const std::string name = argv[i];
    const qingtong::cli::Command* command = nullptr;
    for (const auto& c : qingtong::cli::commands())
        if (name == c.name)
            command = &c;
    if (!command)
        return badUsage("unknown command " + name);
    const std::vector<std::string> args(argv + i + 1, argv + argc);

    const Text runDirectory = qingtong::resolveRunDirectory(dir);
    if (runDirectory.empty()) {
        std::cerr << "qingtong-cli: no usable run directory" << (dir.empty() ? "" : ": " + dir) << '\n';
        return 1;
    }

    const qingtong::ServiceConfig config = qingtong::loadServiceConfig(runDirectory);
    qingtong::setServiceConfig(config);
    qingtong::net::setStrictTls(config.strictTls);

    TerminalStatus status(verbose);
    qingtong::AppContext context;
    context.runDirectory = runDirectory;
    context.status = &status;
    qingtong::startupLoad(context);

    qingtong::cli::Env env{context, std::cout, std::cerr, std::cin};
    const int code = command->run(env, args);
    std::cout.flush();
    return code;
}
