#include "app/inputs/netcdf_reader.h"

#include <H5Epublic.h>  // H5Eset_auto2: HDF5 prints nothing
#include <netcdf.h>

#include <algorithm>
#include <cfloat>  // FLT_EPSILON, DBL_EPSILON of the coordinate tolerance
#include <cmath>
#include <cstdio>  // std::snprintf of coordinate values
#include <mutex>   // the library is not safe for concurrent use
#include <set>
#include <vector>

#include "app/grid_data.h"  // RoundToFloat
#include "app/inputs/cf_time.h"
#include "app/inputs/geotiff_reader.h"  // RegisterTiffTags
#include "app/inputs/input_common.h"
#include "app/inputs/netcdf_classic_size.h"
#include "app/platform/base/errors.h"
#include "app/platform/paths.h"
#ifdef _WIN32
#include "app/platform/win32/wide.h"  // windows.h
#endif

namespace kova::inputs {
namespace {

// libnetcdf (and the HDF5 library beneath it) must not be entered from two
// threads at once; every call into it holds this lock.
std::mutex netcdf_lock;

// Values read per call while a grid is read (at least one row or column):
// the buffer of 8-byte values stays at 512 KB, whatever the grid's size.
constexpr std::size_t kReadBlockValues = std::size_t{1} << 16;

[[noreturn]] void Refuse(const std::string& message, const std::string& path) {
  ConversionError error(message);
  error.AddContext(path);
  throw error;
}

[[noreturn]] void RefuseOption(const std::string& message, const std::string& path) {
  InputOptionError error(message);
  error.AddContext(path);
  throw error;
}

std::string Listed(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
  return list;
}

void Check(int status, const std::string& what, const std::string& path) {
  if (status == NC_NOERR) return;
  // HDF5 tells no more than this of a NetCDF-4 file whose structures are
  // damaged or lie beyond its end.
  const std::string state = status == NC_EHDFERR ? "is damaged or cut short" : "cannot be read";
  Refuse("The NetCDF file " + state + " (" + what + ": " + nc_strerror(status) + ")", path);
}

#ifdef _WIN32
// `wide` in the system's code page, when every character of it is there.
bool InCodePage(const std::wstring& wide, std::string& text) {
  BOOL lost = FALSE;
  const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr,
                                           0, nullptr, &lost);
  if (length <= 0 || lost) return false;
  text.assign(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, text.data(), length,
                        nullptr, &lost);
  text.pop_back();  // the NUL
  return !lost;
}

// The library takes file names in the system's code page (and makes them
// UTF-8 for HDF5 itself), not in UTF-8: the name in that code page, or else
// the file's short name, which a volume may keep beside a long name whose
// characters lie outside it.
std::string NameForLibrary(const std::string& path) {
  if (::GetACP() == CP_UTF8) return path;
  const std::wstring wide = win32::Widen(path);
  std::string name;
  if (InCodePage(wide, name)) return name;
  const DWORD size = ::GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (size > 0) {
    std::wstring short_name(size, L'\0');
    const DWORD length = ::GetShortPathNameW(wide.c_str(), short_name.data(), size);
    if (length > 0 && length < size) {
      short_name.resize(length);
      if (InCodePage(short_name, name)) return name;
    }
  }
  Refuse(
      "The NetCDF library takes only names written in the system's code page, and this "
      "file's name or folder has characters outside it (and no short name); rename it",
      path);
}
#else
const std::string& NameForLibrary(const std::string& path) {
  return path;
}
#endif

std::string TextAttribute(int ncid, int varid, const char* name) {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(ncid, varid, name, &type, &length) != NC_NOERR || type != NC_CHAR) return {};
  std::string text(length, '\0');
  if (length > 0 && nc_get_att_text(ncid, varid, name, text.data()) != NC_NOERR) return {};
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
  return text;
}

std::vector<double> NumberAttribute(int ncid, int varid, const char* name) {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(ncid, varid, name, &type, &length) != NC_NOERR || type == NC_CHAR ||
      type == NC_STRING || length == 0) {
    return {};
  }
  std::vector<double> values(length);
  if (nc_get_att_double(ncid, varid, name, values.data()) != NC_NOERR) return {};
  return values;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A name from the file as part of a file name: bytes that a file name
