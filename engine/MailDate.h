// The moment a message's Date header names, so that a list can sort messages by time rather than by text.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Seconds since 1970-01-01 00:00:00 UTC named by a Date header value in the Internet message format:
//   [day-name ","] day month year [hour ":" minute [":" second] [zone]]
// with comments in parentheses and blanks (folding included) allowed between the parts. Accepted as mail
// writes it: one- or two-digit days and hours, two- and three-digit years (read as 19xx or 20xx), numeric
// zones (+0100) and the named ones (UT, GMT, EST, EDT, CST, CDT, MST, MDT, PST, PDT; a single military
// letter counts as +0000), full day and month names, any case. A missing time is midnight, a missing zone
// +0000. Empty when the value names no moment: unknown words, a day the month does not have, an hour past
// 23, anything left after the zone but comments.
std::optional<int64_t> ParseMailDate(std::string_view value);
