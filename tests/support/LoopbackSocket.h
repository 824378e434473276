#pragma once

#include <string>
#include <vector>

namespace qingtong::test {

// Small socket helpers shared by the raw-socket test servers.

// A write to a connection the client has dropped must fail, not end the process; serving
// threads call this so SIGPIPE stays blocked (a pending one dies with the thread).
void blockSigpipe();

// A listening socket on 127.0.0.1 with a port the kernel picks; throws with `owner` in the
// message when it can not listen. `port` receives the port.
int listenLoopback(const char* owner, int& port);

// Connects to 127.0.0.1:port; -1 when refused.
int connectLoopback(int port);

bool sendAll(int fd, const std::string& data);

// ASCII letter case ignored.
bool iequal(const std::string& a, const std::string& b);

// The value of the first "Name: value" line whose name matches (case ignored), leading
// blanks removed; "" when none does.
std::string headerValue(const std::vector<std::string>& headerLines, const std::string& name);

} // namespace qingtong::test
