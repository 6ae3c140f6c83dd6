#include "app/inputs/child_job.h"

#include <memory>
#include <stdexcept>  // std::runtime_error of an unknown error

#include "app/platform/base/errors.h"

namespace kova::inputs {

std::string EncodeJob(const Job& job) {
  Message message;
  message.Put(job.request);
  message.Put(job.kind);
  message.PutText(job.path);
  message.Put<std::int32_t>(job.options.Band);
  message.PutText(job.options.Variable);
  message.Put<std::uint64_t>(job.options.Index.size());
  for (const auto& [name, index] : job.options.Index) {
    message.PutText(name);
    message.Put<std::uint64_t>(index);
  }
  message.Put(job.grid);
  return message.Text();
}

bool DecodeJob(const std::string& text, Job& job) {
  MemorySource in(text);
  std::int32_t band = 0;
  std::uint64_t count = 0;
  if (!in.Get(job.request) || !in.Get(job.kind) || !in.GetText(job.path) || !in.Get(band) ||
      !in.GetText(job.options.Variable) || !in.Get(count)) {
    return false;
  }
  job.options.Band = band;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string name;
    std::uint64_t index = 0;
    if (!in.GetText(name) || !in.Get(index)) return false;
    job.options.Index[name] = static_cast<std::size_t>(index);
  }
  return in.Get(job.grid);
}

// --- The child's side --------------------------------------------------------

void PutError(Message& message, const std::exception& error) {
  ErrorClass kind = ErrorClass::kOther;
  std::int32_t file_code = 0;
  std::string text = error.what();
  std::string context;
  if (const auto* kova_error = dynamic_cast<const KovaError*>(&error)) {
    text = kova_error->Message();
    context = kova_error->Context();
    kind = ErrorClass::kKova;
    if (dynamic_cast<const InputOptionError*>(&error)) {
      kind = ErrorClass::kInputOption;
    } else if (dynamic_cast<const ConversionError*>(&error)) {
      kind = ErrorClass::kConversion;
    } else if (const auto* file_error = dynamic_cast<const FileError*>(&error)) {
      kind = ErrorClass::kFile;
      file_code = static_cast<std::int32_t>(file_error->code());
    } else if (dynamic_cast<const RefusedFileError*>(&error)) {
      kind = ErrorClass::kRefusedFile;
    } else if (dynamic_cast<const FloatOverflowError*>(&error)) {
      kind = ErrorClass::kFloatOverflow;
    } else if (dynamic_cast<const ConvertError*>(&error)) {
      kind = ErrorClass::kConvert;
    } else if (dynamic_cast<const RangeError*>(&error)) {
      kind = ErrorClass::kRange;
    } else if (dynamic_cast<const IntOverflowError*>(&error)) {
      kind = ErrorClass::kIntOverflow;
    }
  }
  message.Put(Answer::kError);
  message.Put(kind);
  message.Put(file_code);
  message.PutText(text);
  message.PutText(context);
}

namespace {

std::unique_ptr<InputSource> OpenHere(const InputReaders& readers, const Job& job) {
  return (job.kind == InputKind::kTiff ? readers.OpenGeoTiff : readers.OpenNetCdf)(job.path,
                                                                                   job.options);
}

void PutOpened(Message& message, const InputSource& source) {
  message.Put(Answer::kOpened);
  message.Put<std::uint64_t>(source.GridCount());
  message.PutText(source.NamePart());
  for (std::size_t i = 0; i < source.GridCount(); ++i) message.PutText(source.NameSuffix(i));
  const std::optional<InputProjection> projection = source.Projection();
  message.Put<std::uint8_t>(projection.has_value());
  if (projection) {
    message.PutText(projection->Name);
    message.Put(projection->KovaType);
    message.Put(projection->OriginLatitude);
    message.Put(projection->OriginLongitude);
    message.Put(projection->StdParallel1);
    message.Put(projection->StdParallel2);
  }
  const std::optional<std::size_t> cells = source.CellCount();
  message.Put<std::uint8_t>(cells.has_value());
  message.Put<std::uint64_t>(cells.value_or(0));
}

// Sends the grid's description, then its values and flags as they lie in
// memory.
bool SendGrid(const GridData& grid, ChildOutput& out) {
  Message message;
  message.Put(Answer::kGrid);
  message.Put(grid.Cols);
  message.Put(grid.Rows);
  message.Put(grid.Left);
  message.Put(grid.Bottom);
  message.Put(grid.CellWidth);
  message.Put(grid.CellHeight);
  message.Put(grid.Coordinates);
  message.PutText(grid.SourceName);
  return out.Write(message.Text().data(), message.Text().size()) &&
         out.Write(grid.Values.data(), grid.Values.size() * sizeof(float)) &&
         out.Write(grid.NoData.data(), grid.NoData.size());
}

}  // namespace

void ServeJob(const InputReaders& readers, const std::string& request, ChildOutput& out) {
  Job job;
  if (!DecodeJob(request, job)) return;
  Message message;
  try {
    // A child that is the program started anew (Windows) readies the
    // libraries for itself; a fork has them ready, and readying them again
    // costs nothing.
    if (readers.Prepare != nullptr) readers.Prepare();
    std::unique_ptr<InputSource> source = OpenHere(readers, job);
    PutOpened(message, *source);
    if (job.request == Request::kReadGrid) {
      const GridData grid = source->ReadGrid(static_cast<std::size_t>(job.grid));
      if (out.Write(message.Text().data(), message.Text().size())) SendGrid(grid, out);
      return;
    }
  } catch (const std::exception& error) {
    message = Message();
    PutError(message, error);
  } catch (...) {
    message = Message();
    PutError(message, std::runtime_error("an unknown error"));
  }
  out.Write(message.Text().data(), message.Text().size());
}

}  // namespace kova::inputs
