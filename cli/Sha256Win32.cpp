// SHA-256 through CNG (bcrypt.dll, Windows Vista and later). The algorithm provider is opened once; each message
// gets a hash object of its own, which CNG allocates and frees.
#include "cli/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

namespace {

constexpr ULONG kDigestBytes = 32;

BCRYPT_ALG_HANDLE Sha256Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            return BCRYPT_ALG_HANDLE{};
        return handle;
    }();
    if (!provider)
        throw std::runtime_error("the system offers no SHA-256 (CNG)");
    return provider;
}

} // namespace

std::string Sha256Hex(std::string_view data) {
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(Sha256Provider(), &hash, nullptr, 0, nullptr, 0, 0)))
        throw std::runtime_error("CNG could not start a SHA-256 hash");
    unsigned char digest[kDigestBytes];
    // BCryptHashData takes a 32-bit length: a longer text is fed in pieces.
    bool ok = true;
    for (size_t done = 0; ok && done < data.size();) {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(data.size() - done, 0x40000000));
        ok = BCRYPT_SUCCESS(
            BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data() + done)), piece, 0));
        done += piece;
    }
    ok = ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, kDigestBytes, 0));
    BCryptDestroyHash(hash);
    if (!ok)
        throw std::runtime_error("CNG could not hash a message");
    return DigestHex(digest, kDigestBytes);
}
