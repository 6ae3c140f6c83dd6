// File-name pieces. On Linux the directory separator is "/", and "\" and ":"
// are ordinary characters of a file name; on Windows "\" and "/" both
// separate, a drive letter's ":" ends the directory part, and "\\server\share"
// starts a network path. Names are UTF-8 text on both systems.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace kova {

// True when `c` separates directories on this system.
bool IsPathSeparator(char c);

// How many characters of `path` belong to its directory part (with its
// final separator or drive colon); 0 for a bare name.
std::size_t DirectoryPartLength(const std::string& path);

// True when `path` does not depend on the current directory ("/x" on Linux;
// "C:\x", "\x" or "\\server\share\x" on Windows).
bool IsAbsolutePath(const std::string& path);

// How many leading characters of `path` are the Windows long-path prefix
// "\\?\" (4 on Windows when it is there, else 0).
std::size_t LongPathPrefixLength(const std::string& path);

// The name without its directory part.
std::string FileNameOf(const std::string& path);

// The directory and the name joined with one separator ("/"; "\" on Windows
// unless the directory already ends in either).
std::string JoinPath(const std::string& directory, const std::string& name);

// The file name with its extension replaced: everything from the last "."
// of the name part on is dropped (a name without "." keeps all of it) and
// `extension` is appended.
std::string ChangeFileExt(const std::string& path, const std::string& extension);

// A UTF-8 name as a std::filesystem path, and back. (On Windows a path made
// from a plain std::string would take it in the ANSI code page.)
std::filesystem::path FileSystemPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

}  // namespace kova
