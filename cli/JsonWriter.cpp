#include "cli/JsonWriter.h"

#include "cli/Sha256.h"

std::string JsonString(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
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
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                out += "\\u00";
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 15]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
    return out;
}

std::string JsonLine(const TJsonMessage& message) {
    return JsonLineStart(message.Index) + JsonLineRest(message);
}

std::string JsonLineStart(uint64_t index) {
    return "{\"index\":" + std::to_string(index);
}

std::string JsonLineRest(const TJsonMessage& message) {
    const TEmailView& e = message.Email;
    std::string line = ",\"offset\":" + std::to_string(message.Offset);
    line += ",\"run_offset\":" + std::to_string(message.RunOffset);
    line += ",\"from\":" + JsonString(e.From);
    line += ",\"to\":" + JsonString(e.To);
    line += ",\"subject\":" + JsonString(e.Subject);
    line += ",\"date\":" + JsonString(e.Date);
    line += ",\"size\":" + std::to_string(e.FullText.size());
    line += ",\"body_size\":" + std::to_string(e.Body.size());
    line += ",\"sha256\":\"" + Sha256Hex(e.FullText) + "\"}\n";
    return line;
}
