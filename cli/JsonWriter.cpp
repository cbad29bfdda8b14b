#include "cli/JsonWriter.h"

#include "cli/Sha256.h"

#include <array>
#include <charconv>
#include <utility>

namespace {

// Bytes written as they are: printable ASCII but the quote and the backslash.
constexpr std::array<bool, 256> kPlainBytes = [] {
    std::array<bool, 256> plain{};
    for (int byte = 0x20; byte < 0x7F; ++byte)
        plain[byte] = byte != '"' && byte != '\\';
    return plain;
}();

// `text` as a JSON string literal appended to `out`: stretches of plain bytes in one append each (header values
// are mostly that), the rest escaped byte by byte.
void AppendJsonString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (size_t k = 0; k < text.size();) {
        size_t plainEnd = k;
        while (plainEnd < text.size() && kPlainBytes[static_cast<unsigned char>(text[plainEnd])])
            ++plainEnd;
        out.append(text, k, plainEnd - k);
        if (plainEnd == text.size())
            break;
        const auto byte = static_cast<unsigned char>(text[plainEnd]);
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default: // the other control bytes, DEL and 0x80..0xFF
            out += "\\u00";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 15]);
        }
        k = plainEnd + 1;
    }
    out.push_back('"');
}

void AppendNumber(std::string& out, uint64_t value) {
    char digits[20];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    AppendJsonString(out, text);
    return out;
}

std::string JsonLine(const TJsonMessage& message) {
    return JsonLineStart(message.Index) + JsonLineRest(message);
}

std::string JsonLineStart(uint64_t index) {
    return "{\"index\":" + std::to_string(index);
}

// One string, its room reserved once: the line is made for every message listed. The keys in their order.
std::string JsonLineRest(const TJsonMessage& message, std::string_view sha256) {
    const TEmailView& e = message.Email;
    std::string line;
    line.reserve(200 + e.From.size() + e.To.size() + e.Subject.size() + e.Date.size());
    for (const auto& [key, number] :
         {std::pair<const char*, uint64_t>{",\"offset\":", message.Offset}, {",\"run_offset\":", message.RunOffset}}) {
        line += key;
        AppendNumber(line, number);
    }
    for (const auto& [key, text] : {std::pair<const char*, std::string_view>{",\"from\":", e.From},
                                    {",\"to\":", e.To},
                                    {",\"subject\":", e.Subject},
                                    {",\"date\":", e.Date}}) {
        line += key;
        AppendJsonString(line, text);
    }
    for (const auto& [key, number] :
         {std::pair<const char*, uint64_t>{",\"size\":", e.FullText.size()}, {",\"body_size\":", e.Body.size()}}) {
        line += key;
        AppendNumber(line, number);
    }
    line += ",\"sha256\":\"";
    if (sha256.empty())
        line += Sha256Hex(e.FullText);
    else
        line += sha256;
    line += "\"}\n";
    return line;
}
