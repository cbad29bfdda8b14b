// The system's own text for an error code, for the messages the program shows.
#pragma once

#include <windows.h>

#include <string>

// FormatMessageA's text without its trailing line end; "error N" when the system has no text for it.
std::string SystemMessage(DWORD code);
