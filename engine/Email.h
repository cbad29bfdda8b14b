// The records that the engine hands to its front ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One message found on a volume. Strings are byte strings in the ANSI code page and may hold zero bytes.
// From, To, Subject and Date keep the space that follows the header's colon.
struct TEmail {
    std::string From;
    std::string To;
    std::string Subject;
    std::string Date;
    std::string FullText; // every line of the message, each with its CR LF
    std::string Body;     // the blank line that closed the header block and every line after it
};

using TEmailArray = std::vector<TEmail>;

// Receives each message as soon as a splitter has cut it, with the byte offset within the split text where its
// first line starts.
using TRecordSink = std::function<void(TEmail&& email, uint64_t start)>;

// One line split into header name and value.
struct TRPCField {
    bool Valid = false;
    std::string Name;  // as written, before the colon
    std::string Value; // from the space after the colon up to the line's CR LF (excluded)
};
