// The exporter's file operations on Linux and other POSIX systems.
#include "export/file_system.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// A pipe or device is written a pipe buffer's page at a time, so a write never stalls for long.
const size_t kStreamPiece = PIPE_BUF;
const int kWaitMs = 50;

bool Cancelled(const std::atomic<bool>* cancelled) { return cancelled != nullptr && cancelled->load(); }

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, strlen(prefix), prefix) == 0; }

// A whole number of decimal digits alone, or -1.
int DescriptorNumber(const std::string& digits) {
  if (digits.empty() || digits.size() > 6) return -1;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
  }
  return atoi(digits.c_str());
}

// The descriptor a path names: /dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N
// (and the same under this process's number). Writing there means the open file, not a new one.
int DescriptorNamed(const std::string& path) {
  if (path == "/dev/stdin") return 0;
  if (path == "/dev/stdout") return 1;
  if (path == "/dev/stderr") return 2;
  if (StartsWith(path, "/dev/fd/")) return DescriptorNumber(path.substr(8));
  const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string& folder : {std::string("/proc/self/fd/"), std::string("/proc/thread-self/fd/"), own}) {
    if (StartsWith(path, folder.c_str())) return DescriptorNumber(path.substr(folder.size()));
  }
  return -1;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool IsStandardOutput(const struct stat& file) {
  struct stat out;
  return fstat(STDOUT_FILENO, &out) == 0 && SameFile(file, out);
}

void Identify(const struct stat& file, TargetInfo* info) {
  info->identified = true;
  info->device = static_cast<uint64_t>(file.st_dev);
  info->fileNumber = static_cast<uint64_t>(file.st_ino);
  info->standardOutput = IsStandardOutput(file);
}

// The permission bits a new file gets: 0666 less the process's mask, read without changing it where the system allows.
mode_t NewFileMode() {
  FILE* status = fopen("/proc/self/status", "r");
  if (status != nullptr) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && fgets(line, sizeof line, status) != nullptr) found = sscanf(line, "Umask: %o", &mask) == 1;
    fclose(status);
    if (found) return static_cast<mode_t>(0666 & ~mask);
  }
  const mode_t mask = umask(022);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

// The folder of a path: "." when it names none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string SiblingPath(const std::string& path, const std::string& name) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool InspectTarget(const std::string& path, TargetInfo* info, std::string* reason) {
  *info = TargetInfo();
  std::string at = path;
  for (int hop = 0; hop < 40; ++hop) {
    info->filePath = at;
    const int descriptor = DescriptorNamed(at);
    if (descriptor >= 0) {
      struct stat file;
      const int flags = fcntl(descriptor, F_GETFL);
      if (flags == -1 || fstat(descriptor, &file) != 0) {
        *reason = "no file is open as descriptor " + std::to_string(descriptor);
        return false;
      }
      if ((flags & O_ACCMODE) == O_RDONLY) {
        *reason = "descriptor " + std::to_string(descriptor) + " is not open for writing";
        return false;
      }
      info->kind = kTargetInPlace;
      info->descriptor = descriptor;
      Identify(file, info);
      return true;
    }
    struct stat file;
    if (lstat(at.c_str(), &file) != 0) {
      if (errno != ENOENT) {
        *reason = strerror(errno);
        return false;
      }
      info->kind = kTargetAbsent;
      char folder[PATH_MAX];
      info->identified = true;
      info->location = realpath(FolderOf(at).c_str(), folder) != nullptr ? std::string(folder) + "/" + NameOf(at) : at;
      return true;
    }
    if (S_ISLNK(file.st_mode)) {
      std::string link(PATH_MAX, '\0');
      const ssize_t length = readlink(at.c_str(), &link[0], link.size());
      if (length < 0) {
        *reason = strerror(errno);
        return false;
      }
      link.resize(static_cast<size_t>(length));
      at = link[0] == '/' ? link : FolderOf(at) + "/" + link;
      continue;
    }
    Identify(file, info);
    if (S_ISDIR(file.st_mode)) {
      info->kind = kTargetFolder;
      return true;
    }
    // Devices, pipes and the system's own files in /proc are written where they are.
    if (!S_ISREG(file.st_mode) || StartsWith(at, "/proc/")) {
      info->kind = kTargetInPlace;
      return true;
    }
    info->kind = kTargetRegular;
    info->mode = file.st_mode & 07777;
    info->owner = file.st_uid;
    info->group = file.st_gid;
    info->links = static_cast<uint64_t>(file.st_nlink);
    info->readOnly = (file.st_mode & 0222) == 0 || (access(at.c_str(), W_OK) != 0 && (errno == EACCES || errno == EPERM));
    struct stat folder;
    const uid_t user = geteuid();
    info->foreignInStickyFolder = user != 0 && stat(FolderOf(at).c_str(), &folder) == 0 &&
                                  (folder.st_mode & S_ISVTX) != 0 && file.st_uid != user && folder.st_uid != user;
    return true;
  }
  *reason = strerror(ELOOP);
  return false;
}

