// What both back ends of TPathVolumeSource check once the volume is measured.
#include "volume/PathVolumeSource.h"
#include "volume/VolumeError.h"

void TPathVolumeSource::RefuseUnusableShape() const {
    const auto fail = [&](const std::string& cause) { throw TVolumeError("Cannot read \"" + path_ + "\": " + cause); };
    if (sectorSize_ == 0)
        fail("the sector size is 0");
    if (lengthBytes_ == 0)
        fail("it is empty (0 bytes)");
    if (lengthBytes_ < sectorSize_)
        fail("it is smaller than one sector of " + std::to_string(sectorSize_) + " bytes");
}
