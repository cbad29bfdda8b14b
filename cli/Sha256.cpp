// What both back ends of Sha256Hex share.
#include "cli/Sha256.h"

std::string DigestHex(const unsigned char* digest, size_t length) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * length);
    for (size_t k = 0; k < length; ++k) {
        hex.push_back(kHex[digest[k] >> 4]);
        hex.push_back(kHex[digest[k] & 15]);
    }
    return hex;
}
