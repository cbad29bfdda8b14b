// reference-scan IMAGE [SECTOR_SIZE]: the standard scan written out step by step (ScanFixtures.h) over an image
// file, one line per message: offset, run offset, size and SHA-256 of the full text. The fixture test compares
// ostrevan-scan's default output with it on volumes made by real tools.
#include "cli/Sha256.h"
#include "tests/scan/ScanFixtures.h"

#include <cstdio>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: reference-scan IMAGE [SECTOR_SIZE]\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "reference-scan: cannot open %s\n", argv[1]);
        return 1;
    }
    const scantest::Bytes image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const uint32_t sectorSize = argc > 2 ? static_cast<uint32_t>(std::stoul(argv[2])) : 512;
    const scantest::TScanOutcome outcome = scantest::TReferenceScan(image, sectorSize).Scan();
    for (size_t k = 0; k < outcome.found.size(); ++k)
        std::printf("%llu %llu %zu %s\n", static_cast<unsigned long long>(outcome.locations[k].Offset),
                    static_cast<unsigned long long>(outcome.locations[k].RunOffset), outcome.found[k].FullText.size(),
                    Sha256Hex(outcome.found[k].FullText).c_str());
    return 0;
}
