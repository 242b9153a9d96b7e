// What a command-line program needs to know about where its output goes, and its arguments as UTF-8.
#pragma once

#include <string>
#include <vector>

// True when standard error is a terminal that a person watches.
bool StandardErrorIsTerminal();

// The program's arguments in UTF-8, whatever the system's code page (on Windows read anew from
// the wide command line; elsewhere argv as given). A console shows UTF-8 output as such.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