// should not hold become "_".
std::string NamePiece(std::string name) {
  for (char& c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = std::isalnum(byte) || c == '-' || c == '.' || c == '+' || byte >= 0x80;
    if (!plain) c = '_';
  }
  return name;
}

enum class AxisKind { kOther, kLatitude, kLongitude, kTime };

// What a coordinate variable stands for, from its CF attributes (units,
// standard_name, axis), never from its name.
AxisKind AxisOf(int ncid, int varid) {
  const std::string units = Lower(TextAttribute(ncid, varid, "units"));
  const std::string standard_name = Lower(TextAttribute(ncid, varid, "standard_name"));
  const std::string axis = Lower(TextAttribute(ncid, varid, "axis"));
  static const std::set<std::string> kNorth = {"degrees_north", "degree_north", "degree_n",
                                               "degrees_n",     "degreen",      "degreesn"};
  static const std::set<std::string> kEast = {"degrees_east", "degree_east", "degree_e",
                                              "degrees_e",    "degreee",     "degreese"};
  const bool degrees = units.rfind("degree", 0) == 0;
  if (standard_name == "latitude" || kNorth.count(units) || (axis == "y" && degrees)) {
    return AxisKind::kLatitude;
  }
  if (standard_name == "longitude" || kEast.count(units) || (axis == "x" && degrees)) {
    return AxisKind::kLongitude;
  }
  if (standard_name == "time" || axis == "t" || units.find(" since ") != std::string::npos) {
    return AxisKind::kTime;
  }
  return AxisKind::kOther;
}

// A regular coordinate axis: values first + i * step.
struct RegularAxis {
  std::size_t Length = 0;
  long double First = 0;
  long double Step = 0;
};

std::string Number(long double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9Lg", value);
  return text;
}

RegularAxis ReadRegularAxis(int ncid, int varid, std::size_t length, const char* what,
                            const std::string& name, const std::string& path) {
  std::vector<double> values(length);
  Check(nc_get_var_double(ncid, varid, values.data()), "coordinate " + name, path);
  RegularAxis axis;
  axis.Length = length;
  axis.First = values.front();
  if (length == 1) return axis;
  axis.Step = (static_cast<long double>(values.back()) - values.front()) / (length - 1);
  nc_type type = NC_NAT;
  nc_inq_vartype(ncid, varid, &type);
  long double largest_value = 0;
  for (double v : values) largest_value = std::max<long double>(largest_value, std::fabs(v));
  // Half a per cent of a cell, or the rounding of the stored coordinates.
  const long double allowed =
      std::max(std::fabs(axis.Step) / 200,
               4 * largest_value * (type == NC_FLOAT ? FLT_EPSILON : DBL_EPSILON));
  long double worst = -1;
  std::size_t worst_at = 0;
  for (std::size_t i = 0; i < length; ++i) {
    const long double deviation = std::fabs(values[i] - (axis.First + i * axis.Step));
    if (!(deviation <= worst)) {
      worst = deviation;
      worst_at = i;
    }
  }
  if (!(worst <= allowed) || axis.Step == 0) {
    Refuse(std::string("The ") + what + " coordinate '" + name +
               "' is not regular: its largest deviation from an even spacing of " +
               Number(axis.Step) + " is " + Number(worst) + " at index " +
               std::to_string(worst_at) + " (value " + Number(values[worst_at]) + ")",
           path);
  }
  return axis;
}

// An open NetCDF file, closed when it goes (also when opening it went
// wrong half way).
struct NetCdfFile {
  int id = -1;
  NetCdfFile() = default;
  NetCdfFile(const NetCdfFile&) = delete;
  NetCdfFile& operator=(const NetCdfFile&) = delete;
  ~NetCdfFile() {
    std::lock_guard lock(netcdf_lock);
    if (id >= 0) nc_close(id);
  }
};

class NetCdfSource final : public InputSource {
 public:
  NetCdfSource(const std::string& path, const InputOptions& options);

