// The few facts of the console that differ between POSIX and Windows.
#pragma once

// Standard error is a terminal (a progress bar makes sense there).
bool StderrIsTerminal();

// Standard output carries bytes as written (no LF to CR LF translation on Windows).
void SetBinaryStdout();
