// The running program's own location, the process's current directory and
// the memory it may still take.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kova {

// Absolute path of the running program.
std::string ProgramPath();

// The directory of the running program, with a trailing separator.
std::string ProgramDirectory();

// The process's current directory, absolute, without a trailing separator
// (except for the root itself).
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

// The program's arguments as UTF-8 text, the program name first. Linux
// passes them as they are; Windows takes them from the wide command line,
// so that names outside the user's code page arrive intact.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes the console show UTF-8 text and the progress line's escape codes
// (Windows); nothing to do elsewhere.
void PrepareConsole();

// True when standard error is a terminal or console window.
bool StandardErrorIsTerminal();

// The number of processors online; 0 when it cannot be told.
unsigned OnlineProcessorCount();

}  // namespace kova
