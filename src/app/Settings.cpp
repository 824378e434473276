#include "app/Settings.h"

namespace qingtong {

Text Settings::downloadFolder() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_downloadFolder;
}

void Settings::setDownloadFolder(const Text& folder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_downloadFolder = folder;
}

bool Settings::perAuthorFolders() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_perAuthorFolders;
}

void Settings::setPerAuthorFolders(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_perAuthorFolders = on;
}

namespace {

std::mutex& configMutex()
{
    static std::mutex mutex;
    return mutex;
}

ServiceConfig& configValue()
{
    static ServiceConfig config;
    return config;
}

} // namespace

ServiceConfig serviceConfig()
{
    std::lock_guard<std::mutex> lock(configMutex());
    return configValue();
}

void setServiceConfig(const ServiceConfig& config)
{
    std::lock_guard<std::mutex> lock(configMutex());
    configValue() = config;
}

} // namespace qingtong
