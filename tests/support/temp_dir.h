// A fresh temporary folder for one test, removed with everything in it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/platform/paths.h"

namespace kova::testing {

// A folder's path that also passes as the program's UTF-8 text, as a
// std::filesystem::path does by itself on Linux.
class TestPath : public std::filesystem::path {
 public:
  using std::filesystem::path::path;
  TestPath(std::filesystem::path path) : std::filesystem::path(std::move(path)) {}
#ifdef _WIN32
  operator std::string() const {
    return Utf8Path(*this);
  }
#endif
};

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    for (;;) {
      path_ = std::filesystem::temp_directory_path() /
              ("kova-test-" + std::to_string(rd()) + std::to_string(rd()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const TestPath& path() const { return path_; }
  // The name of `name` in the folder, with the system's own separators.
  std::string file(const std::string& name) const {
    return Utf8Path((path_ / FileSystemPath(name)).make_preferred());
  }

 private:
  TestPath path_;
};

// `path` with the system's own separators ("/" becomes "\\" on Windows), for
// names as the programs print them.
inline std::string Native(std::string path) {
#ifdef _WIN32
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
#endif
  return path;
}

inline std::vector<std::uint8_t> ReadAllBytes(const std::string& path) {
  std::ifstream in(FileSystemPath(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAllBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(FileSystemPath(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// The names of the files in `folder`, sorted; with `extension` (".img"),
// those that end so.
inline std::vector<std::string> FileNames(const std::filesystem::path& folder,
                                          const std::string& extension = "") {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (extension.empty() || entry.path().extension() == extension) {
      names.push_back(Utf8Path(entry.path().filename()));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(FileSystemPath(path), std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace kova::testing
