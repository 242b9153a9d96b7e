// Writing a file under a temporary name beside its target, renamed into place only when complete.
#include "export/output_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

// Large writes go out in big pieces.
static const size_t kStreamBuffer = 1 << 20;

static void FailWithErrno(OutputFile* file, int error) {
  if (file->failed) return;
  FailOutputFile(file, error != 0 ? strerror(error) : "write error");
}

void FailOutputFile(OutputFile* file, const std::string& reason) {
  if (file->failed) return;
  file->failed = true;
  file->message = "cannot write " + file->targetPath + ": " + reason;
}

// A name no other writer picks: the target's name, a random part and a counter.
static std::string TemporaryName(const fs::path& target) {
  static std::atomic<unsigned> counter{0};
  std::random_device device;
  const uint64_t ticks = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const uint64_t mixed = (static_cast<uint64_t>(device()) << 32) ^ ticks ^ (static_cast<uint64_t>(++counter) << 48);
  char suffix[40];
  snprintf(suffix, sizeof suffix, ".%016llx.part", static_cast<unsigned long long>(mixed));
  fs::path name = target.parent_path() / ("." + target.filename().string() + suffix);
  return name.string();
}

bool OpenOutputFile(OutputFile* file, const std::string& targetPath) {
  *file = OutputFile();
  file->targetPath = targetPath;
  const fs::path target(targetPath);
  if (targetPath.empty() || !target.has_filename()) {
    FailOutputFile(file, "not a file name");
    return false;
  }
  std::error_code error;
  const fs::file_status status = fs::status(target, error);
  if (fs::is_directory(status)) {
    FailOutputFile(file, "it is a folder");
    return false;
  }
  std::string openPath = targetPath;
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    // Devices and pipes cannot be replaced by a rename, nor half-written in the usual sense.
    file->stream = fopen(targetPath.c_str(), "wb");
  } else {
    for (int attempt = 0; attempt < 4 && file->stream == nullptr; ++attempt) {
      openPath = TemporaryName(target);
      if (fs::exists(openPath, error)) continue;
      file->stream = fopen(openPath.c_str(), "wb");
      if (file->stream != nullptr) file->temporaryPath = openPath;
    }
  }
  if (file->stream == nullptr) {
    FailWithErrno(file, errno);
    return false;
  }
  setvbuf(file->stream, nullptr, _IOFBF, kStreamBuffer);
  return true;
}

bool WriteOutput(OutputFile* file, const void* bytes, size_t size) {
  if (file->failed || file->stream == nullptr) return false;
  if (size == 0) return true;
  errno = 0;
  if (fwrite(bytes, 1, size, file->stream) != size) {
    FailWithErrno(file, errno);
    return false;
  }
  return true;
}

bool FinishOutputFile(OutputFile* file) {
  if (file->stream == nullptr) return !file->failed;
  errno = 0;
  const bool flushed = fflush(file->stream) == 0;
  const int flushError = errno;
  errno = 0;
  const bool closed = fclose(file->stream) == 0;
  const int closeError = errno;
  file->stream = nullptr;
  if (!flushed) FailWithErrno(file, flushError);
  else if (!closed) FailWithErrno(file, closeError);
  return !file->failed;
}

bool CommitOutputFile(OutputFile* file) {
  if (file->failed || file->stream != nullptr) return false;
  if (file->temporaryPath.empty()) return true;
  std::error_code error;
  fs::rename(file->temporaryPath, file->targetPath, error);
  if (error) {
    FailOutputFile(file, error.message());
    DiscardOutputFile(file);
    return false;
  }
  file->temporaryPath.clear();
  return true;
}

void DiscardOutputFile(OutputFile* file) {
  if (file->stream != nullptr) {
    fclose(file->stream);
    file->stream = nullptr;
  }
  if (!file->temporaryPath.empty()) {
    std::error_code error;
    fs::remove(file->temporaryPath, error);
    file->temporaryPath.clear();
  }
}
