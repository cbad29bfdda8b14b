// --list-drives: the drives that are ready to scan, one root per line.
#pragma once

#include <cstdio>

// False, with the reason on standard error, when the list cannot be made.
bool ListReadyDrives(std::FILE* out);
