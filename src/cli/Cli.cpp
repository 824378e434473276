#include "cli/Cli.h"

namespace qingtong::cli {
namespace {

std::vector<Command>& registry()
{
    static std::vector<Command> commands;
    return commands;
}

} // namespace

void registerCommand(const Command& command) { registry().push_back(command); }

const std::vector<Command>& commands() { return registry(); }

} // namespace qingtong::cli
