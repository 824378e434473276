// qingtong-cli settings: shows or changes the download folder and the per-author folders,
// writing Config.ini the way the settings window does.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "app/Persistence.h"
#include "cli/Cli.h"
#include "cli/Terminal.h"
#include "platform/codePage.h"

namespace qingtong::cli {
namespace {

const char* const kUsage = "settings [--save PATH] [--folder on|off]";

int runSettings(Env& env, const std::vector<std::string>& args)
{
    std::optional<Text> folder;
    std::optional<bool> perAuthor;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--save" || arg == "--folder") {
            if (i + 1 >= args.size())
                return usageError(env.err, kUsage, arg + " needs a value");
            const std::string& value = args[++i];
            if (arg == "--save") {
                folder = utf8ToAnsi(value);  // stored as typed: not trimmed, not checked
            } else if (value == "on" || value == "off") {
                perAuthor = value == "on";
            } else {
                return usageError(env.err, kUsage, "--folder takes on or off, not " + value);
            }
        } else {
            return usageError(env.err, kUsage, "unknown argument " + arg);
        }
    }

    Settings& settings = env.context.settings;
    if (folder || perAuthor) {
        // Like "保存并关闭": both keys are written, the file first, then memory.
        const Text newFolder = folder.value_or(settings.downloadFolder());
        const bool newPerAuthor = perAuthor.value_or(settings.perAuthorFolders());
        if (!saveSettings(env.context.runDirectory, newFolder, newPerAuthor)) {
            env.err << "qingtong-cli: could not write " << terminalText(configPath(env.context.runDirectory))
                    << '\n';
            return 1;
        }
        settings.setDownloadFolder(newFolder);
        settings.setPerAuthorFolders(newPerAuthor);
    }
    env.out << "downloadFolder: " << terminalText(settings.downloadFolder()) << '\n'
            << "perAuthorFolders: " << (settings.perAuthorFolders() ? "on" : "off") << '\n';
    return 0;
}

} // namespace

QINGTONG_CLI_COMMAND(settings, kUsage, runSettings)

} // namespace qingtong::cli
