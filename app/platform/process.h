// The running program's own location and the process's current directory.
#pragma once

#include <string>

namespace kova {

// Absolute path of the running program.
std::string ProgramPath();

// The directory of the running program, with a trailing "/".
std::string ProgramDirectory();

// The process's current directory, absolute, without a trailing "/" (except
// for the root itself).
std::string CurrentDirectory();

// Makes `directory` the process's current directory. Raises FileError 2 when
// only its last component is missing, 3 when a directory above it is missing
// too (or a component is not a directory), 5 when access is denied.
void SetCurrentDirectory(const std::string& directory);

}  // namespace kova
