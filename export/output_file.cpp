// Writing a file under a temporary name beside its target, renamed into place only when complete.
#include "export/output_file.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

void (*outputRenameHook)(size_t index) = nullptr;

namespace {

// Large writes go out in big pieces; pipes sooner, in smaller ones.
const size_t kFileBuffer = 1 << 20;
const size_t kStreamBuffer = 1 << 16;

// The temporary files being written, kept where a signal handler can remove them without allocating.
const int kSlots = 64;
const size_t kSlotPath = 4096;
enum SlotState { kSlotFree, kSlotFilling, kSlotHeld };
struct Slot {
  std::atomic<int> state{kSlotFree};
  char path[kSlotPath];
};
Slot slots[kSlots];
std::atomic<int> commitsRunning{0};
std::atomic<bool> commitStarted{false};
std::atomic<int> pendingSignal{0};

int HoldSlot(const std::string& path) {
  if (path.size() >= kSlotPath) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kSlotFree;
    if (slots[i].state.compare_exchange_strong(expected, kSlotFilling)) {
      memcpy(slots[i].path, path.c_str(), path.size() + 1);
      slots[i].state = kSlotHeld;
      return i;
    }
  }
  return -1;
}

void FreeSlot(int* slot) {
  if (*slot >= 0) slots[*slot].state = kSlotFree;
  *slot = -1;
}

// A name no other writer picks: the target's name, a random part, a counter and an ending.
std::string SideName(const std::string& target, const char* ending) {
  static std::atomic<unsigned> counter{0};
  std::random_device device;
  const uint64_t ticks = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const uint64_t mixed = (static_cast<uint64_t>(device()) << 32) ^ ticks ^ (static_cast<uint64_t>(++counter) << 48);
  char suffix[40];
  snprintf(suffix, sizeof suffix, ".%016llx.%s", static_cast<unsigned long long>(mixed), ending);
  return SiblingPath(target, "." + NameOf(target) + suffix);
}

bool Flush(OutputFile* file) {
  if (file->failed) return false;
  if (file->buffer.empty()) return true;
  std::string reason;
  const bool written = WriteAll(file->handle, file->buffer.data(), file->buffer.size(), file->cancelled, &reason);
  file->buffer.clear();
  if (!written) FailOutputFile(file, reason);
  return written;
}

void BeginCommit() {
  commitStarted = true;
  ++commitsRunning;
}

// A signal that came during the commit ends the program now that its files are in place.
void EndCommit() {
  if (--commitsRunning == 0 && pendingSignal.load() != 0) {
    RemoveOutputFilesNow();
    EndBySignal(pendingSignal.load());
  }
}

extern "C" void EndWithOutputFilesRemoved(int signal) {
  if (commitsRunning.load() > 0) {
    pendingSignal = signal;
    return;
  }
  RemoveOutputFilesNow();
  EndBySignal(signal);
}

// Why a target found by InspectTarget cannot be written, or "".
std::string Refusal(const TargetInfo& target, const OutputOptions& options, bool* protectedFile) {
  if (target.kind == kTargetFolder) return "it is a folder";
  if (target.kind != kTargetRegular) return "";
  if (target.foreignInStickyFolder) return "it belongs to another user, and in this folder only its owner may replace it";
  if (options.replaceProtected) return "";
  *protectedFile = true;
  if (target.readOnly) return "it is read-only";
  if (target.links > 1) {
    return "it has " + std::to_string(target.links) + " names (hard links), which a new file would part";
  }
  *protectedFile = false;
  return "";
}

}  // namespace

void FailOutputFile(OutputFile* file, const std::string& reason) {
  if (file->failed) return;
  file->failed = true;
  file->message = "cannot write " + file->targetPath + ": " + reason;
}

bool CheckOutputTarget(const std::string& path, const OutputOptions& options, TargetInfo* target,
                       std::string* message, bool* protectedFile) {
  bool isProtected = false;
  std::string reason;
  if (path.empty() || NameOf(path).empty() || NameOf(path) == "." || NameOf(path) == "..") {
    reason = "not a file name";
  } else if (InspectTarget(path, target, &reason)) {
    reason = Refusal(*target, options, &isProtected);
  }
  if (protectedFile != nullptr) *protectedFile = isProtected;
  if (reason.empty()) return true;
  *message = "cannot write " + path + ": " + reason;
  return false;
}

bool OpenOutputFile(OutputFile* file, const std::string& targetPath, const OutputOptions& options) {
  *file = OutputFile();
  file->targetPath = targetPath;
  file->cancelled = options.cancelled;
  if (!CheckOutputTarget(targetPath, options, &file->target, &file->message, &file->protectedFile)) {
    file->failed = true;
    return false;
  }
  std::string reason;
  if (file->target.kind == kTargetInPlace) {
    // Devices and pipes cannot be replaced by a rename, nor half-written in the usual sense.
    file->open = OpenInPlace(file->target, options.cancelled, &file->handle, &reason);
  } else {
    for (int attempt = 0; attempt < 8 && !file->open; ++attempt) {
      const std::string name = SideName(file->target.filePath, "part");
      file->slot = HoldSlot(name);
      bool exists = false;
      file->open = CreateNewFile(name, &file->handle, &exists, &reason);
      if (file->open) {
        file->temporaryPath = name;
      } else {
        FreeSlot(&file->slot);
        if (!exists) break;
      }
    }
  }
  if (!file->open) {
    FailOutputFile(file, reason);
    return false;
  }
  file->buffer.reserve(file->handle.stream ? kStreamBuffer : kFileBuffer);
  return true;
}

