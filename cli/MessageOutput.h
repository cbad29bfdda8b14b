// What ostrevan-scan makes of the messages it finds: a table row or a JSON line on standard output, an .eml file
// when exporting, only for the messages that the keyword lets through. The costly part (filter, fields, hash) is
// done on the thread that found the message; the writing happens in the scan's order on one thread, where each
// message's index and output position are known.
#pragma once

#include "cli/Exporter.h"
#include "cli/Options.h"
#include "cli/TableWriter.h"
#include "cli/TerminalProgress.h"
#include "engine/Email.h"
#include "engine/KeywordSearch.h"
#include "engine/ParallelScan.h"
#include "engine/ScanHardDisk.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_set>

// One message made ready for writing.
struct TPreparedMessage {
    uint64_t RunOffset = 0;
    bool Listed = false;  // the keyword, if any, is in its body
    std::string LineRest; // its output line after the index
    std::string FullText; // kept only when messages are exported
    std::string Digest;   // with --unique: 16 bytes of the full text's SHA-256
};

class TMessageOutput {
public:
    // `exporter` and `bar` may be null.
    TMessageOutput(const TOptions& options, std::FILE* out, TExporter* exporter, TTerminalProgress* bar);

    // The table's heading line (nothing for JSON).
    std::string Heading() const;
    // Safe to call on several threads at once. Reads the message's fields in place; keeps a copy of its text only
    // when messages are exported.
    TPreparedMessage Prepare(const TEmailView& email, const TFoundLocation& location) const;
    // Writes the next message of the scan's result (and exports it), in order, on one thread.
    void Write(TPreparedMessage&& message);
    // An output for one range of a threaded walk: prepares what its thread finds, writes it when delivered.
    std::unique_ptr<IRangeOutput> MakeRangeOutput();

    uint64_t Found() const { return found_; }
    uint64_t Listed() const { return listed_; }
    // Messages not listed because an earlier one had the same full text (--unique).
    uint64_t Dropped() const { return dropped_; }

private:
    const TOptions& options_;
    std::FILE* out_;
    TExporter* exporter_;
    TTerminalProgress* bar_;
    TTableWriter table_;
    TKeywordSearch keyword_; // --keyword, prepared once for every body
    uint64_t found_ = 0;
    uint64_t listed_ = 0;
    // --unique: the digests of the texts listed so far (16 bytes each; a chance collision between two different
    // texts is about 1 in 2^64 even among billions of messages), not the texts.
    std::unordered_set<std::string> seen_;
    uint64_t dropped_ = 0;
};
