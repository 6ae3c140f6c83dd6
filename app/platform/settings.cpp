#include "app/platform/settings.h"

#include <fcntl.h>     // open
#include <stdlib.h>    // mkstemp
#include <sys/stat.h>  // stat, fchmod
#include <unistd.h>    // write, close, rename, unlink

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "app/platform/errors.h"

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

// The lines of the file without their line feeds; nothing when it cannot be read.
std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

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

// Writes all of `content` to the open descriptor and closes it; false when
// any of it failed.
bool WriteAndClose(int fd, const std::string& content) {
  std::size_t done = 0;
  bool ok = true;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}

// Replaces the file's content. The new content goes to a fresh file beside
// it that then takes the file's place, so a failed write (a full disk) never
// leaves the settings half written; where no file can be made beside it, the
// file is rewritten in place.
void WriteWhole(const std::string& path, const std::string& content) {
  std::error_code ec;
  std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
  if (ec) target = path;  // a link is replaced at its target, not by a file
  std::string temporary = target.string() + ".XXXXXX";
  const int temp_fd = ::mkstemp(temporary.data());
  if (temp_fd >= 0) {
    struct stat existing {};
    ::fchmod(temp_fd, ::stat(target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : 0644);
    if (WriteAndClose(temp_fd, content) && ::rename(temporary.c_str(), target.c_str()) == 0) return;
    ::unlink(temporary.c_str());
    throw SettingsWriteError(FullPath(path));
  }
  const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || !WriteAndClose(fd, content)) throw SettingsWriteError(FullPath(path));
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value) {
  auto lines = ReadLines(path);
  if (!lines) return default_value.substr(0, kProfileValueLimit);
  bool in_section = false;
  for (const std::string& line : *lines) {
    if (auto name = SectionOf(line)) {
      in_section = SameName(*name, section);
      continue;
    }
    std::string entry_key;
    std::string entry_value;
    if (in_section && SplitEntry(line, entry_key, entry_value) && SameName(entry_key, key)) {
      return Trim(entry_value).substr(0, kProfileValueLimit);
    }
  }
  return default_value.substr(0, kProfileValueLimit);
}

void WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  std::vector<std::string> lines = ReadLines(path).value_or(std::vector<std::string>{});
  const std::string entry = key + "=" + value;

  bool in_section = false;
  bool section_found = false;
  std::size_t insert_at = lines.size();  // behind the last entry of the section
  bool done = false;
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
    if (auto name = SectionOf(lines[i])) {
      if (in_section) break;  // the section ended without the key
      in_section = SameName(*name, section);
      if (in_section) {
        section_found = true;
        insert_at = i + 1;
      }
      continue;
    }
    if (!in_section) continue;
    std::string entry_key;
    std::string entry_value;
    if (SplitEntry(lines[i], entry_key, entry_value) && SameName(entry_key, key)) {
      lines[i] = entry;
      done = true;
    } else if (!Trim(lines[i]).empty()) {
      insert_at = i + 1;
    }
  }
  if (!done) {
    if (section_found) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), entry);
    } else {
      lines.push_back("[" + section + "]");
      lines.push_back(entry);
    }
  }

  std::string content;
  for (const std::string& line : lines) content += line + "\n";
  WriteWhole(path, content);
}

}  // namespace kova
