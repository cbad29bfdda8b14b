// OpenVolumeSource on Windows: "C:\" and "C:" are drive roots (IsDriveRoot); anything else, a one-letter name
// too, is an image file or device.
#include "volume/DriveVolumeSource.h"
#include "volume/PathVolumeSource.h"
#include "volume/RawDiskAccess.h"
#include "volume/VolumeError.h"

std::unique_ptr<IVolumeSource> OpenVolumeSource(const std::string& rootOrPath, uint32_t imageSectorSize) {
    if (rootOrPath.empty())
        throw TVolumeError("No drive, image file or device was given");
    if (IsDriveRoot(rootOrPath))
        return std::make_unique<TDriveVolumeSource>(rootOrPath);
    return std::make_unique<TPathVolumeSource>(rootOrPath, imageSectorSize);
}
