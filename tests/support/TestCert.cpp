#include "support/TestCert.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace qingtong::test {
namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(std::string("test certificate: ") + what);
}

void writePem(const std::string& path, const std::function<int(FILE*)>& write)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    check(file != nullptr, "cannot create PEM file");
    const int ok = write(file);
    std::fclose(file);
    check(ok == 1, "cannot write PEM file");
}

TestCert makeCert()
{
    KeyPtr key(EVP_RSA_gen(2048));
    check(key != nullptr, "key generation failed");

    CertPtr cert(X509_new());
    check(cert != nullptr, "X509_new failed");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 60L * 60 * 24 * 365);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
        reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);

    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
    ExtPtr san(X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"));
    check(san != nullptr, "subjectAltName");
    X509_add_ext(cert.get(), san.get(), -1);
    check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "signing failed");

    char folderTemplate[] = "/tmp/qingtong-cert-XXXXXX";
    const char* folder = mkdtemp(folderTemplate);
    check(folder != nullptr, "mkdtemp failed");
    TestCert result{std::string(folder) + "/cert.pem", std::string(folder) + "/key.pem"};
    writePem(result.certPath, [&](FILE* f) { return PEM_write_X509(f, cert.get()); });
    writePem(result.keyPath, [&](FILE* f) {
        return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    return result;
}

} // namespace

const TestCert& testCert()
{
    static const TestCert cert = makeCert();
    return cert;
}

} // namespace qingtong::test
