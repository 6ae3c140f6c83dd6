#include "app/inputs/isolated_input.h"

#include <cstdint>
#include <cstring>  // std::memcpy of numbers into the messages
#include <exception>
#include <mutex>  // std::call_once of the libraries' readying
#include <type_traits>
#include <vector>

#include "app/inputs/child_job.h"
#include "app/inputs/child_process.h"
#include "app/inputs/input_common.h"  // kMaxGridSide
#include "app/inputs/input_readers.h"
#include "app/platform/base/errors.h"

namespace kova::inputs {
namespace {

class ChildSource final : public Source {
 public:
  explicit ChildSource(ChildProcess& child) : child_(child) {}
  bool ReadBytes(void* data, std::size_t length) override { return child_.Read(data, length); }

 private:
  ChildProcess& child_;
};

// The task of every child: the readers serve the request themselves (see
// child_job.h).
void ServeInChild(const std::string& request, ChildOutput& out) {
  Job job;
  if (!DecodeJob(request, job)) return;
  const InputReaders* readers = nullptr;
  try {
    readers = &InputReadersFor(job.path);
  } catch (const std::exception& error) {
    Message message;
    PutError(message, error);
    out.Write(message.Text().data(), message.Text().size());
    return;
  }
  if (readers->Serve != nullptr) readers->Serve(request, out);
}

// --- The parent's side -------------------------------------------------------

const char* LibraryOf(InputKind kind) {
  return kind == InputKind::kTiff ? "GeoTIFF" : "NetCDF";
}

[[noreturn]] void ThrowLibraryFailure(InputKind kind, const std::string& how,
                                      const std::string& path) {
  ConversionError error(std::string("Reading stopped: the ") + LibraryOf(kind) +
                        " library failed on this file (" + how + ")");
  error.AddContext(path);
  throw error;
}

template <typename Error>
[[noreturn]] void Raise(Error error, const std::string& context) {
  error.AddContext(context);
  throw error;
}

[[noreturn]] void ThrowChildError(Source& in, InputKind kind, const std::string& path) {
  ErrorClass error_class = ErrorClass::kOther;
  std::int32_t file_code = 0;
  std::string text, context;
  if (!in.Get(error_class) || !in.Get(file_code) || !in.GetText(text) || !in.GetText(context)) {
    ThrowLibraryFailure(kind, "its answer is incomplete", path);
  }
  switch (error_class) {
    case ErrorClass::kInputOption:
      Raise(InputOptionError(text), context);
    case ErrorClass::kConversion:
      Raise(ConversionError(text), context);
    case ErrorClass::kFile:
      Raise(FileError(static_cast<IoResult>(file_code)), context);
    case ErrorClass::kRefusedFile:
      Raise(RefusedFileError(text), context);
    case ErrorClass::kFloatOverflow:
      Raise(FloatOverflowError(), context);
    case ErrorClass::kConvert:
      Raise(ConvertError(text), context);
    case ErrorClass::kRange:
      Raise(RangeError(), context);
    case ErrorClass::kIntOverflow:
      Raise(IntOverflowError(), context);
    case ErrorClass::kKova:
    case ErrorClass::kOther:
      break;
  }
  Raise(KovaError(text), context);
}

// Runs `job` in a child; `read` takes the answer that is not an error. The
// child must then have ended by itself, with nothing left to say: a child
// that crashed after its answer may have damaged it.
struct TimedOut {
  std::chrono::seconds waited;
};

template <typename ReadAnswer>
void RunJobOnce(const Job& job, std::chrono::nanoseconds limit, ReadAnswer& read) {
  // The module is loaded and its libraries readied here, once, rather than
  // in every child.
  const InputReaders& readers = InputReadersFor(job.path);
  static std::once_flag prepared;
  std::call_once(prepared, [&readers] {
    if (readers.Prepare != nullptr) readers.Prepare();
  });
  const ChildClock::time_point start = ChildClock::now();
  std::unique_ptr<ChildProcess> child;
  try {
    child = StartChild(&ServeInChild, EncodeJob(job), start + limit);
  } catch (KovaError& error) {
    error.AddContext(job.path);
    throw;
  }
  ChildSource in(*child);
  Answer answer{};
  const bool answered = in.Get(answer);
  bool complete = false;
  std::exception_ptr error;
  if (answered && answer == Answer::kError) {
    try {
      ThrowChildError(in, job.kind, job.path);
    } catch (...) {
      error = std::current_exception();
    }
    complete = true;
  } else if (answered) {
    complete = read(answer, in, *child);
  }
  const ChildEnd end = child->Finish();
  switch (end.kind) {
    case ChildEnd::Kind::kTimedOut:
      // Within the limit of opening, or the longer one of the grid's size.
      throw TimedOut{std::chrono::round<std::chrono::seconds>(ChildClock::now() - start)};
    case ChildEnd::Kind::kCrashed:
      ThrowLibraryFailure(job.kind, "the reading crashed: " + end.description, job.path);
    case ChildEnd::Kind::kExited:
      if (end.code != 0 || !complete || end.said_more) {
        ThrowLibraryFailure(job.kind, "the reading ended without an answer, " + end.description,
                            job.path);
      }
      break;
  }
  if (error) std::rethrow_exception(error);
}

// A child that hangs is tried once more: a fork while another thread holds a
// lock of the runtime (the sanitizers' allocator is not made safe for fork)
// leaves the child waiting for it forever, which a second child escapes.
template <typename ReadAnswer>
void RunJob(const Job& job, std::chrono::nanoseconds limit, ReadAnswer read) {
  try {
    RunJobOnce(job, limit, read);
    return;
  } catch (const TimedOut&) {
  }
  try {
    RunJobOnce(job, limit, read);
  } catch (const TimedOut& timed_out) {
    ThrowLibraryFailure(
        job.kind,
        "no answer within " + std::to_string(timed_out.waited.count()) + " seconds, twice",
        job.path);
  }
}

// Opens the file in a child when it is first asked about it; reading a grid
// opens it anew in the grid's child, which tells the same.
class ChildProcessSource final : public InputSource {
 public:
  ChildProcessSource(const std::string& path, InputKind kind, const InputOptions& options)
      : job_{Request::kOpen, kind, path, options, 0} {}

