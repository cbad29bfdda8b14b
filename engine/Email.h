// The records that the engine hands to its front ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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

// A message as a splitter cuts it: the same fields as views into the text it was cut from, valid until the
// receiver returns. A receiver that streams (a table row, a JSON line, a hash) reads them in place; one that
// keeps the message converts it to a TEmail, and only then are its strings copied.
struct TEmailView {
    std::string_view From;
    std::string_view To;
    std::string_view Subject;
    std::string_view Date;
    std::string_view FullText;
    std::string_view Body;

    TEmailView() = default;
    TEmailView(const TEmail& email) // NOLINT: a kept message reads as a view wherever one is taken
        : From(email.From), To(email.To), Subject(email.Subject), Date(email.Date), FullText(email.FullText),
          Body(email.Body) {}
    operator TEmail() const { // NOLINT: a receiver that takes a TEmail keeps a copy
        return {std::string(From), std::string(To),       std::string(Subject),
                std::string(Date), std::string(FullText), std::string(Body)};
    }
};

// Receives each message as soon as a splitter has cut it, with the byte offset within the split text where its
// first line starts. A receiver written for a TEmail gets a copy.
using TRecordSink = std::function<void(const TEmailView& email, uint64_t start)>;

// One line split into header name and value.
struct TRPCField {
    bool Valid = false;
    std::string Name;  // as written, before the colon
    std::string Value; // from the space after the colon up to the line's CR LF (excluded)
};
