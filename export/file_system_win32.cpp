// The exporter's file operations on Windows: every path through the wide-character calls.
#include "export/file_system.h"

#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cwctype>
#include <string>

namespace {

const size_t kStreamPiece = 1 << 16;

bool Cancelled(const std::atomic<bool>* cancelled) { return cancelled != nullptr && cancelled->load(); }

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length, nullptr, nullptr);
  return text;
}

// The system's reason, worded as the C library words the common ones on every system.
std::string Reason(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "No such file or directory";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return "Permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "No space left on device";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "File exists";
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return "Invalid argument";
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: return "Broken pipe";
    default: break;
  }
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide = length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.')) wide.pop_back();
  return wide.empty() ? "system error " + std::to_string(error) : Utf8(wide);
}

// A name the system keeps for a device (NUL, CON, COM1 ..., with any extension), or a \\.\ path.
bool IsDeviceName(const std::string& path) {
  if (path.rfind("\\\\.\\", 0) == 0) return true;
  std::string stem = NameOf(path);
  stem = stem.substr(0, stem.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}

bool IdentityOf(HANDLE handle, uint64_t* device, uint64_t* fileNumber, uint64_t* links) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) return false;
  *device = information.dwVolumeSerialNumber;
  *fileNumber = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  *links = information.nNumberOfLinks;
  return true;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD length = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) return path;
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
  full.resize(written);
  return full;
}

}  // namespace

std::string NameOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\:");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string SiblingPath(const std::string& path, const std::string& name) {
  const size_t separator = path.find_last_of("/\\:");
  return separator == std::string::npos ? name : path.substr(0, separator + 1) + name;
}

bool InspectTarget(const std::string& path, TargetInfo* info, std::string* reason) {
  *info = TargetInfo();
  info->filePath = path;
  const std::wstring wide = Wide(path);
  if (IsDeviceName(path)) {
    info->kind = kTargetInPlace;
    info->identified = true;
    std::string stem = NameOf(path).substr(0, NameOf(path).find('.'));
    for (char& c : stem) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    info->location = "device " + stem;
    return true;
  }
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      *reason = Reason(error);
      return false;
    }
    std::wstring full = FullPath(wide);
    std::transform(full.begin(), full.end(), full.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    for (wchar_t& c : full) {
      if (c == L'/') c = L'\\';
    }
    info->kind = kTargetAbsent;
    info->identified = true;
    info->location = Utf8(full);
    return true;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    info->kind = kTargetFolder;
    return true;
  }
  HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    info->identified = IdentityOf(handle, &info->device, &info->fileNumber, &info->links);
    CloseHandle(handle);
    uint64_t device = 0, fileNumber = 0, links = 0;
    info->standardOutput = info->identified && IdentityOf(GetStdHandle(STD_OUTPUT_HANDLE), &device, &fileNumber, &links) &&
                           device == info->device && fileNumber == info->fileNumber;
  }
  info->kind = kTargetRegular;
  info->mode = attributes;
  info->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return true;
}

bool SameTarget(const TargetInfo& a, const TargetInfo& b) {
  if (!a.identified || !b.identified) return false;
  if (a.location.empty() != b.location.empty()) return false;
  if (!a.location.empty()) return a.location == b.location;
  return a.device == b.device && a.fileNumber == b.fileNumber;
}

bool IsNullDevice(const TargetInfo& info) { return info.location == "device NUL"; }

bool OpenInPlace(const TargetInfo& info, const std::atomic<bool>*, FileHandle* handle, std::string* reason) {
  HANDLE file = CreateFileW(Wide(info.filePath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *reason = Reason(GetLastError());
    return false;
  }
  handle->value = reinterpret_cast<intptr_t>(file);
  handle->stream = GetFileType(file) != FILE_TYPE_DISK;
  return true;
}

bool CreateNewFile(const std::string& path, FileHandle* handle, bool* exists, std::string* reason) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    *exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    *reason = Reason(error);
    return false;
  }
  handle->value = reinterpret_cast<intptr_t>(file);
  handle->stream = false;
  return true;
}

bool WriteAll(const FileHandle& handle, const void* bytes, size_t size, const std::atomic<bool>* cancelled,
              std::string* reason) {
  HANDLE file = reinterpret_cast<HANDLE>(handle.value);
  const char* at = static_cast<const char*>(bytes);
  while (size > 0) {
    if (handle.stream && Cancelled(cancelled)) {
      *reason = "cancelled";
      return false;
    }
    const DWORD piece = static_cast<DWORD>(std::min(size, handle.stream ? kStreamPiece : size_t(1) << 30));
    DWORD written = 0;
    if (!WriteFile(file, at, piece, &written, nullptr)) {
      *reason = Reason(GetLastError());
      return false;
    }
    if (written == 0) {
      *reason = "nothing could be written";
      return false;
    }
    at += written;
    size -= written;
  }
  return true;
}

void GiveFinalMode(const FileHandle& handle, const TargetInfo& replaced) {
  if (replaced.kind != kTargetRegular) return;
  // The attributes the user set (read-only, hidden, ...) go to the new file.
  const DWORD kept = replaced.mode & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (kept == 0) return;
  FILE_BASIC_INFO basic = {};
  basic.FileAttributes = kept;
  SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle.value), FileBasicInfo, &basic, sizeof basic);
}

bool CloseFile(FileHandle* handle, std::string* reason) {
  if (handle->value == -1) return true;
  HANDLE file = reinterpret_cast<HANDLE>(handle->value);
  handle->value = -1;
  if (!CloseHandle(file)) {
    *reason = Reason(GetLastError());
    return false;
  }
  return true;
}

bool LinkFile(const std::string& existing, const std::string& newName, std::string* reason) {
  if (CreateHardLinkW(Wide(newName).c_str(), Wide(existing).c_str(), nullptr)) return true;
  *reason = Reason(GetLastError());
  return false;
}

bool RenameFile(const std::string& from, const std::string& to, std::string* reason) {
  const std::wstring wideFrom = Wide(from), wideTo = Wide(to);
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), flags)) return true;
  DWORD error = GetLastError();
  // A read-only file cannot be replaced by a rename: it loses the attribute first (the run was told to
  // replace it), and gets it back when the rename fails all the same.
  const DWORD attributes = GetFileAttributesW(wideTo.c_str());
  if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
      SetFileAttributesW(wideTo.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), flags)) return true;
    error = GetLastError();
    SetFileAttributesW(wideTo.c_str(), attributes);
  }
  *reason = Reason(error);
  return false;
}

bool RemoveFile(const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(wide.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  return DeleteFileW(wide.c_str()) != 0;
}

void RemoveFileNow(const char* path) {
  wchar_t wide[4096];
  if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 4096) > 0) DeleteFileW(wide);
}

void CatchEndingSignals(void (*onSignal)(int)) {
  for (int signal : {SIGINT, SIGBREAK, SIGTERM}) {
    if (std::signal(signal, onSignal) == SIG_IGN) std::signal(signal, SIG_IGN);
  }
}

void IgnoreBrokenPipes() {}

void EndBySignal(int signal) { ExitProcess(128 + static_cast<UINT>(signal)); }
