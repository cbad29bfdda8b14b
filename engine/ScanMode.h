// Which rules a scan finds mail by.
#pragma once

// Standard: a message starts where a sector begins with three of the ten recognised header lines, and a run is
// printable ASCII cut at CR LF header lines (the default, unchanged). Deep: mail as it is really stored: LF and
// CR LF, long header blocks, mbox "From " lines, 8-bit text, starts inside runs, cuts that respect MIME parts.
enum class TScanMode { Standard, Deep };
