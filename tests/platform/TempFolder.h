#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Text.h"
#include "platform/files.h"

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qingtong-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // GBK path of the folder (it is ASCII), and of a name inside it.
    const qingtong::Text& path() const { return m_path; }
    qingtong::Text operator/(const qingtong::Text& name) const { return m_path + "/" + name; }

private:
    qingtong::Text m_path;
};
