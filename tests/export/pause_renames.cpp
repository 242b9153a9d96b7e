// A test hook linked into a second koravel-export: before a commit's second rename it leaves the
// file named by KORAVEL_TEST_RENAME_MARKER and waits a second, so a test can send a signal then.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "export/output_file.h"

static void PauseBeforeTheSecondRename(size_t index) {
  const char* marker = std::getenv("KORAVEL_TEST_RENAME_MARKER");
  if (index != 1 || marker == nullptr) return;
  if (FILE* file = std::fopen(marker, "w")) std::fclose(file);
  std::this_thread::sleep_for(std::chrono::seconds(1));
}

[[maybe_unused]] static const bool installed = (outputRenameHook = PauseBeforeTheSecondRename, true);
