#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/AppContext.h"
#include "platform/codePage.h"

namespace qingtong::test {

inline std::string readWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class CollectingStatus : public StatusSink {
public:
    void setStatus(const Text& text) override
    {
        std::lock_guard lock(m_mutex);
        m_texts.push_back(text);
    }
    std::vector<Text> texts() const
    {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    Text last() const
    {
        std::lock_guard lock(m_mutex);
        return m_texts.empty() ? Text() : m_texts.back();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Text> m_texts;
};

// A run directory of its own with a download folder, and a context on it.
class RecordingFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_root = std::filesystem::temp_directory_path()
            / ("qt-rec-" + std::to_string(::getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_root);
        std::filesystem::create_directories(m_root / "Download");
        context.runDirectory = m_root.string();
        context.settings.setDownloadFolder(downloadFolder());
        context.status = &status;
    }
    void TearDown() override { std::filesystem::remove_all(m_root); }

    Text downloadFolder() const { return (m_root / "Download").string(); }

    RowId addRow(const std::string& nicknameUtf8, const std::string& userId = "", const std::string& stream = "")
    {
        const RowId id = context.list.appendRow();
        const std::string serial = std::to_string(context.list.rowCount());
        context.list.updateById(id, [&](MonitorRow& row) {
            row[CellSerial] = serial;
            row[CellNickname] = utf8ToAnsi(nicknameUtf8);
            row[CellAccount] = "acc";
            row[CellUserId] = userId;
            row[CellStream] = stream;
        });
        return id;
    }

    Text cell(RowId id, int c) const { return context.list.cellById(id, c).value_or("<gone>"); }
    std::string cellUtf8(RowId id, int c) const { return ansiToUtf8(cell(id, c)); }

    std::filesystem::path m_root;
    CollectingStatus status;
    AppContext context;
};

} // namespace qingtong::test
