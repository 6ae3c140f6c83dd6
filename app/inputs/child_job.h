// The requests a parent sends a child that reads a GeoTIFF or NetCDF file,
// and the answers: the file's grids, a grid's values, or the error the
// reader raised. The readers' side (ServeJob) is compiled into the reader
// module too, so that the module answers a request all by itself and no
// exception ever crosses from it into the program: a 32-bit Windows program
// and a DLL each have an unwinder of their own, and an exception thrown in
// one ends the process when it reaches the other's frames.
#pragma once

#include <cstdint>
#include <cstring>  // std::memcpy of numbers into the messages
#include <exception>
#include <string>
#include <type_traits>

#include "app/inputs/child_process.h"  // ChildOutput
#include "app/inputs/input_readers.h"
#include "app/inputs/input_source.h"

namespace kova::inputs {

// --- The messages between parent and child -----------------------------------
//
// Numbers in the machine's own layout (both sides are the same program),
// strings as their length and bytes, so that a NUL in a name read from a
// file survives.

class Message {
 public:
  template <typename T>
  void Put(T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    const auto* bytes = reinterpret_cast<const char*>(&value);
    text_.append(bytes, sizeof value);
  }
  void PutText(const std::string& text) {
    Put<std::uint64_t>(text.size());
    text_ += text;
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// Reads a request (from memory) or an answer (from a child). Every read
// says whether it got what it asked for; a string longer than any message
// holds is a broken answer.
class Source {
 public:
  virtual ~Source() = default;
  virtual bool ReadBytes(void* data, std::size_t length) = 0;

  template <typename T>
  bool Get(T& value) {
    return ReadBytes(&value, sizeof value);
  }
  bool GetText(std::string& text) {
    std::uint64_t length = 0;
    if (!Get(length) || length > kLongestText) return false;
    text.resize(length);
    return length == 0 || ReadBytes(text.data(), length);
  }

 private:
  static constexpr std::uint64_t kLongestText = std::uint64_t{1} << 24;
};

class MemorySource final : public Source {
 public:
  explicit MemorySource(const std::string& text) : text_(text) {}
  bool ReadBytes(void* data, std::size_t length) override {
    if (text_.size() - at_ < length) return false;
    std::memcpy(data, text_.data() + at_, length);
    at_ += length;
    return true;
  }

 private:
  const std::string& text_;
  std::size_t at_ = 0;
};

enum class Request : std::uint8_t { kOpen = 1, kReadGrid = 2 };
enum class Answer : std::uint8_t { kError = 1, kOpened = 2, kGrid = 3 };

// The errors a reader raises, by class, so that the parent raises the same.
enum class ErrorClass : std::uint8_t {
  kOther,
  kKova,
  kConversion,
  kInputOption,
  kFile,
  kRefusedFile,
  kFloatOverflow,
  kConvert,
  kRange,
  kIntOverflow,
};

struct Job {
  Request request = Request::kOpen;
  InputKind kind = InputKind::kNetCdf;
  std::string path;
  InputOptions options;
  std::uint64_t grid = 0;
};

std::string EncodeJob(const Job& job);
bool DecodeJob(const std::string& text, Job& job);

// `error` as an answer: its class, file code, text and context.
void PutError(Message& message, const std::exception& error);

// The child's work: opens the file of the request with `readers`, and
// answers with its grids, and with the values of the grid asked for; any
// error raised meanwhile is the answer instead.
void ServeJob(const InputReaders& readers, const std::string& request, ChildOutput& out);

}  // namespace kova::inputs