  InputKind Kind() const override { return InputKind::kNetCdf; }
  std::size_t GridCount() const override { return steps_.size(); }
  std::string NameSuffix(std::size_t i) const override {
    return stamps_.empty() ? std::string() : "_" + stamps_[i];
  }
  std::string NamePart() const override { return name_part_; }
  GridData ReadGrid(std::size_t i) override;
  std::optional<std::size_t> CellCount() const override { return lat_.Length * lon_.Length; }

 private:
  // How a grid is read: in chunks of ChunkOuter x ChunkInner (outer: the
  // slower of latitude and longitude in the file), each in blocks of
  // ReadOuter x ReadInner values. ReadInner is a whole number of chunks, or
  // the rest of the axis.
  struct BlockPlan {
    std::size_t ChunkOuter, ChunkInner, ReadOuter, ReadInner;
  };
  BlockPlan PlanBlocks(std::size_t outer_pos, std::size_t inner_pos, std::size_t outer_length,
                       std::size_t inner_length);
  void ChooseVariable(const std::string& wanted);
  void ReadAttributes();
  int CoordinateVariable(int dimid) const;

  std::string path_;
  NetCdfFile file_;
  int& ncid_ = file_.id;
  int varid_ = -1;
  std::string var_name_;
  std::vector<int> dims_;           // of the variable, in its order
  std::vector<std::size_t> start_;  // fixed index of every dimension
  std::size_t lat_pos_ = 0, lon_pos_ = 0;
  std::optional<std::size_t> time_pos_;
  RegularAxis lat_, lon_;
  std::vector<std::size_t> steps_;   // time indices, or the one grid
  std::vector<std::string> stamps_;  // empty without time steps
  std::size_t gridded_count_ = 0;    // variables on a latitude/longitude grid
  std::string name_part_;            // of the image names: "_air_level2"
  std::string title_part_;           // of the titles: " air level=2"
  std::vector<double> missing_;      // raw values that mean no data
  double scale_ = 1.0, offset_ = 0.0;
  bool packed_ = false;
};

int NetCdfSource::CoordinateVariable(int dimid) const {
  char name[NC_MAX_NAME + 1] = {};
  if (nc_inq_dimname(ncid_, dimid, name) != NC_NOERR) return -1;
  int varid = -1;
  if (nc_inq_varid(ncid_, name, &varid) != NC_NOERR) return -1;
  int ndims = 0;
  int dim = -1;
  if (nc_inq_varndims(ncid_, varid, &ndims) != NC_NOERR || ndims != 1) return -1;
  if (nc_inq_vardimid(ncid_, varid, &dim) != NC_NOERR || dim != dimid) return -1;
  return varid;
}

