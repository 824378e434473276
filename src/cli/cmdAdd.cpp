// qingtong-cli add: resolves share links, web links and share messages into users and adds
// them to the list, as the add window does, then saves the list.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "addobject/AddObject.h"
#include "cli/Cli.h"
#include "platform/codePage.h"

namespace qingtong::cli {

namespace {

const char* const kHelp =
    "usage: qingtong-cli [--dir DIR] add [LINE...]\n"
    "Adds one monitored user per LINE (read from standard input, one per line, when no LINE\n"
    "is given). A line may be a user's short share link, a web link of a user's page, a live\n"
    "room's short share link (adds the room's owner while the room is live), or a share\n"
    "message of a home page or a live room holding its code. A user already listed is\n"
    "updated in place. The list is saved afterwards.\n"
    "Exit code: 0 when every line was added, 1 when any line failed, 2 for a bad argument.\n";

// The add window's part played by the terminal: progress lines on standard output.
class TerminalAddView : public AddView {
public:
    TerminalAddView(Text input, std::ostream& out) : m_input(std::move(input)), m_out(out) {}

    Text inputText() override { return m_input; }
    void setButtonEnabled(bool) override {}
    void setLabel(const Text&) override {}  // the same texts reach setStatus
    void setStatus(const Text& text) override { m_out << ansiToUtf8(text) << std::endl; }

private:
    Text m_input;
    std::ostream& m_out;
};

int runAdd(Env& env, const std::vector<std::string>& args)
{
    std::vector<std::string> lines;
    bool onlyLines = false;
    for (const std::string& arg : args) {
        if (!onlyLines && (arg == "-h" || arg == "--help")) {
            env.out << kHelp;
            return 0;
        }
        if (!onlyLines && arg == "--") {
            onlyLines = true;
            continue;
        }
        if (!onlyLines && arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            env.err << "qingtong-cli add: unknown option " << arg << "\n" << kHelp;
            return 2;
        }
        lines.push_back(arg);
    }
    if (lines.empty() && args.empty()) {
        std::string line;
        while (std::getline(env.in, line))
            lines.push_back(line);
    }

    // The batch reads the window's text: lines joined by CR LF, in the table's code page.
    Text input;
    for (const std::string& line : lines) {
        std::string oneLine = line;
        for (char& c : oneLine)
            if (c == '\r' || c == '\n')
                c = ' ';
        input += utf8ToAnsi(oneLine) + "\r\n";
    }

    TerminalAddView view(input, env.out);
    const BatchCounts counts = addObjectBatch(env.context, view);
    return counts.failure == 0 ? 0 : 1;
}

} // namespace

QINGTONG_CLI_COMMAND(add, "add [LINE...]", runAdd)

} // namespace qingtong::cli
