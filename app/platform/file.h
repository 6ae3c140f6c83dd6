// Binary file access for single operations: open with an explicit access
// mode, position by byte offset, read, write, close. Every failure raises the
// FileError with the classic I/O result code (see errors.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kova {

enum class FileAccess {
  ReadOnly,       // the file must exist
  ReadWrite,      // the file must exist; not truncated
  WriteExisting,  // the file must exist; write only, not truncated
  CreateWrite,    // created, or truncated when it exists; write only
};

class BinaryFile {
 public:
  BinaryFile() = default;
  BinaryFile(const std::string& path, FileAccess access) { Open(path, access); }
  ~BinaryFile();  // closes quietly; call Close() to see a failure
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;
  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;

  void Open(const std::string& path, FileAccess access);
  bool IsOpen() const noexcept { return fd_ >= 0; }
  const std::string& path() const noexcept { return path_; }

  void Seek(std::int64_t offset);
  // Reads up to `count` bytes; returns how many were read (less at the end).
  std::size_t Read(void* buffer, std::size_t count);
  // Writes all `count` bytes or raises the error (a full disk is "Disk full").
  void Write(const void* buffer, std::size_t count);
  // Positions at `offset` and writes all `count` bytes, in one call.
  void WriteAt(std::int64_t offset, const void* buffer, std::size_t count);
  void Close();

 private:
  static void CloseQuietly(int fd) noexcept;  // the system's close, its result unseen

  int fd_ = -1;
  std::string path_;
};

// True when `path` names an existing file (not a directory).
bool FileExists(const std::string& path);

}  // namespace kova
