// Writing a file under a temporary name beside its target, renamed into place only when complete.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "export/file_system.h"

// How files may be written.
struct OutputOptions {
  // Replace read-only files and files with other names (hard links), which are refused otherwise.
  bool replaceProtected = false;
  // Set from another thread (or a signal handler) to stop a write that waits for a pipe.
  const std::atomic<bool>* cancelled = nullptr;
};

// One file being written. Until it is committed the target keeps its old
// contents (or stays absent); a failed or abandoned file is removed.
struct OutputFile {
  std::string targetPath;     // as given, for messages
  std::string temporaryPath;  // empty when written in place (a device or pipe)
  TargetInfo target;          // what targetPath stood for when it was opened
  FileHandle handle;
  bool open = false;
  std::vector<char> buffer;
  const std::atomic<bool>* cancelled = nullptr;
  int slot = -1;              // where the temporary name is kept for removal at a signal
  bool failed = false;
  bool protectedFile = false; // failed because the target is read-only or has other names
  std::string message;        // "cannot write PATH: reason" after a failure
};

// Looks at a target before anything is written: false with "cannot write PATH: reason" (and
// *protectedFile set when replaceProtected would allow it) when it cannot be written.
bool CheckOutputTarget(const std::string& path, const OutputOptions& options, TargetInfo* target,
                       std::string* message, bool* protectedFile = nullptr);

// Opens a temporary file in the target's folder, created anew for this file alone (readable by
// its owner only until it is committed). A symbolic link is followed: its target is replaced. A
// target that exists and is not a regular file (a device such as /dev/null, a pipe, /dev/stdout)
// is written in place.
bool OpenOutputFile(OutputFile* file, const std::string& targetPath, const OutputOptions& options = OutputOptions());

// Appends bytes; after the first failure it does nothing and returns false.
bool WriteOutput(OutputFile* file, const void* bytes, size_t size);

// Writes out what is buffered, gives the file the mode of the one it replaces and closes it,
// keeping it under its temporary name.
bool FinishOutputFile(OutputFile* file);

// Renames the finished temporary file onto its target, replacing it.
bool CommitOutputFile(OutputFile* file);

// Renames finished files onto their targets together: every target is checked before the first
// rename, and a rename that fails puts the old files back, so either all files are replaced or
// none is. The old files are kept under a second name until every rename has succeeded. False
// with the failing file's message.
bool CommitOutputFiles(OutputFile* files, size_t count, std::string* message);

// Closes the file if open and removes its temporary name. Safe to call twice.
void DiscardOutputFile(OutputFile* file);

// Records a failure that is not the system's, as "cannot write PATH: reason".
void FailOutputFile(OutputFile* file, const std::string& reason);

// Removes every temporary file being written now; safe in a signal handler.
void RemoveOutputFilesNow();

// True once a commit has started in this process: its files are then finished, not abandoned.
bool OutputCommitStarted();

// For programs that end at TERM, HUP and INT: their temporary files are removed first (after a
// commit under way has finished), then the program ends as the signal ends it.
void RemoveOutputFilesAtEndingSignals();

// Test hook: called before each rename of a commit with the file's index.
extern void (*outputRenameHook)(size_t index);