NetCdfSource::NetCdfSource(const std::string& path, const InputOptions& options) : path_(path) {
  // The library reads the missing end of a classic file as zeros.
  CheckClassicNetCdfSize(path);
  std::lock_guard lock(netcdf_lock);
  // HDF5 prints its errors on standard error unless told not to, on each
  // thread anew; they reach the user as our messages instead.
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  Check(nc_open(NameForLibrary(path).c_str(), NC_NOWRITE, &ncid_), "open", path_);
  ChooseVariable(options.Variable);

  // Every --index names a dimension of the variable beside latitude and
  // longitude, before any other dimension asks for one.
  std::vector<std::string> dimension_names;
  for (std::size_t k = 0; k < dims_.size(); ++k) {
    char name[NC_MAX_NAME + 1] = {};
    Check(nc_inq_dimname(ncid_, dims_[k], name), "dimension", path_);
    if (k != lat_pos_ && k != lon_pos_) dimension_names.emplace_back(name);
  }
  for (const auto& [name, index] : options.Index) {
    if (std::find(dimension_names.begin(), dimension_names.end(), name) == dimension_names.end()) {
      RefuseOption(
          "The variable '" + var_name_ + "' has no dimension '" + name + "' (--index); " +
              (dimension_names.empty()
                   ? std::string("it has none beside latitude and longitude")
                   : "its dimensions beside latitude and longitude: " + Listed(dimension_names)),
          path_);
    }
  }

  // Every dimension but latitude and longitude is fixed by --index, is the
  // time (one grid per step), or has a single index.
  start_.assign(dims_.size(), 0);
  std::size_t time_length = 1;
  bool time_fixed = false;
  for (std::size_t k = 0; k < dims_.size(); ++k) {
    if (k == lat_pos_ || k == lon_pos_) continue;
    char name[NC_MAX_NAME + 1] = {};
    std::size_t length = 0;
    Check(nc_inq_dim(ncid_, dims_[k], name, &length), "dimension", path_);
    const int coordinate = CoordinateVariable(dims_[k]);
    const bool is_time = coordinate >= 0 && AxisOf(ncid_, coordinate) == AxisKind::kTime;
    const auto index = options.Index.find(name);
    if (index != options.Index.end()) {
      if (index->second >= length) {
        RefuseOption("--index " + std::string(name) + "=" + std::to_string(index->second) +
                         " lies beyond the dimension's " + std::to_string(length) +
                         " indices (0 to " + std::to_string(length - 1) + ")",
                     path_);
      }
      start_[k] = index->second;
    } else if (!is_time && length != 1) {
      Refuse("The variable '" + var_name_ + "' has the dimension '" + name + "' (" +
                 std::to_string(length) +
                 " indices) beside latitude, longitude and time; "
                 "choose one with --index " +
                 name + "=N",
             path_);
    }
    if (is_time && !time_pos_) {
      time_pos_ = k;
      time_length = length;
      time_fixed = index != options.Index.end();
    }
  }
  // The images of one variable or level are told from another's by name
  // whenever the file offers a choice: "_air_level2".
  if (gridded_count_ > 1 || !options.Index.empty()) {
    name_part_ = "_" + NamePiece(var_name_);
    title_part_ = " " + var_name_;
    for (std::size_t k = 0; k < dims_.size(); ++k) {
      if (k == lat_pos_ || k == lon_pos_ || (time_pos_ && k == *time_pos_)) continue;
      char name[NC_MAX_NAME + 1] = {};
      nc_inq_dimname(ncid_, dims_[k], name);
      if (!options.Index.count(name)) continue;
      name_part_ += "_" + NamePiece(name) + std::to_string(start_[k]);
      title_part_ += " " + std::string(name) + "=" + std::to_string(start_[k]);
    }
  }

  if (time_pos_) {
    const std::size_t k = *time_pos_;
    if (time_fixed) {
      steps_ = {start_[k]};
    } else {
      for (std::size_t t = 0; t < time_length; ++t) steps_.push_back(t);
    }
    const int coordinate = CoordinateVariable(dims_[k]);
    std::vector<double> all(time_length);
    Check(nc_get_var_double(ncid_, coordinate, all.data()), "time coordinate", path_);
    std::vector<double> times;
    for (std::size_t t : steps_) times.push_back(all[t]);
    try {
      stamps_ = CfTimeStamps(times, ParseCfTimeUnits(TextAttribute(ncid_, coordinate, "units"),
                                                     TextAttribute(ncid_, coordinate, "calendar")));
    } catch (KovaError& error) {
      error.AddContext(path_);
      throw;
    }
    if (time_fixed && !ParseCfTimeUnits(TextAttribute(ncid_, coordinate, "units"), "")) {
      char number[32];
      std::snprintf(number, sizeof number, "%03zu", start_[k] + 1);
      stamps_ = {number};
    }
  } else {
    steps_ = {0};
  }

  // Latitude and longitude: regular, cell sizes from the spacing.
  std::size_t lat_length = 0, lon_length = 0;
  Check(nc_inq_dimlen(ncid_, dims_[lat_pos_], &lat_length), "latitude", path_);
  Check(nc_inq_dimlen(ncid_, dims_[lon_pos_], &lon_length), "longitude", path_);
  CheckGridSize(static_cast<std::int64_t>(lon_length), static_cast<std::int64_t>(lat_length),
                path_);
  char lat_name[NC_MAX_NAME + 1] = {}, lon_name[NC_MAX_NAME + 1] = {};
  nc_inq_dimname(ncid_, dims_[lat_pos_], lat_name);
  nc_inq_dimname(ncid_, dims_[lon_pos_], lon_name);
  lat_ = ReadRegularAxis(ncid_, CoordinateVariable(dims_[lat_pos_]), lat_length, "latitude",
                         lat_name, path_);
  lon_ = ReadRegularAxis(ncid_, CoordinateVariable(dims_[lon_pos_]), lon_length, "longitude",
                         lon_name, path_);
  // One cell along an axis: its size is that of the other axis.
  if (lat_.Length == 1) lat_.Step = std::fabs(lon_.Step);
  if (lon_.Length == 1) lon_.Step = std::fabs(lat_.Step);
  if (lat_.Step == 0 || lon_.Step == 0) {
    Refuse("The grid of '" + var_name_ + "' is a single cell; its cell size is unknown", path_);
  }
  ReadAttributes();
}

