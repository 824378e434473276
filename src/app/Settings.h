#pragma once

#include <mutex>

#include "platform/Text.h"

namespace qingtong {

// The two user settings, shared by the settings window (writer) and the recordings
// (readers, once at their start). Thread-safe.
class Settings {
public:
    Text downloadFolder() const;
    void setDownloadFolder(const Text& folder);
    bool perAuthorFolders() const;
    void setPerAuthorFolders(bool on);

private:
    mutable std::mutex m_mutex;
    Text m_downloadFolder;
    bool m_perAuthorFolders = false;
};

// Where the service lives: section "service" of Config.ini. A host may carry a port
// ("127.0.0.1:8443"). Defaults are the real service's hosts.
struct ServiceConfig {
    Text webcastHost = "webcast.amemv.com";
    Text shortLinkHost = "v.douyin.com";
    Text webDomain = "douyin.com";
    Text webApiHost = "www.iesdouyin.com";
    Text appApiHost = "aweme.snssdk.com";
    Text promoDocument;   // address of the promotional document; empty: step left out
    Text pictureHost;     // host of the promotional picture; empty: step left out
    Text browserPage;     // page of the hidden browser box; empty: not loaded
    bool strictTls = false;  // "真": certificate checks on for every request
};

// Process-wide service configuration: set once at start (or by a test), read by the queries.
ServiceConfig serviceConfig();
void setServiceConfig(const ServiceConfig& config);

} // namespace qingtong
