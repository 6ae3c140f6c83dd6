// Compiled into every program that links the kova_inputs library (and so the
// readers themselves): hands them to OpenInput before main, so that such a
// program never loads the reader module.
#include "app/inputs/child_job.h"
#include "app/inputs/geotiff_reader.h"
#include "app/inputs/input_readers.h"
#include "app/inputs/netcdf_reader.h"

namespace kova::inputs {
namespace {

constexpr InputReaders kLinked{KOVA_VERSION,        &OpenGeoTiff,    &OpenNetCdf,
                               &WriteGeoTiffCaught, &PrepareReaders, nullptr};

void Serve(const std::string& request, ChildOutput& out) {
  ServeJob(kLinked, request, out);
}

struct Registration {
  Registration() {
    InputReaders readers = kLinked;
    readers.Serve = &Serve;
    UseLinkedReaders(readers);
  }
};
const Registration registration;

}  // namespace
}  // namespace kova::inputs
