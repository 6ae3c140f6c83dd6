// File-name pieces. The directory separator is "/"; "\" and ":" are ordinary
// characters of a Linux file name.
#pragma once

#include <string>

namespace kova {

// The name without its directory part.
std::string FileNameOf(const std::string& path);

// The directory and the name joined with one "/".
std::string JoinPath(const std::string& directory, const std::string& name);

// The file name with its extension replaced: everything from the last "."
// of the name part on is dropped (a name without "." keeps all of it) and
// `extension` is appended.
std::string ChangeFileExt(const std::string& path, const std::string& extension);

}  // namespace kova
