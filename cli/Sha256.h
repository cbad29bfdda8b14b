// SHA-256 of a byte string, for telling recovered messages apart and checking them against a ground truth.
// The digest comes from the system's well-kept implementation: OpenSSL's libcrypto on Linux (which uses the
// processor's SHA instructions where it has them), CNG on Windows.
#pragma once

#include <string>
#include <string_view>

// The digest as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view data);

// The 32 digest bytes as 64 lower-case hex digits (both back ends share it).
std::string DigestHex(const unsigned char* digest, size_t length);
