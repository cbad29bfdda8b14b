// The file work of the export: probing a folder and writing message files, never touching a file that
// the export did not create itself.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// `name` in `folder`; a folder that already ends in a backslash (a drive root) gets none added.
std::string PathInFolder(const std::string& folder, const std::string& name);

// Creates and deletes a fresh probe file ("check.DAT", or "check<N>.DAT" when that name is taken) to learn
// whether files can be made in `folder`. Returns 0 when they can, else the system's error code.
DWORD ProbeFolder(const std::string& folder);

// Creates `path`, which must not exist yet, and writes `content` into it byte for byte. Returns 0 on
// success, else the system's error code; a file it created but could not fill is deleted again.
DWORD WriteNewFile(const std::string& path, std::string_view content);
