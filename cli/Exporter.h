// Writes listed messages as DIR/RecoveredEmail<N>.eml, FullText byte for byte, never over an existing file.
#pragma once

#include "engine/Email.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class TExporter {
public:
    // Reports on `errors` (standard error), naming each file that was not written and why.
    TExporter(std::string folder, std::FILE* errors);

    // Makes the folder (and its parents) when it does not exist yet. False, with the reason reported, when it
    // cannot be made or a file of that name is in the way.
    bool Prepare();
    // Writes message number `position` of the output; false when the file was skipped or failed.
    bool Export(uint64_t position, const TEmail& email) { return Export(position, email.FullText); }
    bool Export(uint64_t position, std::string_view fullText);

    uint64_t Written() const { return written_; }
    uint64_t NotWritten() const { return notWritten_; }
    const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
    std::FILE* errors_;
    uint64_t written_ = 0;
    uint64_t notWritten_ = 0;
};
