#include "cli/Console.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

void SetBinaryStdout() {
    _setmode(_fileno(stdout), _O_BINARY);
}
