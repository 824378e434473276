#pragma once

#include <string>

namespace qingtong::test {

// A self-signed certificate for 127.0.0.1 and localhost, made once per test process and
// written as PEM files into a private temporary folder. Loopback HTTPS servers of the
// tests load them with cpp-httplib's SSLServer(certPath, keyPath).
struct TestCert {
    std::string certPath;
    std::string keyPath;
};

const TestCert& testCert();

} // namespace qingtong::test
