// The entry of the GeoTIFF and NetCDF reader module, kova_readers.so: the one
// symbol it exports (its version script hides everything else).
#include "app/inputs/geotiff_reader.h"
#include "app/inputs/input_readers.h"
#include "app/inputs/netcdf_reader.h"

extern "C" const kova::inputs::InputReaders* kova_input_readers() {
  static constexpr kova::inputs::InputReaders kReaders{
      KOVA_VERSION, &kova::inputs::OpenGeoTiff, &kova::inputs::OpenNetCdf,
      &kova::inputs::WriteGeoTiffFile, &kova::inputs::PrepareReaders};
  return &kReaders;
}
