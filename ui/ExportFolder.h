// The file work of the export: probing a folder and writing message files, never touching a file that the
// export did not create itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// `name` in `folder`; a folder that already ends in a separator (a drive root) gets none added.
std::string PathInFolder(const std::string& folder, const std::string& name);

// Creates and deletes a fresh probe file ("check.DAT", or "check<N>.DAT" when that name is taken) to learn
// whether files can be made in `folder`. Returns 0 when they can, else the system's error code.
DWORD ProbeFolder(const std::string& folder);

// "RecoveredEmail<number>.eml" for the first copy, "RecoveredEmail<number> (<copy>).eml" for the next ones.
std::string ExportFileName(uint64_t number, unsigned copy = 1);

// One message to write: the number its file is named after (its row's position in the list) and its index among
// the messages found.
struct TExportItem {
    uint64_t FileNumber;
    size_t MessageIndex;
};
// Puts the full text of message `index` into `text`; false, with the reason in `error`, when it cannot be had.
// The list keeps its messages where it likes (in memory, in a spool file): the export only asks.
using TFullTextSource = std::function<bool(size_t index, std::string& text, std::string& error)>;

struct TExportOutcome {
    uint64_t Written = 0;
    uint64_t Renamed = 0; // of those written, how many under a "(2)"-style name because theirs was taken
    uint64_t NotWritten = 0;
    std::string FirstRenamed; // the file name the first of those got
    std::string FirstFailure; // the path that failed first, and why
    std::string FirstError;
};

// Copies tried for one message before it counts as not written.
constexpr unsigned kMostCopiesTried = 1000;

// Writes each item's full text, byte for byte, into a new file of its name in `folder`. A name that is taken is
// never overwritten: the message goes under the next free name instead.
TExportOutcome ExportMessages(const std::string& folder, const std::vector<TExportItem>& items,
                              const TFullTextSource& fullText);
