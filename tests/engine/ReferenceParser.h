// The parser's rules written out literally, step by step, with 1-based positions, string copies and
// appends, as slow and plain as can be. The tests compare TEmailParser with it on many samples, and the
// benchmarks use it as their baseline.
#pragma once

#include "engine/Email.h"
#include "engine/FastStrings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace reference {

inline TRPCField ParseHeaderLine(const std::string& line) {
    const size_t c = line.find(':') == std::string::npos ? 0 : line.find(':') + 1; // 1-based, 0 for none
    bool form = c >= 2;
    for (size_t i = 1; form && i <= c - 1; ++i) {
        const unsigned char b = static_cast<unsigned char>(line[i - 1]);
        form = b >= 0x21 && b <= 0x7E;
    }
    form = form && c + 1 <= line.size() && line[c] == ' ';
    TRPCField field;
    if (!form)
        return field;
    field.Valid = true;
    field.Name = line.substr(0, c - 1);
    const size_t length = line.size();
    if (length >= 2 && length - 2 >= c + 1)
        field.Value = line.substr(c, length - 2 - c);
    return field;
}

inline bool IsRecognisedHeader(const TRPCField& field) {
    static const char* const names[] = {"RETURN-PATH", "REPLY-TO", "ENVELOPE-TO", "DELIVERY-DATE", "RECEIVED",
                                        "MESSAGE-ID",  "FROM",     "TO",          "SUBJECT",       "DATE"};
    const std::string upper = AnsiUpperCase(field.Name);
    for (const char* name : names)
        if (upper == name)
            return true;
    return false;
}

inline bool IsMarker(const std::string& line) {
    return line.find("----- Original Message -----") != std::string::npos;
}

inline bool IsBlank(const std::string& line) {
    return line.size() >= 2 && line[0] == '\r' && line[1] == '\n';
}

inline TEmail StoreHeaderField(const TRPCField& field, TEmail email) {
    const std::string name = AnsiUpperCase(field.Name);
    if (name == "FROM")
        email.From = field.Value;
    else if (name == "TO")
        email.To = field.Value;
    else if (name == "SUBJECT")
        email.Subject = field.Value;
    else if (name == "DATE")
        email.Date = field.Value;
    return email;
}

inline bool IsMessageStart(const std::string& sample, uint32_t limit) {
    unsigned n = 0, k = 0;
    bool inHeader = false;
    size_t p = 1;
    for (;;) {
        const size_t found = sample.find("\r\n", p - 1);
        if (found == std::string::npos)
            return false;
        const size_t crPosition = found + 1;
        const std::string line = sample.substr(p - 1, crPosition + 2 - p);
        p = crPosition + 2;
        const TRPCField field = ParseHeaderLine(line);
        if (field.Valid && IsRecognisedHeader(field)) {
            if (!inHeader && n == 0 && crPosition < limit) {
                inHeader = true;
                k = 1;
            } else if (inHeader) {
                ++k;
            }
        } else if (!field.Valid && IsBlank(line) && inHeader) {
            return k >= 3;
        }
        ++n;
    }
}

// Also counts the passes, where the real splitter runs its message pump.
inline TEmailArray SplitMessages(const std::string& text, uint64_t* passes = nullptr,
                                 std::vector<uint64_t>* starts = nullptr) {
    bool inHeader = false, inBody = false, quoted = false;
    TEmailArray list;
    size_t p = 1;
    for (;;) {
        if (passes)
            ++*passes;
        const size_t found = text.find("\r\n", p - 1);
        if (found == std::string::npos)
            return list;
        const size_t lineStart = p - 1;
        const std::string line = text.substr(lineStart, found + 2 - lineStart);
        p = found + 3;
        const TRPCField field = ParseHeaderLine(line);
        if (field.Valid) {
            if (IsRecognisedHeader(field) && !quoted) {
                if (!inHeader) {
                    list.push_back(StoreHeaderField(field, TEmail{}));
                    if (starts)
                        starts->push_back(lineStart);
                    inHeader = true;
                    inBody = false;
                } else {
                    list.back() = StoreHeaderField(field, list.back());
                }
            }
        } else if (IsBlank(line) && inHeader) {
            inHeader = false;
            inBody = true;
        } else if (IsBlank(line) && quoted) {
            quoted = false;
        } else if (IsMarker(line)) {
            quoted = true;
        }
        if (inHeader || inBody)
            list.back().FullText += line;
        if (inBody)
            list.back().Body += line;
    }
}

} // namespace reference
