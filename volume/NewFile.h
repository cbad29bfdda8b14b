// Writing a file that did not exist before: never over a file that is there, never a cut-off file left behind.
// Both front ends export messages through it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class TCreateResult { Created, Exists, Failed };

// Bytes handed to the system in one write call. Very large single writes fail on some network shares and older
// systems (ERROR_NO_SYSTEM_RESOURCES); a message is at most 20 MiB, so this costs it at most two calls.
constexpr size_t kWriteChunkBytes = 16 * 1024 * 1024;

// Creates `path` only if nothing of that name exists (O_EXCL / CREATE_NEW) and writes `data` into it, at most
// `chunkBytes` per call. On Failed, `error` holds the system's reason; a file that could not be written completely
// is removed again, since this call created it.
TCreateResult CreateNewFile(const std::string& path, std::string_view data, std::string& error,
                            size_t chunkBytes = kWriteChunkBytes);
