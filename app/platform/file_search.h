// The file search of a pattern run: regular files of one directory whose
// names match one or more wildcard masks.
#pragma once

#include <string>
#include <vector>

namespace kova {

// True when `name` matches `mask`: "*" stands for any run of characters, "?"
// for exactly one, every other character for itself regardless of letter case.
bool MatchesMask(const std::string& name, const std::string& mask);

// Names (without directory) of the regular files in `directory`, links
// followed, that match `masks`: masks separated by ";" are matched in turn and
// all matches go into one list, so a file that two masks match is listed
// twice. Hidden files (name starting with ".") and directories are left out.
// The list is sorted ascending with letter case ignored, ties broken byte-wise.
// A directory that cannot be read raises its FileError.
std::vector<std::string> FindFiles(const std::string& directory, const std::string& masks);

// The names of `files` that match `masks`, listed and sorted as FindFiles
// lists them.
std::vector<std::string> MatchingFiles(const std::vector<std::string>& files,
                                       const std::string& masks);

// The ordering of FindFiles: true when `a` sorts before `b`.
bool FileNameLess(const std::string& a, const std::string& b);

}  // namespace kova
