#include "volume/SystemError.h"

#include <cstring>

std::string SystemErrorText(uint32_t code) {
    return std::strerror(static_cast<int>(code));
}
