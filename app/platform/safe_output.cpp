// The parts of SafeOutput and its helpers that are the same on every system;
// creating, writing, committing and discarding the temporary file, and the
// file identities, are in the system's folder.
#include "app/platform/safe_output.h"

#include <atomic>
#include <utility>

#include "app/platform/base/errors.h"

namespace kova {
namespace {

std::atomic<bool> durable_commits{false};

}  // namespace

void SafeOutput::SetDurableCommits(bool durable) noexcept {
  durable_commits.store(durable, std::memory_order_relaxed);
}

bool SafeOutput::DurableCommits() noexcept {
  return durable_commits.load(std::memory_order_relaxed);
}

SafeOutput::SafeOutput(SafeOutput&& other) noexcept
    : path_(std::move(other.path_)),
      target_(std::move(other.target_)),
      stem_(std::move(other.stem_)),
      temporary_(std::exchange(other.temporary_, std::string())),
      fd_(std::exchange(other.fd_, -1)),
      unnamed_(other.unnamed_),
      committed_(other.committed_) {}

SafeOutput& SafeOutput::operator=(SafeOutput&& other) noexcept {
  if (this != &other) {
    Discard();
    path_ = std::move(other.path_);
    target_ = std::move(other.target_);
    stem_ = std::move(other.stem_);
    temporary_ = std::exchange(other.temporary_, std::string());
    fd_ = std::exchange(other.fd_, -1);
    unnamed_ = other.unnamed_;
    committed_ = other.committed_;
  }
  return *this;
}

SafeOutput::~SafeOutput() {
  Discard();
}

void WriteFileWhole(const std::string& path, const void* data, std::size_t count) {
  SafeOutput output(path);
  output.Write(data, count);
  output.Commit();
}

void WriteFileWhole(const std::string& path, const std::string& bytes) {
  WriteFileWhole(path, bytes.data(), bytes.size());
}

void RefuseOverwriting(const std::string& output, const std::string& source,
                       const std::string& role) {
  if (IsSameFile(output, source)) {
    throw RefusedFileError("The output " + output + " is the same file as the " + role + " " +
                           source);
  }
}

void ThrowNotRegularFile(const std::string& path) {
  RefusedFileError error("Not a regular file");
  error.AddContext(path);
  throw error;
}

}  // namespace kova
