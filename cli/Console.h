// The few facts of the console and the file system that differ between POSIX and Windows.
#pragma once

#include <string>
#include <string_view>

// Standard error is a terminal (a progress bar makes sense there).
bool StderrIsTerminal();

// Standard output carries bytes as written (no LF to CR LF translation on Windows).
void SetBinaryStdout();

enum class TCreateResult { Created, Exists, Failed };

// Creates `path` only if no file of that name exists (O_EXCL / CREATE_NEW) and writes `data` into it. On
// Failed, `error` holds the system's reason; a file that could not be written completely is removed again,
// since this call created it.
TCreateResult CreateNewFile(const std::string& path, std::string_view data, std::string& error);
