// The part of RawDiskAccess that both back ends share.
#include "volume/RawDiskAccess.h"

TDriveGeometry GeometryFromFreeSpace(const TFreeSpace& space) {
    TDriveGeometry geometry;
    geometry.BytesPerSector = static_cast<int32_t>(space.BytesPerSector);
    geometry.SectorsPerCluster = static_cast<int32_t>(space.SectorsPerCluster);
    geometry.TotalClusters = space.TotalClusters;
    geometry.FreeClusters = space.FreeClusters;
    const uint32_t clusterSize = space.SectorsPerCluster * space.BytesPerSector;
    geometry.ClusterSize = static_cast<int32_t>(clusterSize);
    if (space.HasExtended) {
        geometry.TotalBytes = static_cast<int64_t>(space.TotalBytes);
        geometry.FreeBytes = static_cast<int64_t>(space.FreeBytes);
    } else {
        // The old query only knows 32-bit products: a volume of 4 GiB or more is reported modulo 2^32.
        geometry.TotalBytes = static_cast<uint32_t>(clusterSize * space.TotalClusters);
        geometry.FreeBytes = static_cast<uint32_t>(clusterSize * space.FreeClusters);
    }
    return geometry;
}