void NetCdfSource::ChooseVariable(const std::string& wanted) {
  int nvars = 0;
  Check(nc_inq_nvars(ncid_, &nvars), "variables", path_);
  std::vector<std::string> candidates;
  bool found = false;
  bool wanted_gridded = false;
  for (int varid = 0; varid < nvars; ++varid) {
    char name[NC_MAX_NAME + 1] = {};
    int ndims = 0;
    Check(nc_inq_varname(ncid_, varid, name), "variable", path_);
    Check(nc_inq_varndims(ncid_, varid, &ndims), "variable", path_);
    std::vector<int> dims(static_cast<std::size_t>(ndims));
    if (ndims > 0) Check(nc_inq_vardimid(ncid_, varid, dims.data()), "variable", path_);
    std::optional<std::size_t> lat, lon;
    for (std::size_t k = 0; k < dims.size(); ++k) {
      const int coordinate = CoordinateVariable(dims[k]);
      if (coordinate < 0 || coordinate == varid) continue;
      const AxisKind kind = AxisOf(ncid_, coordinate);
      if (kind == AxisKind::kLatitude && !lat) lat = k;
      if (kind == AxisKind::kLongitude && !lon) lon = k;
    }
    const bool gridded = lat && lon;
    if (gridded) candidates.emplace_back(name);
    const bool chosen = !wanted.empty() ? !found && wanted == name : gridded;
    if (!wanted.empty() && wanted == name) found = true;
    if (chosen) {
      wanted_gridded = gridded;
      if (!gridded) continue;
      varid_ = varid;
      var_name_ = name;
      dims_ = dims;
      lat_pos_ = *lat;
      lon_pos_ = *lon;
    }
  }
  gridded_count_ = candidates.size();
  const std::string those =
      candidates.empty() ? "; it has none on a latitude/longitude grid"
                         : "; its variables on a latitude/longitude grid: " + Listed(candidates);
  if (!wanted.empty() && !found) {
    RefuseOption("The NetCDF file has no variable '" + wanted + "'" + those, path_);
  }
  if (!wanted.empty() && !wanted_gridded) {
    RefuseOption("The variable '" + wanted + "' has no latitude and longitude dimensions" + those,
                 path_);
  }
  if (candidates.empty()) {
    Refuse("The NetCDF file has no variable with latitude and longitude dimensions", path_);
  }
  if (wanted.empty() && candidates.size() > 1) {
    Refuse("The NetCDF file has several variables with latitude and longitude dimensions (" +
               Listed(candidates) + "); choose one with --variable",
           path_);
  }
}

void NetCdfSource::ReadAttributes() {
  missing_ = NumberAttribute(ncid_, varid_, "missing_value");
  const std::vector<double> fill = NumberAttribute(ncid_, varid_, "_FillValue");
  if (!fill.empty()) {
    missing_.push_back(fill.front());
  } else {
    // Cells never written hold the library's default fill value (CF: not
    // for bytes, whose every value may be data).
    nc_type type = NC_NAT;
    Check(nc_inq_vartype(ncid_, varid_, &type), "variable type", path_);
    switch (type) {
      case NC_SHORT:
        missing_.push_back(NC_FILL_SHORT);
        break;
      case NC_USHORT:
        missing_.push_back(NC_FILL_USHORT);
        break;
      case NC_INT:
        missing_.push_back(NC_FILL_INT);
        break;
      case NC_UINT:
        missing_.push_back(NC_FILL_UINT);
        break;
      case NC_INT64:
        missing_.push_back(static_cast<double>(NC_FILL_INT64));
        break;
      case NC_UINT64:
        missing_.push_back(static_cast<double>(NC_FILL_UINT64));
        break;
      case NC_FLOAT:
        missing_.push_back(static_cast<double>(NC_FILL_FLOAT));
        break;
      case NC_DOUBLE:
        missing_.push_back(NC_FILL_DOUBLE);
        break;
      default:
        break;
    }
  }
  const std::vector<double> scale = NumberAttribute(ncid_, varid_, "scale_factor");
  const std::vector<double> offset = NumberAttribute(ncid_, varid_, "add_offset");
  if (!scale.empty()) scale_ = scale.front();
  if (!offset.empty()) offset_ = offset.front();
  packed_ = !scale.empty() || !offset.empty();
}

