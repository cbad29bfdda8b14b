// SHA-256 through libcrypto's EVP interface. The digest is fetched once and each thread keeps one context, so
// a message costs no lookup by name and no allocation: the command line hashes every message it lists.
#include "cli/Sha256.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace {

struct TMdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
struct TContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

const EVP_MD* Sha256Digest() {
    static const std::unique_ptr<EVP_MD, TMdFree> digest(EVP_MD_fetch(nullptr, "SHA256", nullptr));
    if (!digest)
        throw std::runtime_error("libcrypto offers no SHA-256");
    return digest.get();
}

EVP_MD_CTX* ThreadContext() {
    thread_local const std::unique_ptr<EVP_MD_CTX, TContextFree> context(EVP_MD_CTX_new());
    if (!context)
        throw std::bad_alloc();
    return context.get();
}

} // namespace

std::string Sha256Hex(std::string_view data) {
    EVP_MD_CTX* context = ThreadContext();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_DigestInit_ex2(context, Sha256Digest(), nullptr) || !EVP_DigestUpdate(context, data.data(), data.size()) ||
        !EVP_DigestFinal_ex(context, digest, &length))
        throw std::runtime_error("libcrypto could not hash a message");
    return DigestHex(digest, length);
}
