// The operating system's own text for an error code (errno on POSIX, GetLastError on Windows).
#pragma once

#include <cstdint>
#include <string>

std::string SystemErrorText(uint32_t code);
