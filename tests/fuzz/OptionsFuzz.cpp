// ostrevan-scan's option parsing: any argument list is either refused with a reason or gives options that make
// sense, and those options written back as arguments parse to the same options.
// Input: the arguments, separated by NUL bytes.
#include "cli/Options.h"
#include "tests/fuzz/FuzzInput.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> SplitAtNul(std::string_view text) {
    std::vector<std::string> args;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\0', start);
        args.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return args;
        start = end + 1;
    }
}

std::vector<std::string> AsArguments(const TOptions& o) {
    std::vector<std::string> args;
    const std::pair<bool, const char*> flags[] = {{o.ListDrives, "--list-drives"},
                                                  {o.Json, "--json"},
                                                  {o.Quiet, "-q"},
                                                  {o.Help, "--help"},
                                                  {o.Version, "--version"}};
    for (const auto& [set, flag] : flags)
        if (set)
            args.push_back(flag);
    if (o.HasKeyword)
        args.insert(args.end(), {"--keyword", o.Keyword});
    if (!o.ExportDir.empty())
        args.insert(args.end(), {"--export", o.ExportDir});
    if (o.SectorSize != 512)
        args.insert(args.end(), {"--sector-size", std::to_string(o.SectorSize)});
    if (!o.Source.empty())
        args.insert(args.end(), {"--", o.Source});
    return args;
}

bool SameOptions(const TOptions& a, const TOptions& b) {
    return a.Source == b.Source && a.ListDrives == b.ListDrives && a.Json == b.Json && a.Quiet == b.Quiet &&
           a.Help == b.Help && a.Version == b.Version && a.HasKeyword == b.HasKeyword && a.Keyword == b.Keyword &&
           a.ExportDir == b.ExportDir && a.SectorSize == b.SectorSize;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const std::vector<std::string> args = size == 0 ? std::vector<std::string>{} : SplitAtNul(input.Rest());
    const TParsedOptions parsed = ParseOptions(args);
    if (!parsed.Error.empty())
        return 0;
    const TOptions& o = parsed.Options;
    FUZZ_CHECK(!o.Source.empty() || o.Help || o.Version || o.ListDrives);
    FUZZ_CHECK(o.SectorSize >= 512 && o.SectorSize <= 65536 && (o.SectorSize & (o.SectorSize - 1)) == 0);
    FUZZ_CHECK(o.HasKeyword == !o.Keyword.empty());

    const TParsedOptions again = ParseOptions(AsArguments(o));
    FUZZ_CHECK(again.Error.empty() && SameOptions(again.Options, o));
    return 0;
}