bool WriteOutput(OutputFile* file, const void* bytes, size_t size) {
  if (file->failed || !file->open) return false;
  const size_t capacity = file->buffer.capacity();
  if (file->buffer.size() + size > capacity && !Flush(file)) return false;
  if (size >= capacity) {
    std::string reason;
    if (!WriteAll(file->handle, bytes, size, file->cancelled, &reason)) {
      FailOutputFile(file, reason);
      return false;
    }
    return true;
  }
  const char* at = static_cast<const char*>(bytes);
  file->buffer.insert(file->buffer.end(), at, at + size);
  return true;
}

bool FinishOutputFile(OutputFile* file) {
  if (!file->open) return !file->failed;
  const bool flushed = Flush(file);
  if (flushed && !file->temporaryPath.empty()) GiveFinalMode(file->handle, file->target);
  std::string reason;
  file->open = false;
  if (!CloseFile(&file->handle, &reason) && flushed) FailOutputFile(file, reason);
  return !file->failed;
}

bool CommitOutputFile(OutputFile* file) {
  std::string message;
  return CommitOutputFiles(file, 1, &message);
}

bool CommitOutputFiles(OutputFile* files, size_t count, std::string* message) {
  for (size_t i = 0; i < count; ++i) {
    if (files[i].failed || files[i].open) {
      *message = files[i].failed ? files[i].message : "cannot write " + files[i].targetPath + ": not finished";
      return false;
    }
  }
  BeginCommit();
  std::vector<std::string> backups(count);
  std::vector<bool> movedAside(count, false), renamed(count, false);
  size_t failedAt = count;
  std::string reason, kept;
  // Every target checked, and every old file given a second name, before the first rename.
  for (size_t i = 0; i < count && failedAt == count; ++i) {
    OutputFile& file = files[i];
    if (file.temporaryPath.empty()) continue;
    TargetInfo now;
    bool unused = false;
    if (!InspectTarget(file.target.filePath, &now, &reason)) {
      failedAt = i;
    } else if (now.kind == kTargetFolder || now.kind == kTargetInPlace) {
      reason = now.kind == kTargetFolder ? "it is a folder" : "it is no longer a file";
      failedAt = i;
    } else if (!(reason = Refusal(now, OutputOptions{true, nullptr}, &unused)).empty()) {
      failedAt = i;
    } else if (now.kind == kTargetRegular) {
      std::string linkReason;
      for (int attempt = 0; attempt < 4 && backups[i].empty(); ++attempt) {
        const std::string name = SideName(file.target.filePath, "old");
        if (LinkFile(file.target.filePath, name, &linkReason)) backups[i] = name;
      }
      // Where the system cannot give a file a second name, the old one is moved aside instead.
      if (backups[i].empty()) {
        backups[i] = SideName(file.target.filePath, "old");
        movedAside[i] = true;
      }
    }
  }
  for (size_t i = 0; i < count && failedAt == count; ++i) {
    OutputFile& file = files[i];
    if (file.temporaryPath.empty()) continue;
    if (outputRenameHook != nullptr) outputRenameHook(i);
    if (movedAside[i] && !RenameFile(file.target.filePath, backups[i], &reason)) {
      failedAt = i;
      movedAside[i] = false;
      backups[i].clear();
      break;
    }
    if (!RenameFile(file.temporaryPath, file.target.filePath, &reason)) {
      // The old file goes back where it was moved from; a second name is simply removed below.
      std::string ignored;
      if (movedAside[i]) {
        if (!RenameFile(backups[i], file.target.filePath, &ignored)) {
          kept += "; its old contents are in " + backups[i];
        }
        backups[i].clear();
      }
      failedAt = i;
      break;
    }
    renamed[i] = true;
    file.temporaryPath.clear();
    FreeSlot(&file.slot);
  }
  // A rename failed: the files already replaced get their old contents back (or go, if they were new).
  std::string unrestored = kept;
  if (failedAt < count) {
    for (size_t j = 0; j < count; ++j) {
      if (!renamed[j]) continue;
      std::string restoreReason;
      const bool restored = backups[j].empty() ? RemoveFile(files[j].target.filePath)
                                               : RenameFile(backups[j], files[j].target.filePath, &restoreReason);
      if (restored) {
        backups[j].clear();
      } else {
        unrestored += "; " + files[j].targetPath + " could not be restored" +
                      (backups[j].empty() ? "" : ": its old contents are in " + backups[j]);
        backups[j].clear();
      }
    }
  }
  for (size_t i = 0; i < count; ++i) {
    if (!backups[i].empty()) RemoveFile(backups[i]);
  }
  if (failedAt < count) {
    FailOutputFile(&files[failedAt], reason);
    *message = files[failedAt].message + unrestored;
  }
  for (size_t i = 0; i < count; ++i) DiscardOutputFile(&files[i]);
  EndCommit();
  return failedAt == count;
}

void DiscardOutputFile(OutputFile* file) {
  if (file->open) {
    std::string ignored;
    CloseFile(&file->handle, &ignored);
    file->open = false;
  }
  if (!file->temporaryPath.empty()) {
    RemoveFile(file->temporaryPath);
    file->temporaryPath.clear();
  }
  FreeSlot(&file->slot);
}

void RemoveOutputFilesNow() {
  for (Slot& slot : slots) {
    if (slot.state.load() == kSlotHeld) RemoveFileNow(slot.path);
  }
}

bool OutputCommitStarted() { return commitStarted.load(); }

void RemoveOutputFilesAtEndingSignals() { CatchEndingSignals(EndWithOutputFilesRemoved); }
