// Knows what an Internet mail message looks like: tells whether raw bytes begin one and cuts a run of
// text into messages. Stateless; every operation takes byte strings of explicit length (NUL is data).
#pragma once

#include "engine/Email.h"
#include "engine/MessagePump.h"

#include <bitset>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// The pairs of bytes that, upper-cased, are the first two letters of a recognised name (none is shorter). One
// look-up settles nearly every sector of text, zeros or noise, and nearly every line of a body: no recognised
// header line begins where it says no.
class TNamePairs {
public:
    TNamePairs();
    bool MayBeginName(const char* twoBytes) const {
        return pairs_[static_cast<unsigned char>(twoBytes[0]) << 8 | static_cast<unsigned char>(twoBytes[1])];
    }

private:
    std::bitset<65536> pairs_;
};

class TEmailParser {
public:
    // The ten names that make a message recognisable, in upper case, in the order they are tried. Every filter
    // that looks for them (the scan's two-byte start filter among them) is derived from this one list.
    static std::span<const std::string_view> RecognisedNames();
    // The pairs of bytes that begin a recognised name.
    static const TNamePairs& RecognisedNamePairs();

    // Splits one line (with its CR LF) into name and value when it has header form.
    TRPCField ParseHeaderLine(std::string_view line) const;
    // The name is one of the ten that make a message recognisable (any case); Valid is not consulted.
    bool IsRecognisedHeader(const TRPCField& field) const;
    // The line holds "----- Original Message -----".
    bool IsOriginalMessageMarker(std::string_view line) const;
    // The record with the field that the name names (From, To, Subject, Date) replaced by the value.
    TEmail StoreHeaderField(const TRPCField& field, TEmail email) const;
    // The same on a record of views, for the splitters: the field named by `name` (any case) becomes `value`.
    static void StoreField(std::string_view name, std::string_view value, TEmailView& email);
    // The sample begins a message; its first line must end (CR) before position `limit`.
    bool IsMessageStart(std::string_view sample, uint32_t limit) const;
    // Cuts a run of text into messages and hands each to `sink` as soon as it is cut, in order, with its byte
    // offset within `text` (where its first line starts), so that nothing of the run is kept. Runs `pump` once
    // before every line and once at the end.
    void SplitMessages(std::string_view text, IMessagePump& pump, const TRecordSink& sink) const;
    // The same, collected: the records in order, and in `starts` (when given) the offset of each.
    TEmailArray SplitMessages(std::string_view text, IMessagePump& pump, std::vector<uint64_t>* starts = nullptr) const;
};
