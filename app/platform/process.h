// The running program's own location, the process's current directory and
// the memory it may still take.
#pragma once

#include <cstdint>
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

// True when `bytes` more memory than the process can still take would be
// needed: more than the smaller of the system's available memory with free
// swap and the free room below the memory limit of its control group. The
// system overcommits memory, so that such an allocation may succeed and the
// process be killed later when it touches the pages; a large grid or buffer
// is therefore measured against this first (a limit on the address space
// makes the allocation itself fail instead). Requests of 64 MB or less are
// not measured, nor any when the figures cannot be read.
bool ExceedsMemoryLeft(std::uint64_t bytes);

}  // namespace kova
