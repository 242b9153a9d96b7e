// The file operations the exporter's files need, one implementation per system: file_system_posix.cpp and file_system_win32.cpp.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// Paths are UTF-8 on every system.

// What a target path stands for, found before anything is written.
enum TargetKind {
  kTargetAbsent,   // no file yet: a new one is made
  kTargetRegular,  // a file, replaced by a rename
  kTargetFolder,   // cannot be written
  kTargetInPlace,  // a device, a pipe or an open descriptor: written directly, never renamed onto
};

struct TargetInfo {
  TargetKind kind = kTargetAbsent;
  std::string filePath;  // the name to write or rename onto: symbolic links followed to their target
  int descriptor = -1;   // the open descriptor the path names (/dev/stdout, /dev/fd/N), or -1
  // Two paths name one file when these agree: the device and file number of a file that exists,
  // else the canonical folder and name of the file to be made.
  bool identified = false;
  uint64_t device = 0, fileNumber = 0;
  std::string location;
  bool standardOutput = false;  // the file or pipe standard output goes to
  bool readOnly = false;        // no one may write it: replaced only when asked to
  uint64_t links = 1;           // its names (hard links)
  bool foreignInStickyFolder = false;  // another user's, in a folder where only owners replace files
  uint32_t mode = 0, owner = 0, group = 0;  // kept by the file that replaces it
};

// Looks at path without changing anything; false with the system's reason when it cannot be looked at.
bool InspectTarget(const std::string& path, TargetInfo* info, std::string* reason);

// True when a and b name the same file.
bool SameTarget(const TargetInfo& a, const TargetInfo& b);

// True when the target is the null device, which any number of files may share.
bool IsNullDevice(const TargetInfo& info);

// An open file: a descriptor, or a HANDLE on Windows.
struct FileHandle {
  intptr_t value = -1;
  bool stream = false;  // a pipe or device, which can stall: written in small pieces, watching cancelled
};

// Opens an in-place target for writing where it is. A pipe that no reader has opened yet is waited
// for until cancelled is set.
bool OpenInPlace(const TargetInfo& info, const std::atomic<bool>* cancelled, FileHandle* handle, std::string* reason);

// Creates path, which must not exist (not even as a symbolic link), readable and writable by its owner alone.
// False with reason; exists is set when the name was taken.
bool CreateNewFile(const std::string& path, FileHandle* handle, bool* exists, std::string* reason);

// Writes every byte; a stalled pipe or device gives up when cancelled is set.
bool WriteAll(const FileHandle& handle, const void* bytes, size_t size, const std::atomic<bool>* cancelled,
              std::string* reason);

// Gives a new file the mode and owner of the file it replaces (the owner where the user may set it),
// or a new file's usual mode.
void GiveFinalMode(const FileHandle& handle, const TargetInfo& replaced);

bool CloseFile(FileHandle* handle, std::string* reason);

// A second name for an existing file (a hard link), for keeping the old file while it is replaced.
bool LinkFile(const std::string& existing, const std::string& newName, std::string* reason);

// Renames from onto to, replacing to at once.
bool RenameFile(const std::string& from, const std::string& to, std::string* reason);

bool RemoveFile(const std::string& path);

// Removes path from a signal handler: no allocation, no locks.
void RemoveFileNow(const char* path);

// The last name of a path, and the path with its last name replaced by name (a file beside it).
std::string NameOf(const std::string& path);
std::string SiblingPath(const std::string& path, const std::string& name);

// Runs onSignal(signal) at TERM, HUP and INT whose handling is still the system's default (a
// program started to ignore them keeps ignoring them); a call blocked meanwhile returns at once.
// On Windows: Ctrl+C, Ctrl+Break and TERM.
void CatchEndingSignals(void (*onSignal)(int));

// A reader that goes away makes writes fail (EPIPE) instead of ending the process.
void IgnoreBrokenPipes();

// Ends the process by signal as the system's default handling would.
void EndBySignal(int signal);
