#include "cli/DriveLister.h"

#include "volume/GetDrives.h"

bool ListReadyDrives(std::FILE* out) {
    TGetDrives drives;
    const TDriveArray roots = drives.ListDrives();
    for (const std::string& root : roots)
        std::fprintf(out, "%s\n", root.c_str());
    if (roots.empty())
        std::fputs("ostrevan-scan: no drive is ready to scan (a device may need more rights to be read)\n", stderr);
    return true;
}
