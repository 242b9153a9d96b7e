// Writing a file under a temporary name beside its target, renamed into place only when complete.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// One file being written. Until it is committed the target keeps its old
// contents (or stays absent); a failed or abandoned file is removed.
struct OutputFile {
  std::string targetPath;
  std::string temporaryPath;  // empty when written in place (a device or pipe)
  FILE* stream = nullptr;
  bool failed = false;
  std::string message;        // "cannot write PATH: reason" after a failure
};

// Opens a temporary file in the target's folder. A target that exists and is
// not a regular file (a device such as /dev/null, or a pipe) is written in place.
bool OpenOutputFile(OutputFile* file, const std::string& targetPath);

// Appends bytes; after the first failure it does nothing and returns false.
bool WriteOutput(OutputFile* file, const void* bytes, size_t size);

// Flushes and closes the file, keeping it under its temporary name.
bool FinishOutputFile(OutputFile* file);

// Renames the finished temporary file onto its target, replacing it.
bool CommitOutputFile(OutputFile* file);

// Closes the file if open and removes its temporary name. Safe to call twice.
void DiscardOutputFile(OutputFile* file);

// Records a failure that is not the system's, as "cannot write PATH: reason".
void FailOutputFile(OutputFile* file, const std::string& reason);
