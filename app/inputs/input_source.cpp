#include "app/inputs/input_source.h"

#include <array>
#include <cerrno>
#include <cstring>  // std::memcmp

#include "app/inputs/input_readers.h"
#include "app/inputs/isolated_input.h"
#include "app/inputs/tarvo/grid_reader.h"
#include "app/platform/base/errors.h"
#include "app/platform/file.h"
#include "app/platform/paths.h"
#include "app/platform/safe_output.h"

namespace kova::inputs {
namespace {

struct Signature {
  const char* bytes;
  std::size_t length;
  InputKind kind;
};

constexpr Signature kSignatures[] = {
    {"II*\0", 4, InputKind::kTiff},   {"MM\0*", 4, InputKind::kTiff},
    {"II+\0", 4, InputKind::kTiff},   {"MM\0+", 4, InputKind::kTiff},
    {"CDF\1", 4, InputKind::kNetCdf}, {"CDF\2", 4, InputKind::kNetCdf},
    {"CDF\5", 4, InputKind::kNetCdf}, {"\x89HDF\r\n\x1a\n", 8, InputKind::kNetCdf},
};

// A Tarvo grid: one grid, read by the conversion's own reader; its header
// tells the grid's place before the values follow.
class TarvoGridSource final : public InputSource {
 public:
  TarvoGridSource(std::string path, GridLimits limits) : path_(std::move(path)), limits_(limits) {}
  InputKind Kind() const override { return InputKind::kTarvoGrid; }
  std::size_t GridCount() const override { return 1; }
  std::string NameSuffix(std::size_t) const override { return {}; }
  GridData ReadGrid(std::size_t i) override {
    GridData grid;
    ReadGridInto(i, grid);
    return grid;
  }
  bool ReadGridPlace(std::size_t, GridData& grid) override {
    reader_.ReadGridHeader(path_, header_);
    TakeGridHeader(header_, path_, grid);
    place_read_ = true;
    return true;
  }
  void ReadGridInto(std::size_t i, GridData& grid) override {
    if (!place_read_) ReadGridPlace(i, grid);
    place_read_ = false;
    reader_.ReadGridValues(header_, grid, limits_);
    reader_.Close();
  }
  bool ValueRangeRead(float& smallest, float& largest) const override {
    reader_.ValidValueRange(smallest, largest);
    return true;
  }

 private:
  std::string path_;
  GridLimits limits_;
  GridReader reader_;
  GridHeader header_;
  bool place_read_ = false;
};

}  // namespace

InputKind InputKindOfBytes(const unsigned char* bytes, std::size_t length) {
  for (const Signature& signature : kSignatures) {
    if (length >= signature.length && std::memcmp(bytes, signature.bytes, signature.length) == 0) {
      return signature.kind;
    }
  }
  return InputKind::kTarvoGrid;
}

InputKind DetectInputKind(const std::string& path) {
  // A FIFO or a device would block or never end.
  RequireRegularFile(path);
  BinaryFile file(path, FileAccess::ReadOnly);
  std::array<unsigned char, 8> bytes{};
  const std::size_t got = file.Read(bytes.data(), bytes.size());
  return InputKindOfBytes(bytes.data(), got);
}

std::unique_ptr<InputSource> OpenInput(const std::string& path, const InputOptions& options) {
  return OpenInputOfKind(path, DetectInputKind(path), options);
}

std::unique_ptr<InputSource> OpenInputOfKind(const std::string& path, InputKind kind,
                                             const InputOptions& options, GridLimits tarvo_limits) {
  if (kind != InputKind::kTarvoGrid && ReadsInChildProcesses()) {
    return OpenInChildProcess(path, kind, options);
  }
  switch (kind) {
    case InputKind::kTiff:
      return InputReadersFor(path).OpenGeoTiff(path, options);
    case InputKind::kNetCdf:
      return InputReadersFor(path).OpenNetCdf(path, options);
    case InputKind::kTarvoGrid:
      break;
  }
  return std::make_unique<TarvoGridSource>(path, tarvo_limits);
}

std::string OutputNameFor(const std::string& input, const std::string& folder,
                          const std::string& suffix) {
  const std::string name = ChangeFileExt(FileNameOf(input), "") + suffix + ".img";
  if (!folder.empty()) return JoinPath(folder, name);
  const std::string directory = input.substr(0, input.size() - FileNameOf(input).size());
  return directory + name;
}

}  // namespace kova::inputs
