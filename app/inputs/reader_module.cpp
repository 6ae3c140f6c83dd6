// The entry of the GeoTIFF and NetCDF reader module, kova_readers.so: the one
// symbol it exports (its version script hides everything else).
#include "app/inputs/child_job.h"
#include "app/inputs/geotiff_reader.h"
#include "app/inputs/input_readers.h"
#include "app/inputs/netcdf_reader.h"

namespace {

void Serve(const std::string& request, kova::inputs::ChildOutput& out) {
  kova::inputs::ServeJob(*kova_input_readers(), request, out);
}

// Readying raises nothing out of the module.
void Prepare() {
  try {
    kova::inputs::PrepareReaders();
  } catch (...) {
  }
}

}  // namespace

extern "C" const kova::inputs::InputReaders* kova_input_readers() {
  static constexpr kova::inputs::InputReaders kReaders{KOVA_VERSION,
                                                       &kova::inputs::OpenGeoTiff,
                                                       &kova::inputs::OpenNetCdf,
                                                       &kova::inputs::WriteGeoTiffCaught,
                                                       &Prepare,
                                                       &Serve};
  return &kReaders;
}
