// SHA-256 of a byte string, for telling recovered messages apart and checking them against a ground truth.
#pragma once

#include <string>
#include <string_view>

// The digest as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view data);
