// The program's resources: the embedded resource scripts.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

struct ResourceScript {
  std::string name;
  std::string text;
};

const std::vector<ResourceScript>& ResourceScripts();

// Called by the code koravel_embed_resources generates, while static objects are built.
bool KoravelRegisterResourceScript(const char* name, const char* text, size_t size);
