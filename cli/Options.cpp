#include "cli/Options.h"

#include <charconv>

namespace {

// A whole decimal number from `least` to `most`, nothing else.
bool ParseNumber(const std::string& text, uint32_t least, uint32_t most, uint32_t& number) {
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < least || value > most)
        return false;
    number = value;
    return true;
}

// Sector sizes that real media use: a power of two from 512 to 64 KiB.
bool ParseSectorSize(const std::string& text, uint32_t& size) {
    uint32_t value = 0;
    if (!ParseNumber(text, 512, 65536, value) || (value & (value - 1)) != 0)
        return false;
    size = value;
    return true;
}

} // namespace

const char* UsageText() {
    return "Usage: ostrevan-scan [options] SOURCE\n"
           "Finds e-mail messages in the raw sectors of a disk volume, deleted ones included.\n"
           "\n"
           "  SOURCE              a disk image file, a device node (/dev/sdb1, \\\\.\\PhysicalDrive1) or,\n"
           "                      on Windows, a drive root (C:\\)\n"
           "  --list-drives       list the drives that are ready to scan and exit\n"
           "  --json              one JSON object per message on stdout, in the order found (JSON Lines)\n"
           "  --export DIR        write each listed message as DIR/RecoveredEmail<N>.eml (N = its position\n"
           "                      in the output, from 0); DIR is created if missing, no file is overwritten\n"
           "  --keyword WORD      list only messages whose body holds WORD (case-insensitive)\n"
           "  --deep              find mail as it is really stored: LF line ends, long header blocks, mbox\n"
           "                      members, 8-bit text, messages that start inside a sector\n"
           "  --unique            list each message text once (its first occurrence); the summary says how\n"
           "                      many duplicates were dropped\n"
           "  --sector-size N     sector size for an image file (default 512)\n"
           "  --threads N         walk the volume on N threads (default: one per core, at most 4); the\n"
           "                      output is the same for any N\n"
           "  -q, --quiet         no progress bar and no summary\n"
           "  -h, --help          show this help and exit\n"
           "  --version           show the version and exit\n"
           "\n"
           "Exit status: 0 success, 1 failure (source unusable, a message not exported), 2 bad usage.\n";
}

TParsedOptions ParseOptions(const std::vector<std::string>& args) {
    TParsedOptions parsed;
    TOptions& o = parsed.Options;
    auto fail = [&](std::string message) {
        parsed.Error = std::move(message);
        return parsed;
    };
    bool onlyOperands = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& arg = args[k];
        auto value = [&](std::string& into) {
            if (k + 1 >= args.size())
                return false;
            into = args[++k];
            return true;
        };
        if (onlyOperands || arg == "-" || arg.empty() || arg[0] != '-') {
            if (!o.Source.empty())
                return fail("more than one SOURCE given ('" + o.Source + "' and '" + arg + "')");
            o.Source = arg;
        } else if (arg == "--") {
            onlyOperands = true;
        } else if (arg == "--list-drives") {
            o.ListDrives = true;
        } else if (arg == "--json") {
            o.Json = true;
        } else if (arg == "--deep") {
            o.Deep = true;
        } else if (arg == "--unique") {
            o.Unique = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o.Quiet = true;
        } else if (arg == "-h" || arg == "--help") {
            o.Help = true;
        } else if (arg == "--version") {
            o.Version = true;
        } else if (arg == "--export") {
            if (!value(o.ExportDir) || o.ExportDir.empty())
                return fail("--export needs a folder");
        } else if (arg == "--keyword") {
            if (!value(o.Keyword) || o.Keyword.empty())
                return fail("--keyword needs a non-empty word");
            o.HasKeyword = true;
        } else if (arg == "--sector-size") {
            std::string text;
            if (!value(text) || !ParseSectorSize(text, o.SectorSize))
                return fail("--sector-size needs a power of two from 512 to 65536");
        } else if (arg == "--threads") {
            std::string text;
            if (!value(text) || !ParseNumber(text, 1, 256, o.Threads))
                return fail("--threads needs a number from 1 to 256");
        } else {
            return fail("unknown option '" + arg + "'");
        }
    }
    if (o.Help || o.Version || o.ListDrives)
        return parsed;
    if (o.Source.empty())
        return fail("no SOURCE given");
    return parsed;
}