NetCdfSource::BlockPlan NetCdfSource::PlanBlocks(std::size_t outer_pos, std::size_t inner_pos,
                                                 std::size_t outer_length,
                                                 std::size_t inner_length) {
  BlockPlan plan{outer_length, inner_length, 0, 0};
  int storage = NC_CONTIGUOUS;
  std::vector<std::size_t> chunk(dims_.size(), 0);
  if (nc_inq_var_chunking(ncid_, varid_, &storage, chunk.data()) == NC_NOERR &&
      storage == NC_CHUNKED) {
    plan.ChunkOuter = std::clamp<std::size_t>(chunk[outer_pos], 1, outer_length);
    plan.ChunkInner = std::clamp<std::size_t>(chunk[inner_pos], 1, inner_length);
  } else {
    storage = NC_CONTIGUOUS;
  }
  const std::size_t chunk_values = plan.ChunkOuter * plan.ChunkInner;
  if (chunk_values <= kReadBlockValues) {
    // Small chunks: as many whole chunks side by side as the buffer holds.
    plan.ReadOuter = plan.ChunkOuter;
    plan.ReadInner = std::min(
        inner_length, plan.ChunkInner * std::max<std::size_t>(1, kReadBlockValues / chunk_values));
  } else {
    // A large chunk (or the whole contiguous variable): bands of it.
    plan.ReadInner = plan.ChunkInner;
    plan.ReadOuter = std::clamp<std::size_t>(kReadBlockValues / plan.ReadInner, 1, plan.ChunkOuter);
  }
  if (storage == NC_CHUNKED) {
    // Unpacked chunks stay in the library's cache, by default many of them.
    // A chunk read whole at once needs no cache; the bands of a larger
    // chunk are read in turn, and the cache holds just that chunk, or each
    // band would unpack it again.
    std::size_t cache_bytes = 0;
    if (plan.ReadOuter < plan.ChunkOuter) {
      nc_type type = NC_NAT;
      cache_bytes = 8;
      if (nc_inq_vartype(ncid_, varid_, &type) == NC_NOERR) {
        nc_inq_type(ncid_, type, nullptr, &cache_bytes);
      }
      for (std::size_t extent : chunk) cache_bytes *= std::max<std::size_t>(extent, 1);
    }
    std::size_t size = 0, slots = 0;
    float preemption = 0;
    if (nc_get_var_chunk_cache(ncid_, varid_, &size, &slots, &preemption) == NC_NOERR) {
      // Preemption 1: a chunk read to its end leaves the cache first.
      nc_set_var_chunk_cache(ncid_, varid_, cache_bytes, slots, 1.0f);
    }
  }
  return plan;
}

