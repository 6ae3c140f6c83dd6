// The GeoTIFF and NetCDF readers as OpenInput reaches them. They need libtiff,
// libgeotiff and libnetcdf, whose loading (some 50 shared libraries beneath
// them) would cost every run of `kova` tens of milliseconds, a Tarvo grid's
// too. So `kova` does not link them: the readers form a module of their own,
// kova_readers.so, loaded the first time a GeoTIFF or NetCDF input is opened.
//
// Programs linked with the readers themselves (tests, fuzzers, benchmarks,
// through the kova_inputs library) register them when they start and never
// load the module: kova_inputs compiles linked_readers.cpp into each of them,
// whose one static object hands the readers to UseLinkedReaders. A program
// without it (`kova`) finds no registration and loads the module.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/inputs/geotiff_image.h"
#include "app/inputs/input_source.h"

namespace kova::inputs {

using OpenReader = std::unique_ptr<InputSource> (*)(const std::string& path,
                                                    const InputOptions& options);
class ChildOutput;

// The GeoTIFF writer of `kova export`, which needs the same libraries
// (WriteGeoTiffCaught).
using GeoTiffWriter = bool (*)(const std::string& path, const GeoTiffImage& image,
                               std::string& message, std::string& context);

struct InputReaders {
  // The version of the build the readers come from: a module of another
  // build may disagree on InputSource and InputOptions, and is refused.
  const char* Version = nullptr;
  OpenReader OpenGeoTiff = nullptr;
  OpenReader OpenNetCdf = nullptr;
  GeoTiffWriter WriteGeoTiff = nullptr;
  // Readies the libraries without opening a file (PrepareReaders).
  void (*Prepare)() = nullptr;
  // The work of a child that reads a file with these readers (ServeJob of
  // child_job.h, bound to them).
  void (*Serve)(const std::string& request, ChildOutput& out) = nullptr;
};

// Programs do not call into the module in any way that lets an exception
// out of it: OpenGeoTiff and OpenNetCdf are called in children, through
// Serve, and WriteGeoTiff raises nothing.

// The file name of the module, and the one function it exports:
// `extern "C" const InputReaders* kova_input_readers()`.
#ifdef _WIN32
inline constexpr const char* kReaderModuleName = "kova_readers.dll";
#else
inline constexpr const char* kReaderModuleName = "kova_readers.so";
#endif
inline constexpr const char* kReaderModuleEntry = "kova_input_readers";

// Makes OpenInput use `readers`, linked into the program, instead of the
// module. Called before main by linked_readers.cpp.
void UseLinkedReaders(const InputReaders& readers);

// Whether OpenInput reads GeoTIFF and NetCDF files in child processes
// (isolated_input.h): by default when the readers come from the module, as
// in `kova`; programs with the readers linked read in their own process
// unless they ask.
void ReadInChildProcesses(bool wanted);
bool ReadsInChildProcesses();

// Where the module is looked for, in this order: beside the program, then
// where an installation puts it relative to the program's folder.
std::vector<std::string> ReaderModulePaths();

// The readers for the input at `path`: the linked ones, or those of the
// module, loaded on the first call (later calls get the same result). Raises
// ConversionError "The GeoTIFF and NetCDF readers (kova_readers.so) cannot be
// loaded: ..." with the loader's reasons, naming `path`, when it cannot be
// had.
const InputReaders& InputReadersFor(const std::string& path);

}  // namespace kova::inputs

// Visible, as the module's one exported symbol; its other code is hidden.
#ifdef _WIN32
extern "C" __declspec(dllexport) const kova::inputs::InputReaders* kova_input_readers();
#else
extern "C" __attribute__((visibility("default"))) const kova::inputs::InputReaders*
kova_input_readers();
#endif
