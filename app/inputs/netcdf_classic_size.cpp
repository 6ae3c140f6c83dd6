#include "app/inputs/netcdf_classic_size.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <memory>  // the file closed on every way out
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/system_errors.h"

namespace kova::inputs {
namespace {

// The tags of the header's three lists; a list that is absent has tag 0 and
// no elements.
constexpr std::uint32_t kDimensionTag = 0x0A;
constexpr std::uint32_t kVariableTag = 0x0B;
constexpr std::uint32_t kAttributeTag = 0x0C;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

// More dimensions or variables than this are no header to follow here (the
// library itself takes some 800 MB for 4 million dimensions).
constexpr std::uint64_t kMostElements = std::uint64_t{1} << 20;

std::uint64_t Add(std::uint64_t a, std::uint64_t b) {
  return a > kMax - b ? kMax : a + b;
}
std::uint64_t Multiply(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > kMax / a ? kMax : a * b;
}
std::uint64_t PaddedTo4(std::uint64_t n) {
  return n > kMax - 3 ? kMax : (n + 3) / 4 * 4;
}

// Bytes of one value of an external type; 0 for a type that is none.
std::uint64_t TypeBytes(std::uint32_t type) {
  switch (type) {
    case 1:  // byte
    case 2:  // char
    case 7:  // unsigned byte
      return 1;
    case 3:  // short
    case 8:  // unsigned short
      return 2;
    case 4:  // int
    case 5:  // float
    case 9:  // unsigned int
      return 4;
    case 6:   // double
    case 10:  // 64-bit int
    case 11:  // unsigned 64-bit int
      return 8;
    default:
      return 0;
  }
}

// Big-endian numbers of the header, read in turn; once the file ends every
// later read fails too.
class HeaderReader {
 public:
  explicit HeaderReader(std::FILE* file) : file_(file) {}

  bool Number(int bytes, std::uint64_t& value) {
    unsigned char raw[8];
    if (!Bytes(raw, static_cast<std::size_t>(bytes))) return false;
    value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | raw[i];
    return true;
  }
  bool Bytes(unsigned char* data, std::size_t length) {
    if (ended_) return false;
    const std::size_t got = std::fread(data, 1, length, file_);
    at_ += got;
    ended_ = got != length;
    return !ended_;
  }
  bool Skip(std::uint64_t length) {
    // Read rather than sought past: a skip beyond the end must tell.
    unsigned char buffer[4096];
    while (length > 0) {
      const std::size_t part = static_cast<std::size_t>(std::min<std::uint64_t>(length, 4096));
      if (!Bytes(buffer, part)) return false;
      length -= part;
    }
    return true;
  }
  bool Ended() const { return ended_; }
  std::uint64_t At() const { return at_; }

 private:
  std::FILE* file_;
  std::uint64_t at_ = 0;
  bool ended_ = false;
};

struct Variable {
  bool record = false;
  std::uint64_t bytes = 0;  // of its values (of one record, for a record variable)
  std::uint64_t begin = 0;
};

// The header after its first four bytes; false when it is not one to follow
// or ends early (reader.Ended() tells which).
bool ReadHeader(HeaderReader& in, int version, std::uint64_t& records,
                std::vector<Variable>& variables) {
  const int size_bytes = version == 5 ? 8 : 4;    // counts and lengths
  const int offset_bytes = version == 1 ? 4 : 8;  // where values begin
  auto name = [&] {
    std::uint64_t length = 0;
    return in.Number(size_bytes, length) && in.Skip(PaddedTo4(length));
  };
  auto list = [&](std::uint32_t wanted, std::uint64_t& count) {
    std::uint64_t tag = 0;
    if (!in.Number(4, tag) || !in.Number(size_bytes, count)) return false;
    return tag == wanted || (tag == 0 && count == 0);
  };
  auto attributes = [&] {
    std::uint64_t count = 0;
    if (!list(kAttributeTag, count)) return false;
    for (std::uint64_t i = 0; i < count; ++i) {
      std::uint64_t type = 0, values = 0;
      if (!name() || !in.Number(4, type) || !in.Number(size_bytes, values)) return false;
      const std::uint64_t bytes = TypeBytes(static_cast<std::uint32_t>(type));
      if (bytes == 0 || !in.Skip(PaddedTo4(Multiply(values, bytes)))) return false;
    }
    return true;
  };

  if (!in.Number(size_bytes, records)) return false;
  std::uint64_t count = 0;
  if (!list(kDimensionTag, count) || count > kMostElements) return false;
  std::vector<std::uint64_t> dimensions;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t length = 0;
    if (!name() || !in.Number(size_bytes, length)) return false;
    dimensions.push_back(length);
  }
  if (!attributes() || !list(kVariableTag, count) || count > kMostElements) return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    Variable variable;
    std::uint64_t rank = 0;
    if (!name() || !in.Number(size_bytes, rank)) return false;
    std::uint64_t values = 1;
    for (std::uint64_t k = 0; k < rank; ++k) {
      std::uint64_t id = 0;
      if (!in.Number(size_bytes, id) || id >= dimensions.size()) return false;
      // Only the first dimension may be the record dimension (length 0).
      if (dimensions[id] == 0 && k == 0) {
        variable.record = true;
      } else {
        values = Multiply(values, dimensions[id]);
      }
    }
    std::uint64_t type = 0, size = 0;
    if (!attributes() || !in.Number(4, type) || !in.Number(size_bytes, size) ||
        !in.Number(offset_bytes, variable.begin)) {
      return false;
    }
    const std::uint64_t bytes = TypeBytes(static_cast<std::uint32_t>(type));
    if (bytes == 0) return false;
    variable.bytes = Multiply(values, bytes);
    variables.push_back(variable);
  }
  return true;
}

}  // namespace

