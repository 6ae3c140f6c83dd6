#include <dlfcn.h>

#include <atomic>      // the choice of child processes, read by every thread
#include <cstring>     // std::strcmp of the versions
#include <filesystem>  // the installed module's path, made plain

#include "app/inputs/input_readers.h"
#include "app/platform/errors.h"
#include "app/platform/process.h"

// The module's folder relative to the installed program's, "../lib/kova" or
// alike; set by the build from the installation folders.
#ifndef KOVA_READER_MODULE_DIR
#error "KOVA_READER_MODULE_DIR must name the installed module's folder relative to the program's"
#endif

namespace kova::inputs {
namespace {

// Set before main, if ever; constant-initialised, so no registration can be
// overwritten by a later initialisation of this variable.
constinit InputReaders linked_readers;

enum class ChildReading { kUnset, kWanted, kNotWanted };
constinit std::atomic<ChildReading> child_reading{ChildReading::kUnset};

struct LoadedModule {
  const InputReaders* readers = nullptr;
  std::string failure;  // why not, when there are no readers
};

std::string LoaderError() {
  const char* text = ::dlerror();
  return text != nullptr ? text : "unknown failure of the dynamic loader";
}

LoadedModule LoadReaderModule() {
  std::string reasons;
  const auto fail = [&reasons](const std::string& reason) {
    if (!reasons.empty()) reasons += "; ";
    reasons += reason;
  };
  for (const std::string& path : ReaderModulePaths()) {
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      fail(LoaderError());
      // A module that lies there but does not load (a library beneath it
      // missing) is the one meant; looking further would hide why.
      std::error_code ec;
      if (std::filesystem::exists(path, ec)) break;
      continue;
    }
    // Never closed: the readers' objects, errors in flight included, run
    // code of the module until the program ends.
    const auto entry =
        reinterpret_cast<const InputReaders* (*)()>(::dlsym(module, kReaderModuleEntry));
    if (entry == nullptr) {
      fail(LoaderError());
      break;
    }
    const InputReaders* readers = entry();
    const char* version =
        readers != nullptr && readers->Version != nullptr ? readers->Version : "?";
    if (std::strcmp(version, KOVA_VERSION) != 0) {
      fail(path + " comes from kova " + version + ", this is kova " KOVA_VERSION);
      break;
    }
    return {readers, {}};
  }
  return {nullptr, "The GeoTIFF and NetCDF readers (" + std::string(kReaderModuleName) +
                       ") cannot be loaded: " + reasons};
}

}  // namespace

void UseLinkedReaders(const InputReaders& readers) {
  linked_readers = readers;
}

void ReadInChildProcesses(bool wanted) {
  child_reading = wanted ? ChildReading::kWanted : ChildReading::kNotWanted;
}

bool ReadsInChildProcesses() {
  const ChildReading choice = child_reading;
  if (choice == ChildReading::kUnset) return linked_readers.OpenGeoTiff == nullptr;
  return choice == ChildReading::kWanted;
}

std::vector<std::string> ReaderModulePaths() {
  const std::string folder = ProgramDirectory();
  const std::filesystem::path installed =
      std::filesystem::path(folder) / KOVA_READER_MODULE_DIR / kReaderModuleName;
  return {folder + kReaderModuleName, installed.lexically_normal().string()};
}

const InputReaders& InputReadersFor(const std::string& path) {
  if (linked_readers.OpenGeoTiff != nullptr) return linked_readers;
  static const LoadedModule loaded = LoadReaderModule();
  if (loaded.readers == nullptr) {
    ConversionError error(loaded.failure);
    error.AddContext(path);
    throw error;
  }
  return *loaded.readers;
}

}  // namespace kova::inputs
