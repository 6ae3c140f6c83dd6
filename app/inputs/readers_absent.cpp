// Reader access of a build without the GeoTIFF and NetCDF readers (the
// Windows builds): such an input is refused with a message that says so.
#include "app/inputs/input_readers.h"
#include "app/inputs/isolated_input.h"
#include "app/platform/base/errors.h"

namespace kova::inputs {

void UseLinkedReaders(const InputReaders&) {}

std::vector<std::string> ReaderModulePaths() {
  return {};
}

void ReadInChildProcesses(bool) {}

bool ReadsInChildProcesses() {
  return false;
}

const InputReaders& InputReadersFor(const std::string& path) {
  ConversionError error(
      "This build of kova reads Tarvo ASCII grids only, not GeoTIFF or NetCDF files");
  error.AddContext(path);
  throw error;
}

std::unique_ptr<InputSource> OpenInChildProcess(const std::string& path, InputKind,
                                                const InputOptions&) {
  InputReadersFor(path);  // raises
  return nullptr;
}

}  // namespace kova::inputs
