#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/AppContext.h"

namespace qingtong::cli {

// What every sub-command of qingtong-cli gets: the loaded context and the streams.
// Terminal text is UTF-8; convert with ansiToUtf8 / utf8ToAnsi at this edge.
struct Env {
    AppContext& context;
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
};

// A sub-command: its name, a one-line usage, and its body. The body gets the arguments
// after the command name and returns the exit code (2 for a bad argument).
struct Command {
    const char* name;
    const char* usage;
    int (*run)(Env& env, const std::vector<std::string>& args);
};

void registerCommand(const Command& command);
const std::vector<Command>& commands();

// Registers a command from its own source file:  QINGTONG_CLI_COMMAND(add, "add [LINE...]", runAdd)
struct Registrar {
    explicit Registrar(const Command& command) { registerCommand(command); }
};
#define QINGTONG_CLI_COMMAND(ident, usage, fn) \
    static ::qingtong::cli::Registrar qingtongCliRegistrar_##ident{{#ident, usage, fn}};

} // namespace qingtong::cli
