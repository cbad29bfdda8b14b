// OpenVolumeSource on POSIX systems: every volume is an image file or a device node named by path.
#include "volume/PathVolumeSource.h"
#include "volume/VolumeError.h"

std::unique_ptr<IVolumeSource> OpenVolumeSource(const std::string& rootOrPath, uint32_t imageSectorSize) {
    if (rootOrPath.empty())
        throw TVolumeError("No drive, image file or device was given");
    return std::make_unique<TPathVolumeSource>(rootOrPath, imageSectorSize);
}
