#include "app/platform/safe_output.h"

#include <fcntl.h>  // _O_BINARY, _O_RDWR
#include <io.h>     // _open_osfhandle, _get_osfhandle, _close

#include <algorithm>
#include <random>  // the temporary file's name
#include <utility>
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#include "app/platform/win32/wide.h"

// The temporary file is created beside the output, opened with every sharing
// allowed (so that writers reach it by name and it can be renamed while
// open), and locked at an offset far past any data for as long as this run
// owns it. Commit() renames it onto the output with MoveFileExW. A run that
// is killed leaves the file unlocked; the next run that writes the same
// output removes it.

namespace kova {
namespace {

// The part of the output's name kept in the temporary file's name, so that
// the name stays within the 255 characters a folder entry holds.
constexpr std::size_t kNameKept = 200;
constexpr int kCreateAttempts = 100;
// Where the ownership lock lies: beyond the end of any image.
constexpr DWORD kLockOffsetHigh = 0x7fffffff;

HANDLE HandleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

std::string RandomSuffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string suffix(8, ' ');
  for (char& c : suffix) c = kAlphabet[pick(device)];
  return suffix;
}

bool LockOwnership(HANDLE file) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

// True when `name` is one that CreateNamed gives for `stem_name`: the stem,
// eight of RandomSuffix's characters, ".tmp". A user's file that merely
// starts alike is never taken for a leftover.
bool IsTemporaryName(const std::string& name, const std::string& stem_name) {
  if (name.size() != stem_name.size() + 12 || name.compare(0, stem_name.size(), stem_name) != 0 ||
      name.compare(stem_name.size() + 8, 4, ".tmp") != 0) {
    return false;
  }
  for (std::size_t i = stem_name.size(); i < stem_name.size() + 8; ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Removes the temporary files of earlier runs of `stem` that no live run
// holds locked.
void RemoveAbandoned(const std::string& stem) {
  WIN32_FIND_DATAW found{};
  const std::string folder = stem.substr(0, DirectoryPartLength(stem));
  HANDLE search = ::FindFirstFileW(win32::Widen(stem + "*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  const std::string stem_name = stem.substr(folder.size());
  std::vector<std::string> names;
  do {
    const std::string name = win32::Narrow(found.cFileName);
    if (IsTemporaryName(name, stem_name)) names.push_back(folder + name);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  for (const std::string& name : names) {
    const std::wstring wide = win32::Widen(name);
    win32::Handle file(::CreateFileW(wide.c_str(), GENERIC_READ | DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || !LockOwnership(file.Get())) continue;
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;
    ::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &remove, sizeof remove);
  }
}

// True when another program holds `path` open in a way that keeps it from
// being replaced (opened without sharing its deletion).
bool HeldOpenElsewhere(const std::string& path) {
  win32::Handle file(::CreateFileW(win32::Widen(path).c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return !file.Valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

struct FileIdentity {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
};

bool IdentityOf(const std::string& path, FileIdentity& identity) {
  if (path.empty()) return false;
  const win32::Handle file = win32::OpenForQuery(path);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file.Valid() || !::GetFileInformationByHandle(file.Get(), &info)) return false;
  identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

}  // namespace

SafeOutput::SafeOutput(const std::string& path) : path_(path) {
  if (path.empty()) throw FileError(IoResult::kFileNotFound);
  target_ = path;
  const std::string name = FileNameOf(target_);
  if (name.empty() || name == "." || name == "..")
    throw FileError(IoResult::kFileAccessDenied);  // a folder

  const DWORD attributes = ::GetFileAttributesW(win32::Widen(target_).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw FileError(IoResult::kFileAccessDenied);
  }
  // A device name (NUL, CON, COM1) or a pipe is not a file to replace.
  if (win32::IsDeviceName(target_)) ThrowNotRegularFile(path);
  if (const win32::Handle existing = win32::OpenForQuery(target_);
      existing.Valid() && ::GetFileType(existing.Get()) != FILE_TYPE_DISK) {
    ThrowNotRegularFile(path);
  }

  stem_ = target_.substr(0, DirectoryPartLength(target_)) + "." + name.substr(0, kNameKept) + ".";
  RemoveAbandoned(stem_);
  CreateNamed();
}

void SafeOutput::CreateUnnamed() {}

void SafeOutput::CreateNamed() {
  for (int attempt = 0; fd_ < 0; ++attempt) {
    temporary_ = stem_ + RandomSuffix() + ".tmp";
    win32::Handle file(::CreateFileW(win32::Widen(temporary_).c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_EXISTS && attempt + 1 < kCreateAttempts) continue;
      temporary_.clear();
      win32::ThrowLastError(target_, error);
    }
    if (!LockOwnership(file.Get())) {
      const DWORD error = ::GetLastError();
      file.Reset();
      ::DeleteFileW(win32::Widen(temporary_).c_str());
      temporary_.clear();
      win32::ThrowLastError(target_, error);
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_RDWR | _O_BINARY);
    if (fd < 0) {
      file.Reset();
      ::DeleteFileW(win32::Widen(temporary_).c_str());
      temporary_.clear();
      throw FileError(IoResult::kTooManyOpenFiles);
    }
    file.Release();
    fd_ = fd;
  }
}

std::string SafeOutput::LinkUnnamed() {
  return temporary_;
}

void SafeOutput::Write(const void* data, std::size_t count) {
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpenForOutput);
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < count) {
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    if (!::WriteFile(HandleOf(fd_), bytes + done, chunk, &n, nullptr)) {
      win32::ThrowLastError(target_);
    }
    if (n == 0) throw FileError(IoResult::kDiskFull);
    done += n;
  }
}

void SafeOutput::Commit() {
  if (committed_) return;
  if (fd_ < 0) throw FileError(IoResult::kFileNotOpen);  // discarded
  if (DurableCommits() && !::FlushFileBuffers(HandleOf(fd_))) {
    win32::ThrowLastError(target_);
  }
  // Renamed while this run still holds it (and its lock): no other run can
  // take it for abandoned in between.
  if (!::MoveFileExW(win32::Widen(temporary_).c_str(), win32::Widen(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    Discard();
    if (HeldOpenElsewhere(target_)) {
      throw RefusedFileError("The output " + path_ +
                             " is in use by another program; it was left as it was");
    }
    win32::ThrowLastError(target_, error);
  }
  committed_ = true;
  // The file is complete under its name, so a failure here loses nothing,
  // but it is reported all the same.
  if (::_close(std::exchange(fd_, -1)) != 0) throw FileError(IoResult::kFileAccessDenied);
}

void SafeOutput::Discard() noexcept {
  if (fd_ >= 0) ::_close(std::exchange(fd_, -1));
  if (!committed_ && !temporary_.empty()) ::DeleteFileW(win32::Widen(temporary_).c_str());
  if (!committed_) temporary_.clear();
}

bool IsSameFile(const std::string& a, const std::string& b) {
  FileIdentity first;
  FileIdentity second;
  if (!IdentityOf(a, first) || !IdentityOf(b, second)) return false;
  return first.volume == second.volume && first.index_high == second.index_high &&
         first.index_low == second.index_low;
}

void RequireRegularFile(const std::string& path) {
  if (path.empty()) throw FileError(IoResult::kFileNotFound);
  if (win32::IsDeviceName(path)) ThrowNotRegularFile(path);
  const win32::Handle file = win32::OpenForQuery(path);
  if (!file.Valid()) win32::ThrowLastError(path);
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK ||
      !::GetFileInformationByHandle(file.Get(), &info)) {
    ThrowNotRegularFile(path);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    throw FileError(IoResult::kFileAccessDenied);
}

}  // namespace kova
