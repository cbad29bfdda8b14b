// JSON Lines output: one object per message.
#pragma once

#include "engine/Email.h"

#include <cstdint>
#include <string>
#include <string_view>

// `text` as a JSON string literal, quotes included. Every byte becomes one character: control bytes, DEL and
// bytes of 0x80 and above are written as \u00XX (the byte's value), so the output is plain ASCII whatever the
// volume held.
std::string JsonString(std::string_view text);

struct TJsonMessage {
    uint64_t Index = 0;
    uint64_t Offset = 0;
    uint64_t RunOffset = 0;
    TEmailView Email;
};

// One line, ended by "\n": index, offset, run_offset, from, to, subject, date, size, body_size, sha256.
std::string JsonLine(const TJsonMessage& message);
// The same line in two parts, JsonLineStart(index) + JsonLineRest(message): the rest (with the hash, the costly
// part) is made on the thread that found the message, the start once its place in the output is known.
std::string JsonLineStart(uint64_t index);
// `sha256`: the full text's SHA-256 in hex when the caller has it already; else it is worked out here.
std::string JsonLineRest(const TJsonMessage& message, std::string_view sha256 = {});