  InputKind Kind() const override { return job_.kind; }
  std::size_t GridCount() const override { return Opened().suffixes_.size(); }
  std::string NameSuffix(std::size_t i) const override { return Opened().suffixes_.at(i); }
  std::string NamePart() const override { return Opened().name_part_; }
  std::optional<InputProjection> Projection() const override { return Opened().projection_; }
  std::optional<std::size_t> CellCount() const override { return Opened().cells_; }

  GridData ReadGrid(std::size_t i) override {
    Job job = job_;
    job.request = Request::kReadGrid;
    job.grid = i;
    GridData grid;
    try {
      // The child opens the file first, in the time any opening gets.
      RunJob(job, kOpenTimeLimit, [&](Answer answer, Source& in, ChildProcess& child) {
        if (!ReadOpened(answer, in)) return false;
        child.SetDeadline(ChildClock::now() + kReadTimeLimit +
                          cells_.value_or(0) * kReadTimePerCell);
        return in.Get(answer) && answer == Answer::kGrid && ReadGridAnswer(in, grid);
      });
    } catch (...) {
      // A file that could not be opened is not tried again when asked about.
      if (!opened_) failure_ = std::current_exception();
      throw;
    }
    return grid;
  }

 private:
  const ChildProcessSource& Opened() const {
    if (failure_) std::rethrow_exception(failure_);
    if (!opened_) {
      try {
        RunJob(job_, kOpenTimeLimit,
               [this](Answer answer, Source& in, ChildProcess&) { return ReadOpened(answer, in); });
      } catch (...) {
        failure_ = std::current_exception();
        throw;
      }
    }
    return *this;
  }

  bool ReadOpened(Answer answer, Source& in) const {
    std::uint64_t count = 0;
    suffixes_.clear();
    projection_.reset();
    cells_.reset();
    if (answer != Answer::kOpened || !in.Get(count) || count > kLargestCount ||
        !in.GetText(name_part_)) {
      return false;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
      if (!in.GetText(suffixes_.emplace_back())) return false;
    }
    std::uint8_t has_projection = 0, has_cells = 0;
    if (!in.Get(has_projection)) return false;
    if (has_projection != 0) {
      InputProjection projection;
      if (!in.GetText(projection.Name) || !in.Get(projection.KovaType) ||
          !in.Get(projection.OriginLatitude) || !in.Get(projection.OriginLongitude) ||
          !in.Get(projection.StdParallel1) || !in.Get(projection.StdParallel2)) {
        return false;
      }
      projection_ = projection;
    }
    std::uint64_t cells = 0;
    if (!in.Get(has_cells) || !in.Get(cells)) return false;
    if (has_cells != 0) cells_ = static_cast<std::size_t>(cells);
    opened_ = true;
    return true;
  }

  bool ReadGridAnswer(Source& in, GridData& grid) const {
    if (!in.Get(grid.Cols) || !in.Get(grid.Rows) || !in.Get(grid.Left) || !in.Get(grid.Bottom) ||
        !in.Get(grid.CellWidth) || !in.Get(grid.CellHeight) || !in.Get(grid.Coordinates) ||
        !in.GetText(grid.SourceName)) {
      return false;
    }
    if (grid.Cols < 1 || grid.Rows < 1 || grid.Cols > kMaxGridSide || grid.Rows > kMaxGridSide) {
      return false;
    }
    AllocateGrid(grid, grid.Cols, grid.Rows, job_.path);
    return in.ReadBytes(grid.Values.data(), grid.Values.size() * sizeof(float)) &&
           in.ReadBytes(grid.NoData.data(), grid.NoData.size());
  }

  // More time steps than any file holds: a broken answer.
  static constexpr std::uint64_t kLargestCount = std::uint64_t{1} << 31;

  Job job_;
  // What the file holds, learnt from the first child that opened it.
  mutable bool opened_ = false;
  mutable std::exception_ptr failure_;
  mutable std::vector<std::string> suffixes_;
  mutable std::string name_part_;
  mutable std::optional<InputProjection> projection_;
  mutable std::optional<std::size_t> cells_;
};

}  // namespace

std::unique_ptr<InputSource> OpenInChildProcess(const std::string& path, InputKind kind,
                                                const InputOptions& options) {
  return std::make_unique<ChildProcessSource>(path, kind, options);
}

}  // namespace kova::inputs