GridData NetCdfSource::ReadGrid(std::size_t i) {
  std::lock_guard lock(netcdf_lock);
  GridData grid;
  grid.Cols = static_cast<std::int32_t>(lon_.Length);
  grid.Rows = static_cast<std::int32_t>(lat_.Length);
  grid.Coordinates = GridCoordinates::kGeographic;
  const long double cell_width = std::fabs(lon_.Step);
  const long double cell_height = std::fabs(lat_.Step);
  grid.CellWidth = RoundCellSize(cell_width, "width", path_);
  grid.CellHeight = RoundCellSize(cell_height, "height", path_);
  // Coordinates are cell centres; the edges lie half a cell out.
  const long double west = lon_.Step > 0 ? lon_.First : lon_.First + (lon_.Length - 1) * lon_.Step;
  const long double south = lat_.Step > 0 ? lat_.First : lat_.First + (lat_.Length - 1) * lat_.Step;
  grid.Left = RoundEdge(west - cell_width / 2, "left", path_);
  grid.Bottom = RoundEdge(south - cell_height / 2, "bottom", path_);
  grid.SourceName = FileNameOf(path_) + title_part_ + (stamps_.empty() ? "" : " " + stamps_[i]);
  AllocateGrid(grid, grid.Cols, grid.Rows, path_);

  std::vector<std::size_t> start = start_;
  std::vector<std::size_t> count(dims_.size(), 1);
  if (time_pos_) start[*time_pos_] = steps_[i];
  // The values come in blocks of the variable's own order: `outer` is the
  // slower of latitude and longitude in the file, `inner` the faster.
  const bool lat_first = lat_pos_ < lon_pos_;
  const std::size_t outer_pos = lat_first ? lat_pos_ : lon_pos_;
  const std::size_t inner_pos = lat_first ? lon_pos_ : lat_pos_;
  const std::size_t outer_length = lat_first ? lat_.Length : lon_.Length;
  const std::size_t inner_length = lat_first ? lon_.Length : lat_.Length;
  const BlockPlan plan = PlanBlocks(outer_pos, inner_pos, outer_length, inner_length);
  std::vector<double> block(plan.ReadOuter * plan.ReadInner);

  const std::size_t cols = lon_.Length;
  // Row 0 of the image is the northern row; columns run west to east.
  const bool flip_rows = lat_.Step > 0;
  const bool flip_cols = lon_.Step < 0;
  auto take = [&](double raw, std::size_t source_row, std::size_t source_col) {
    const std::size_t at = (flip_rows ? lat_.Length - 1 - source_row : source_row) * cols +
                           (flip_cols ? cols - 1 - source_col : source_col);
    bool missing = std::isnan(raw);
    for (double m : missing_) missing = missing || raw == m;
    if (missing) {
      grid.NoData[at] = 1;
      return;
    }
    const double value = packed_ ? raw * scale_ + offset_ : raw;
    const auto stored = static_cast<float>(value);
    if (std::isinf(stored)) {
      FloatOverflowError error;
      error.AddContext(path_ + ", variable " + var_name_ + ", latitude index " +
                       std::to_string(source_row) + ", longitude index " +
                       std::to_string(source_col));
      throw error;
    }
    grid.Values[at] = stored;
  };
  // Chunk by chunk (the whole variable is one chunk when it is stored
  // contiguously), each chunk in bands of at most ReadOuter x ReadInner
  // values, so that a compressed chunk is unpacked only once.
  for (std::size_t chunk_outer = 0; chunk_outer < outer_length; chunk_outer += plan.ChunkOuter) {
    const std::size_t chunk_outer_end = std::min(outer_length, chunk_outer + plan.ChunkOuter);
    for (std::size_t first_inner = 0; first_inner < inner_length; first_inner += plan.ReadInner) {
      const std::size_t inner = std::min(plan.ReadInner, inner_length - first_inner);
      for (std::size_t first_outer = chunk_outer; first_outer < chunk_outer_end;
           first_outer += plan.ReadOuter) {
        const std::size_t outer = std::min(plan.ReadOuter, chunk_outer_end - first_outer);
        start[outer_pos] = first_outer;
        count[outer_pos] = outer;
        start[inner_pos] = first_inner;
        count[inner_pos] = inner;
        Check(nc_get_vara_double(ncid_, varid_, start.data(), count.data(), block.data()),
              "values of " + var_name_, path_);
        for (std::size_t o = 0; o < outer; ++o) {
          const double* raw = block.data() + o * inner;
          for (std::size_t k = 0; k < inner; ++k) {
            if (lat_first) {
              take(raw[k], first_outer + o, first_inner + k);
            } else {
              take(raw[k], first_inner + k, first_outer + o);
            }
          }
        }
      }
    }
  }
  return grid;
}

}  // namespace

std::unique_ptr<InputSource> OpenNetCdf(const std::string& path, const InputOptions& options) {
  return std::make_unique<NetCdfSource>(path, options);
}

void PrepareReaders() {
  RegisterTiffTags();
  std::lock_guard lock(netcdf_lock);
  nc_initialize();
  H5open();
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

}  // namespace kova::inputs