std::optional<ClassicLayout> ReadClassicLayout(std::FILE* file) {
  HeaderReader in(file);
  unsigned char magic[4];
  if (!in.Bytes(magic, 4) || magic[0] != 'C' || magic[1] != 'D' || magic[2] != 'F' ||
      (magic[3] != 1 && magic[3] != 2 && magic[3] != 5)) {
    return std::nullopt;
  }
  std::uint64_t records = 0;
  std::vector<Variable> variables;
  ClassicLayout layout;
  if (!ReadHeader(in, magic[3], records, variables)) {
    if (!in.Ended()) return std::nullopt;
    layout.header_bytes = in.At();
    return layout;
  }
  layout.header_complete = true;
  layout.header_bytes = in.At();
  layout.declared_bytes = layout.header_bytes;
  // A file still being written says "streaming" in place of its record count;
  // its records are whatever it holds.
  const bool streaming = records == (magic[3] == 5 ? kMax : 0xFFFFFFFFu);
  // A record holds every record variable's values, each padded to 4 bytes;
  // with a single record variable the records are not padded.
  std::uint64_t record_bytes = 0;
  const auto record_variables =
      std::count_if(variables.begin(), variables.end(), [](const Variable& v) { return v.record; });
  for (const Variable& variable : variables) {
    if (!variable.record) continue;
    record_bytes =
        Add(record_bytes, record_variables == 1 ? variable.bytes : PaddedTo4(variable.bytes));
  }
  for (const Variable& variable : variables) {
    std::uint64_t end = Add(variable.begin, variable.bytes);
    if (variable.record) {
      if (streaming || records == 0) continue;
      end = Add(end, Multiply(records - 1, record_bytes));
    }
    layout.declared_bytes = std::max(layout.declared_bytes, end);
  }
  return layout;
}

std::string WithThousands(std::uint64_t number) {
  const std::string digits = std::to_string(number);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

void CheckClassicNetCdfSize(const std::string& path) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
  if (!file) ThrowFileErrorFromErrno(errno, path);
  const std::optional<ClassicLayout> layout = ReadClassicLayout(file.get());
  std::uint64_t size = 0;
  if (layout && std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long end = std::ftell(file.get());
    size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
  }
  if (!layout) return;
  // Built by appending: GCC 12 warns wrongly (-Wrestrict) on a chain of "+".
  std::string message;
  if (!layout->header_complete) {
    message = "The NetCDF file is damaged or cut short: its header runs past the end of the file (";
    message += WithThousands(size);
    message += " bytes)";
  } else if (size < layout->declared_bytes) {
    message = "The NetCDF file is cut short: ";
    message += WithThousands(size);
    message += " of the ";
    message += WithThousands(layout->declared_bytes);
    message += " bytes its header declares";
  } else {
    return;
  }
  ConversionError error(message);
  error.AddContext(path);
  throw error;
}

}  // namespace kova::inputs
