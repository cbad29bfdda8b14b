// Raised when a volume cannot be opened or measured; the text names the drive or path and the cause.
#pragma once

#include <stdexcept>
#include <string>

class TVolumeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
