// The parts of BinaryFile that are the same on every system; the opening,
// reading and writing are in the system's folder.
#include "app/platform/file.h"

#include <utility>

namespace kova {

BinaryFile::~BinaryFile() {
  if (fd_ >= 0) CloseQuietly(fd_);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) CloseQuietly(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

}  // namespace kova
