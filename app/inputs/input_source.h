// Input files of `kova convert` of every kind: a Tarvo ASCII grid, a GeoTIFF
// (classic or BigTIFF) or a NetCDF file (classic or NetCDF-4). The kind is
// told by the first bytes of the file, never by its name. Each kind has one
// reader behind the small interface below, which yields the grids of a file
// as GridData, so the conversion never asks which kind it got.
#pragma once

#include <cstddef>  // std::size_t
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/grid_data.h"
#include "app/inputs/tarvo/grid_reader.h"  // GridLimits
#include "app/platform/base/errors.h"

namespace kova::inputs {

enum class InputKind { kTarvoGrid, kTiff, kNetCdf };

// An option of the input (--band, --variable, --index) that names nothing the
// file has. The message names what it does have; the command line treats it
// as a usage error.
class InputOptionError : public ConversionError {
 public:
  using ConversionError::ConversionError;
};

// The kind of file at `path` from its first bytes: "II*\0" / "MM\0*" (TIFF),
// "II+\0" / "MM\0+" (BigTIFF), "CDF\1" / "CDF\2" / "CDF\5" (NetCDF classic),
// the HDF5 signature (NetCDF-4); anything else is a Tarvo grid. Raises the
// FileError of a file that cannot be opened, and "Not a regular file" for a
// FIFO or a device, which are never read.
InputKind DetectInputKind(const std::string& path);

// The bytes that tell the kind, for a file already at hand.
InputKind InputKindOfBytes(const unsigned char* bytes, std::size_t length);

struct InputOptions {
  int Band = 1;          // the GeoTIFF band, counted from 1
  std::string Variable;  // the NetCDF variable; empty: the only candidate
  // NetCDF dimensions beside latitude, longitude and time, each fixed at an
  // index counted from 0 ("--index level=3"). A time dimension named here is
  // fixed too, giving one image instead of one per step.
  std::map<std::string, std::size_t> Index;
};

// The map projection of a projected input, in the terms of a Kova header.
struct InputProjection {
  std::string Name;              // "Albers equal-area conic", as the file says
  std::uint8_t KovaType = 0;     // the ProjectionType that matches; 0: none
  double OriginLatitude = 0.0;   // degrees
  double OriginLongitude = 0.0;  // degrees
  double StdParallel1 = 0.0;     // degrees, conic projections only
  double StdParallel2 = 0.0;
};

// The grids of one input file. A NetCDF variable with a time dimension holds
// one grid per time step; every other input holds one.
class InputSource {
 public:
  virtual ~InputSource() = default;

  virtual InputKind Kind() const = 0;
  virtual std::size_t GridCount() const = 0;
  // What the output name of grid `i` carries behind the input's name part
  // and NamePart: empty for a single grid, "_20240131", "_20240131T0600" or
  // "_007" for a time step.
  virtual std::string NameSuffix(std::size_t i) const = 0;
  // What every output name carries behind the input's name, to tell the
  // images of one variable or level from another's: "_air_level2"; empty
  // when the file leaves no choice.
  virtual std::string NamePart() const { return {}; }
  // Reads grid `i`: values, no-data flags, edges, cell sizes, source name.
  // Raises ConversionError naming the file for what cannot be converted.
  virtual GridData ReadGrid(std::size_t i) = 0;
  // Reads grid `i` into `grid`, whose memory a reader may take again; after
  // ReadGridPlace, only its values. By default the memory `grid` held is
  // given back first and ReadGrid(i) takes its place.
  virtual void ReadGridInto(std::size_t i, GridData& grid) {
    grid = GridData();
    grid = ReadGrid(i);
  }
  // Where the file tells a grid's size, edges, cell sizes and source name
  // before its values (a Tarvo grid's header): reads them into `grid` and
  // returns true, so that the image's header can be prepared before the
  // values are read. False, reading nothing, where only ReadGrid tells them.
  virtual bool ReadGridPlace(std::size_t /*i*/, GridData& /*grid*/) { return false; }
  // The smallest and largest valid value of the grid just read, where the
  // reader found them while reading (+infinity and -infinity for a grid
  // without one); false where it did not, and they are to be looked for.
  virtual bool ValueRangeRead(float& /*smallest*/, float& /*largest*/) const { return false; }
  // The projection of an input with projected coordinates; none otherwise.
  virtual std::optional<InputProjection> Projection() const { return std::nullopt; }
  // Cells of each grid, known once the file is open and before a grid is
  // read; none for a Tarvo grid, whose header is read with its values.
  virtual std::optional<std::size_t> CellCount() const { return std::nullopt; }
};

// Opens `path` as the kind its first bytes tell; a Tarvo grid is read by the
// conversion's own grid reader, up to 32767 columns and rows.
std::unique_ptr<InputSource> OpenInput(const std::string& path, const InputOptions& options);

// Opens `path` as the `kind` told already (DetectInputKind), without looking
// at its bytes again; a Tarvo grid within `tarvo_limits` (its file is opened
// when its grid is first asked for).
std::unique_ptr<InputSource> OpenInputOfKind(const std::string& path, InputKind kind,
                                             const InputOptions& options,
                                             GridLimits tarvo_limits = kImageGridLimits);

// The image name of a grid of `input`: its name without extension, then
// `suffix` (the grid's NameSuffix), then ".img", in `folder` (empty: beside
// the input).
std::string OutputNameFor(const std::string& input, const std::string& folder,
                          const std::string& suffix);

// Allocates the value and no-data arrays of a grid of cols x rows cells.
// Raises ConversionError "The grid of FILE (C x R cells) does not fit in
// memory" when they cannot be had.
void AllocateGrid(GridData& grid, std::int32_t cols, std::int32_t rows, const std::string& path);

}  // namespace kova::inputs
