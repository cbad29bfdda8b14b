// The command line of ostrevan-scan, parsed into what the program is asked to do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TOptions {
    std::string Source;
    bool ListDrives = false;
    bool Json = false;
    bool Quiet = false;
    bool Help = false;
    bool Version = false;
    bool Deep = false;   // the deep scan's rules instead of the standard ones
    bool Unique = false; // each full text listed once, at its first occurrence
    bool HasKeyword = false;
    std::string Keyword;
    std::string ExportDir; // empty: nothing is written
    uint32_t SectorSize = 512;
    uint32_t Threads = 0; // threads that walk the volume; 0: one per core, 1: the single walk
};

struct TParsedOptions {
    TOptions Options;
    std::string Error; // bad usage when not empty
};

TParsedOptions ParseOptions(const std::vector<std::string>& args);

// The text of --help.
const char* UsageText();
