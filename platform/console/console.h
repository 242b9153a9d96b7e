// What a command-line program needs to know about where its output goes.
#pragma once

// True when standard error is a terminal that a person watches.
bool StandardErrorIsTerminal();
