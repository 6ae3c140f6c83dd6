#include "app/platform/settings.h"

#include <sys/stat.h>  // stat
#include <unistd.h>    // access

#include <algorithm>
#include <cstdint>
#include <cstring>  // memchr
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "app/platform/base/errors.h"
#include "app/platform/safe_output.h"

namespace kova {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string Trim(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Of each line at most this many characters are looked at; the rest of a
// longer line is skipped when reading and copied unseen when rewriting, so
// that an oversized settings file costs time, not memory.
constexpr std::size_t kLineKept = 64 * 1024;
constexpr std::size_t kChunk = 64 * 1024;

// One line of the file: its first characters and where it lies.
struct Line {
  std::string kept;         // at most kLineKept characters, without the line feed
  std::uint64_t start = 0;  // offset of its first byte
  std::uint64_t end = 0;    // offset behind it, behind its line feed if any
  bool ended = false;       // ended by a line feed
};

// Reads a file line by line through one fixed buffer.
class LineReader {
 public:
  explicit LineReader(const std::string& path) : buffer_(kChunk) {
    std::error_code ec;
    // Only a regular file is read: a device or a FIFO would never end.
    if (std::filesystem::is_regular_file(path, ec)) in_.open(path, std::ios::binary);
  }
  bool IsOpen() const { return in_.is_open(); }

  // The next line; false at the end of the file.
  bool Next(Line& line) {
    line.kept.clear();
    line.start = offset_;
    line.ended = false;
    bool any = false;
    for (;;) {
      if (pos_ == size_ && !Refill()) break;
      any = true;
      const char* begin = buffer_.data() + pos_;
      const auto* feed = static_cast<const char*>(std::memchr(begin, '\n', size_ - pos_));
      const std::size_t n = feed ? static_cast<std::size_t>(feed - begin) : size_ - pos_;
      if (line.kept.size() < kLineKept) {
        line.kept.append(begin, std::min(n, kLineKept - line.kept.size()));
      }
      pos_ += n;
      offset_ += n;
      if (feed) {
        ++pos_;
        ++offset_;
        line.ended = true;
        break;
      }
    }
    line.end = offset_;
    return any;
  }

 private:
  bool Refill() {
    if (!in_) return false;
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    size_ = static_cast<std::size_t>(in_.gcount());
    pos_ = 0;
    return size_ != 0;
  }

  std::ifstream in_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t size_ = 0;
  std::uint64_t offset_ = 0;
};

// The section name of a "[name]" line.
std::optional<std::string> SectionOf(const std::string& line) {
  std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
  std::size_t close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

// The key of a "key=value" line, and the value behind the "=".
bool SplitEntry(const std::string& line, std::string& key, std::string& value) {
  std::size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  key = Trim(line.substr(0, equals));
  value = line.substr(equals + 1);
  return true;
}

std::string FullPath(const std::string& path) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  return ec ? path : full.string();
}

// `text` as a line of its own: a line feed behind it, and one before it when
// it follows a last line that has none.
std::string AsLine(bool after_unended_line, const std::string& text) {
  std::string result;
  if (after_unended_line) result += '\n';
  result += text;
  result += '\n';
  return result;
}

// A change of the file: the bytes from `from` to `to` give way to `text`.
struct Edit {
  std::uint64_t from = 0;
  std::uint64_t to = 0;
  std::string text;
};

// Where `key=value` goes into the file at `path` (a missing file is empty).
Edit PlanEdit(const std::string& path, const std::string& section, const std::string& key,
              const std::string& entry) {
  LineReader reader(path);
  Line line;
  bool in_section = false;
  bool section_found = false;
  Edit insert;             // behind the last entry of the section
  bool last_ended = true;  // the file so far ends with a line feed (or is empty)
  std::uint64_t size = 0;
  while (reader.Next(line)) {
    last_ended = line.ended;
    size = line.end;
    if (auto name = SectionOf(line.kept)) {
      if (in_section) break;  // the section ended without the key
      in_section = SameName(*name, section);
      if (in_section) {
        section_found = true;
        insert = {line.end, line.end, AsLine(!line.ended, entry)};
      }
      continue;
    }
    if (!in_section) continue;
    std::string entry_key;
    std::string entry_value;
    if (SplitEntry(line.kept, entry_key, entry_value) && SameName(entry_key, key)) {
      return {line.start, line.end, AsLine(false, entry)};
    }
    if (!Trim(line.kept).empty()) {
      insert = {line.end, line.end, AsLine(!line.ended, entry)};
    }
  }
  if (section_found) return insert;
  return {size, size, AsLine(!last_ended, "[" + section + "]") + AsLine(false, entry)};
}

// Copies the bytes of `in` up to offset `to` into `out`.
bool CopyUpTo(std::ifstream& in, std::uint64_t to, std::uint64_t& at, SafeOutput& out,
              std::vector<char>& buffer) {
  while (at < to) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(to - at, buffer.size()));
    if (!in.read(buffer.data(), static_cast<std::streamsize>(n))) return false;
    out.Write(buffer.data(), n);
    at += n;
  }
  return true;
}

// True when `path` exists and its owner made it read-only (no write
// permission for the owner), or this user may not write it (a read-only file
// system included). The owner's choice holds even for a process that could
// write the file regardless.
bool IsReadOnly(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & S_IWUSR) == 0 || ::access(path.c_str(), W_OK) != 0;
}

// The settings file is replaced by a new file in its folder: both must be
// writable. A link is followed to the file it points to.
bool CannotBeReplaced(const std::string& path) {
  std::error_code ec;
  std::filesystem::path file = std::filesystem::weakly_canonical(path, ec);
  if (ec) file = path;
  std::filesystem::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  return IsReadOnly(file.string()) || IsReadOnly(folder.string());
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value) {
  LineReader reader(path);
  Line line;
  bool in_section = false;
  while (reader.Next(line)) {
    if (auto name = SectionOf(line.kept)) {
      in_section = SameName(*name, section);
      continue;
    }
    std::string entry_key;
    std::string entry_value;
    if (in_section && SplitEntry(line.kept, entry_key, entry_value) && SameName(entry_key, key)) {
      return Trim(entry_value).substr(0, kProfileValueLimit);
    }
  }
  return default_value.substr(0, kProfileValueLimit);
}

void WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  if (path.empty() || CannotBeReplaced(path)) throw SettingsWriteError(FullPath(path));
  const Edit edit = PlanEdit(path, section, key, key + "=" + value);
  try {
    // The new file is written beside the old one and takes its place whole,
    // so that a failure (a full disk) never leaves the settings half written.
    SafeOutput out(path);
    std::vector<char> buffer(kChunk);
    std::uint64_t at = 0;
    std::ifstream in;
    if (edit.to != 0 || edit.from != 0) {
      in.open(path, std::ios::binary);
      if (!in || !CopyUpTo(in, edit.from, at, out, buffer))
        throw SettingsWriteError(FullPath(path));
    }
    out.Write(edit.text.data(), edit.text.size());
    if (in.is_open()) {
      in.seekg(static_cast<std::streamoff>(edit.to));
      at = edit.to;
      // The rest of the file, whatever its length, as it is.
      while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
             in.gcount() > 0) {
        out.Write(buffer.data(), static_cast<std::size_t>(in.gcount()));
      }
      if (in.bad()) throw SettingsWriteError(FullPath(path));
    }
    out.Commit();
  } catch (const FileError&) {
    throw SettingsWriteError(FullPath(path));
  } catch (const RefusedFileError&) {
    throw SettingsWriteError(FullPath(path));
  }
}

}  // namespace kova
