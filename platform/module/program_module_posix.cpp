// Code a program loads only when it needs it, on Linux: dlopen from beside the program or the install's library folder.
#include "platform/module/program_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

// The folder of the running program, from /proc/self/exe.
static std::string ProgramFolder() {
  std::vector<char> path(PATH_MAX + 1, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return ".";
  const std::string program(path.data(), static_cast<size_t>(length));
  const size_t slash = program.find_last_of('/');
  return slash == std::string::npos ? "." : program.substr(0, slash);
}

void* LoadModuleFunction(const char* fileName, const char* function, std::string* message) {
  const std::string folder = ProgramFolder();
  const std::string candidates[] = {
      folder + "/" + fileName,
      folder + "/" + KORAVEL_MODULE_DIR_FROM_PROGRAM + "/" + fileName,
      std::string(KORAVEL_MODULE_DIR) + "/" + fileName,
  };
  std::string reasons;
  for (const std::string& path : candidates) {
    if (access(path.c_str(), F_OK) != 0) continue;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      const char* error = dlerror();
      reasons += std::string("; ") + (error != nullptr ? error : path);
      continue;
    }
    void* address = dlsym(module, function);
    if (address != nullptr) return address;
    reasons += "; " + path + " has no " + function;
    dlclose(module);
  }
  *message = std::string(fileName) + " cannot be loaded (looked beside the program, in " +
             folder + "/" + KORAVEL_MODULE_DIR_FROM_PROGRAM + " and in " + KORAVEL_MODULE_DIR + ")" + reasons;
  return nullptr;
}
