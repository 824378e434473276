#include "app/AppContext.h"

#include <cstdio>
#include <mutex>

#include "app/Persistence.h"
#include "platform/IniFile.h"
#include "platform/codePage.h"
#include "platform/files.h"
#include "platform/textRoutines.h"

namespace qingtong {

const Text kTrueText = "\xD5\xE6";   // 真
const Text kFalseText = "\xBC\xD9";  // 假

Text configPath(const Text& runDirectory) { return runDirectory + "/" + kConfigFileName; }

Text listPath(const Text& runDirectory) { return runDirectory + "/" + kListFileName; }

Text defaultDownloadFolder(const Text& runDirectory) { return runDirectory + "/" + kDownloadFolderName; }

bool saveSettings(const Text& runDirectory, const Text& downloadFolder, bool perAuthorFolders)
{
    IniFile ini(configPath(runDirectory));
    const bool saved = ini.setValue(kSettingsSection, "save", downloadFolder);
    return ini.setValue(kSettingsSection, "folder", perAuthorFolders ? kTrueText : kFalseText) && saved;
}

Text listFieldText(const Text& field)
{
    Text out;
    out.reserve(field.size());
    for (const char c : field) {
        if (c == '\r' || c == '\n')
            out.push_back(' ');
        else if (c == '-' && !out.empty() && out.back() == '-')
            continue;  // "-" is never a trail byte, so this can not cut a character
        else
            out.push_back(c);
    }
    if (!out.empty() && out.back() == '-')
        out.pop_back();
    return out;
}

void AppContext::beginLoad()
{
    std::lock_guard<std::mutex> lock(m_loadMutex);
    m_loading = true;
}

void AppContext::endLoad()
{
    {
        std::lock_guard<std::mutex> lock(m_loadMutex);
        m_loading = false;
    }
    m_loadEnded.notify_all();
}

void AppContext::waitUntilLoaded()
{
    std::unique_lock<std::mutex> lock(m_loadMutex);
    m_loadEnded.wait(lock, [this] { return !m_loading; });
}

void AppContext::setListUnreadable(bool unreadable)
{
    std::lock_guard<std::mutex> lock(m_loadMutex);
    m_listUnreadable = unreadable;
}

bool AppContext::listUnreadable() const
{
    std::lock_guard<std::mutex> lock(m_loadMutex);
    return m_listUnreadable;
}

void startupLoad(AppContext& context)
{
    context.beginLoad();
    struct LoadEnd {
        AppContext& context;
        ~LoadEnd() { context.endLoad(); }
    } loadEnd{context};

    context.setStatus(utf8ToAnsi("当前状态 -> 初始化.."));

    IniFile ini(configPath(context.runDirectory));
    const Text save = ini.value(kSettingsSection, "save");
    if (save.empty()) {
        const Text folder = defaultDownloadFolder(context.runDirectory);
        if (!isDirectory(folder)) {
            Text path = folder;
            createDirectoryPath(path, context.runDirectory);
        }
        context.settings.setDownloadFolder(folder);
    } else {
        context.settings.setDownloadFolder(save);
    }
    context.settings.setPerAuthorFolders(ini.value(kSettingsSection, "folder") == kTrueText);

    // Lines end with CR LF; a file saved by a Unix editor (LF only) loads the same way.
    const Text listFile = listPath(context.runDirectory);
    Bytes bytes;
    if (!readWholeFile(listFile, bytes) && pathExists(listFile))
        context.setListUnreadable(true);
    const Text content = toText(bytes);
    for (Text& line : splitText(content, "\n")) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::vector<Text> fields = splitText(line, "--");
        if (fields.size() != 3)
            continue;
        const RowId id = context.list.appendRow();
        const Text serial = std::to_string(context.list.indexOf(id) + 1);
        context.list.updateById(id, [&](MonitorRow& row) {
            row[CellSerial] = serial;
            row[CellNickname] = fields[0];
            row[CellAccount] = fields[1];
            row[CellUserId] = fields[2];
        });
    }

    context.setStatus(utf8ToAnsi("当前状态 -> 就绪。"));
}

Text listFileText(const MonitorList& list)
{
    Text content;
    for (const MonitorRow& row : list.snapshot()) {
        content += listFieldText(row[CellNickname]);
        content += "--";
        content += listFieldText(row[CellAccount]);
        content += "--";
        content += listFieldText(row[CellUserId]);
        content += "\r\n";
    }
    return content;
}

void saveMonitorList(AppContext& context)
{
    // One save at a time, so the file always ends up with the latest table, never with an
    // older snapshot that finished writing later.
    context.waitUntilLoaded();
    static std::mutex saveMutex;
    std::lock_guard<std::mutex> lock(saveMutex);
    const Text listFile = listPath(context.runDirectory);
    if (context.listUnreadable()) {
        // The list on disk never reached the table: keep it under a name of its own rather
        // than overwrite users we could not read. Without that, nothing is written.
        Text aside;
        for (int n = 1; n < 1000; ++n) {
            const Text candidate = listFile + ".unreadable" + (n == 1 ? Text() : numberText(n));
            if (!pathExists(candidate)) {
                aside = candidate;
                break;
            }
        }
        if (aside.empty() || std::rename(ansiToUtf8(listFile).c_str(), ansiToUtf8(aside).c_str()) != 0)
            return;
        context.setListUnreadable(false);
    }
    writeTextFile(listFile, listFileText(context.list));
}

ServiceConfig loadServiceConfig(const Text& runDirectory)
{
    ServiceConfig config;
    IniFile ini(configPath(runDirectory));
    auto read = [&](const char* key, Text& field) {
        const Text value = ini.value(kServiceSection, key);
        if (!value.empty())
            field = value;
    };
    read("webcastHost", config.webcastHost);
    read("shortLinkHost", config.shortLinkHost);
    read("webDomain", config.webDomain);
    read("webApiHost", config.webApiHost);
    read("appApiHost", config.appApiHost);
    read("promoDocument", config.promoDocument);
    read("pictureHost", config.pictureHost);
    read("browserPage", config.browserPage);
    config.strictTls = ini.value(kServiceSection, "strictTls") == kTrueText;
    return config;
}

} // namespace qingtong
