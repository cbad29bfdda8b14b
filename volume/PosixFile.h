// Helpers of the POSIX back ends for image files and block devices open as a file descriptor.
#pragma once

#include <cstddef>
#include <cstdint>

// Sector size and length of what `fd` names: from the device for a block device, else `imageSectorSize`
// and the file's size. 0, or the errno value that explains why it cannot be measured (EISDIR for a directory,
// ENOTBLK for anything else that is neither a file nor a block device).
int MeasurePosixFile(int fd, uint32_t imageSectorSize, uint32_t& sectorSize, uint64_t& lengthBytes);
// Reads exactly `length` bytes at `offset`, going on after short reads and interrupted calls.
// False when an error or the end of the file comes first (errno tells which: 0 for the end). Calls only pread,
// so the volume map's SIGBUS handler may call it (the handler keeps errno as it found it).
bool PreadFully(int fd, uint64_t offset, uint8_t* buffer, size_t length);
