// Small byte-string helpers over std::string_view: character and substring search (with and without case),
// substring copy, ANSI upper case. Positions are 1-based and 0 means "not found". Nothing stops at a zero byte.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// The upper case of every single byte by the system's ANSI mapping.
using TAnsiCaseTable = std::array<unsigned char, 256>;

// Built by the platform back end: AnsiCaseWin32.cpp asks CharUpperBuffA, AnsiCasePosix.cpp applies the
// Windows-1252 rules. Use AnsiUpperTable(), which builds it once.
TAnsiCaseTable BuildAnsiUpperTable();
const TAnsiCaseTable& AnsiUpperTable();

// Position of the first `c` at or after `start`; 0 when none, when `source` is empty or `start` lies past its
// end (or is below 1).
size_t FastCharPos(std::string_view source, char c, size_t start = 1);

// Position of the first occurrence of `pattern` lying wholly within `start`..end of `source`, bytes compared
// exactly; 0 when none, when `start` lies past the end (or is below 1) and for an empty pattern.
size_t FastPos(std::string_view source, std::string_view pattern, size_t start = 1);

// As FastPos, with both sides' bytes mapped through AnsiUpperTable() before they are compared.
// Linear in the length of `source` whatever the pattern.
size_t FastPosNoCase(std::string_view source, std::string_view pattern, size_t start = 1);

// The keyword test of the message list and of `ostrevan-scan --keyword`: some run of bytes of `haystack`
// equals `needle` with case ignored (both mapped through AnsiUpperTable()). An empty needle occurs everywhere.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

// `count` bytes from position `start`, cut short at the end of `source`; empty when `start` lies past the end.
// A start below 1 counts as 1.
std::string CopyStr(std::string_view source, size_t start, size_t count);

// `a` and `b` are the same bytes with the case of the ASCII letters ignored (names and words of mail headers,
// which are ASCII whatever the code page).
bool EqualsAsciiNoCase(std::string_view a, std::string_view b);

// `text` with every byte mapped through AnsiUpperTable().
std::string AnsiUpperCase(std::string_view text);
