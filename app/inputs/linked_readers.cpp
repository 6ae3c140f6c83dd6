// Compiled into every program that links the kova_inputs library (and so the
// readers themselves): hands them to OpenInput before main, so that such a
// program never loads the reader module.
#include "app/inputs/geotiff_reader.h"
#include "app/inputs/input_readers.h"
#include "app/inputs/netcdf_reader.h"

namespace kova::inputs {
namespace {

struct Registration {
  Registration() {
    UseLinkedReaders({KOVA_VERSION, &OpenGeoTiff, &OpenNetCdf, &WriteGeoTiffFile, &PrepareReaders});
  }
};
const Registration registration;

}  // namespace
}  // namespace kova::inputs
