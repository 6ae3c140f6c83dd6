// The settings file: a text file of "[section]" lines, each followed by
// "key=value" lines. Section and key names match without regard to letter
// case; every other line of the file is kept as it is.
#pragma once

#include <cstddef>
#include <string>

namespace kova {

// At most this many characters of a value come back from a read.
inline constexpr std::size_t kProfileValueLimit = 2047;

// The value of `key` in `section`, or `default_value` when the file, the
// section or the key is missing. Surrounding blanks are removed and the value
// is cut to kProfileValueLimit characters. Reading never creates the file.
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& default_value = "");

// Sets `key` in `section` to `value`, creating the file, the section and the
// key as needed and keeping everything else. Raises SettingsWriteError with
// the full path when the file cannot be written.
void WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace kova