bool SameTarget(const TargetInfo& a, const TargetInfo& b) {
  if (!a.identified || !b.identified) return false;
  if (a.location.empty() != b.location.empty()) return false;
  if (!a.location.empty()) return a.location == b.location;
  return a.device == b.device && a.fileNumber == b.fileNumber;
}

bool IsNullDevice(const TargetInfo& info) {
  struct stat null;
  return info.identified && info.location.empty() && stat("/dev/null", &null) == 0 &&
         info.device == static_cast<uint64_t>(null.st_dev) && info.fileNumber == static_cast<uint64_t>(null.st_ino);
}

bool OpenInPlace(const TargetInfo& info, const std::atomic<bool>* cancelled, FileHandle* handle, std::string* reason) {
  int fd = -1;
  if (info.descriptor >= 0) {
    fd = fcntl(info.descriptor, F_DUPFD_CLOEXEC, 3);
  } else {
    // A pipe with no reader cannot be opened without waiting: try until one comes or the run is cancelled.
    for (;;) {
      fd = open(info.filePath.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0 || errno != ENXIO) break;
      if (Cancelled(cancelled)) {
        *reason = "cancelled";
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(kWaitMs));
    }
    if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (fd < 0) {
    *reason = strerror(errno);
    return false;
  }
  struct stat file;
  handle->value = fd;
  handle->stream = fstat(fd, &file) != 0 || !S_ISREG(file.st_mode);
  return true;
}

bool CreateNewFile(const std::string& path, FileHandle* handle, bool* exists, std::string* reason) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0) {
    *exists = errno == EEXIST;
    *reason = strerror(errno);
    return false;
  }
  handle->value = fd;
  handle->stream = false;
  return true;
}

bool WriteAll(const FileHandle& handle, const void* bytes, size_t size, const std::atomic<bool>* cancelled,
              std::string* reason) {
  const int fd = static_cast<int>(handle.value);
  const char* at = static_cast<const char*>(bytes);
  while (size > 0) {
    size_t piece = size;
    if (handle.stream) {
      // Wait until the pipe takes more, looking for a cancellation meanwhile.
      pollfd ready = {fd, POLLOUT, 0};
      const int polled = poll(&ready, 1, kWaitMs);
      if (Cancelled(cancelled)) {
        *reason = "cancelled";
        return false;
      }
      if (polled == 0 || (polled < 0 && errno == EINTR)) continue;
      piece = std::min(size, kStreamPiece);
    }
    const ssize_t written = write(fd, at, piece);
    if (written < 0) {
      if (errno == EINTR && !Cancelled(cancelled)) continue;
      *reason = errno == EINTR ? "cancelled" : strerror(errno);
      return false;
    }
    if (written == 0) {
      *reason = "nothing could be written";
      return false;
    }
    at += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

void GiveFinalMode(const FileHandle& handle, const TargetInfo& replaced) {
  const int fd = static_cast<int>(handle.value);
  if (replaced.kind != kTargetRegular) {
    fchmod(fd, NewFileMode());
    return;
  }
  // The owner first: a change of owner may clear the set-user bits that the mode then restores.
  if (replaced.owner != geteuid() || replaced.group != getegid()) {
    if (fchown(fd, replaced.owner, replaced.group) != 0 && fchown(fd, static_cast<uid_t>(-1), replaced.group) != 0) {
      // Not permitted: the file is the user's own, as any file they write.
    }
  }
  fchmod(fd, static_cast<mode_t>(replaced.mode));
}

bool CloseFile(FileHandle* handle, std::string* reason) {
  if (handle->value < 0) return true;
  const int fd = static_cast<int>(handle->value);
  handle->value = -1;
  if (close(fd) != 0 && errno != EINTR) {
    *reason = strerror(errno);
    return false;
  }
  return true;
}

bool LinkFile(const std::string& existing, const std::string& newName, std::string* reason) {
  if (link(existing.c_str(), newName.c_str()) == 0) return true;
  *reason = strerror(errno);
  return false;
}

bool RenameFile(const std::string& from, const std::string& to, std::string* reason) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  *reason = strerror(errno);
  return false;
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

void RemoveFileNow(const char* path) { unlink(path); }

void CatchEndingSignals(void (*onSignal)(int)) {
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    struct sigaction action = {};
    if (sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocked call returns at once
    sigaction(signal, &action, nullptr);
  }
}

void IgnoreBrokenPipes() {
  struct sigaction action = {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPIPE, &action, nullptr);
}

void EndBySignal(int signal) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  _exit(128 + signal);
}
