#include "cli/DriveLister.h"

bool ListReadyDrives(std::FILE*) {
    std::fputs("ostrevan-scan: the drive list is not available yet\n", stderr);
    return false;
}
