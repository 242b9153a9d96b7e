// Code a program loads only when it needs it: a module installed beside the program or in its library folder.
#pragma once

#include <string>

// The address of `function` in the module file `fileName`, looked for beside the running
// program, then in the install's library folder (relative to the program, then absolute).
// The module stays loaded. Null, with the reason in message, when neither is found.
void* LoadModuleFunction(const char* fileName, const char* function, std::string* message);
