#ifdef _WIN32
#include "app/platform/win32/wide.h"  // windows.h
#else
#include <dlfcn.h>
#endif

#include <atomic>      // the choice of child processes, read by every thread
#include <cstring>     // std::strcmp of the versions
#include <filesystem>  // the installed module's path, made plain
#include <string_view>

#include "app/inputs/input_readers.h"
#include "app/platform/base/errors.h"
#include "app/platform/file.h"   // FileExists
#include "app/platform/paths.h"  // FileSystemPath, Utf8Path
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

#ifdef _WIN32
// The system's text of the last error, "path: text".
std::string LoaderError(const std::string& path) {
  const DWORD error = ::GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string said = length > 0 ? win32::Narrow(std::wstring(text, length)) : std::string();
  if (text != nullptr) ::LocalFree(text);
  while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) {
    said.pop_back();
  }
  if (said.empty()) said = "error " + std::to_string(error);
  return path + ": " + said;
}

// A module's folder is searched for the libraries beneath it.
void* OpenModule(const std::string& path) {
  return ::LoadLibraryExW(win32::Widen(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void* ModuleEntry(void* module) {
  return reinterpret_cast<void*>(
      ::GetProcAddress(static_cast<HMODULE>(module), kReaderModuleEntry));
}
#else
std::string LoaderError(const std::string&) {
  const char* text = ::dlerror();
  return text != nullptr ? text : "unknown failure of the dynamic loader";
}

void* OpenModule(const std::string& path) {
  return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* ModuleEntry(void* module) {
  return ::dlsym(module, kReaderModuleEntry);
}
#endif

LoadedModule LoadReaderModule() {
  std::string reasons;
  const auto fail = [&reasons](const std::string& reason) {
    if (!reasons.empty()) reasons += "; ";
    reasons += reason;
  };
  for (const std::string& path : ReaderModulePaths()) {
    void* module = OpenModule(path);
    if (module == nullptr) {
      fail(LoaderError(path));
      // A module that lies there but does not load (a library beneath it
      // missing) is the one meant; looking further would hide why.
      if (FileExists(path)) break;
      continue;
    }
    // Never closed: the readers' objects, errors in flight included, run
    // code of the module until the program ends.
    const auto entry = reinterpret_cast<const InputReaders* (*)()>(ModuleEntry(module));
    if (entry == nullptr) {
      fail(LoaderError(path));
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
  const std::string beside = folder + kReaderModuleName;
  // No folder of its own: installed beside the programs (Windows).
  if (std::string_view(KOVA_READER_MODULE_DIR).empty()) return {beside};
  const std::filesystem::path installed =
      FileSystemPath(folder) / KOVA_READER_MODULE_DIR / kReaderModuleName;
  return {beside, Utf8Path(installed.lexically_normal())};
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
