// Knows what an Internet mail message looks like: tells whether raw bytes begin one and cuts a run of
// text into messages. Stateless; every operation takes byte strings of explicit length (NUL is data).
#pragma once

#include "engine/Email.h"
#include "engine/MessagePump.h"

#include <cstdint>
#include <string_view>
#include <vector>

class TEmailParser {
public:
    // Splits one line (with its CR LF) into name and value when it has header form.
    TRPCField ParseHeaderLine(std::string_view line) const;
    // The name is one of the ten that make a message recognisable (any case); Valid is not consulted.
    bool IsRecognisedHeader(const TRPCField& field) const;
    // The line holds "----- Original Message -----".
    bool IsOriginalMessageMarker(std::string_view line) const;
    // The record with the field that the name names (From, To, Subject, Date) replaced by the value.
    TEmail StoreHeaderField(const TRPCField& field, TEmail email) const;
    // The sample begins a message; its first line must end (CR) before position `limit`.
    bool IsMessageStart(std::string_view sample, uint32_t limit) const;
    // Cuts a run of text into messages, in order. Runs `pump` once before every line and once at the end.
    // When `starts` is given, it receives each record's byte offset within `text` (where its first line starts).
    TEmailArray SplitMessages(std::string_view text, IMessagePump& pump, std::vector<uint64_t>* starts = nullptr) const;
};
