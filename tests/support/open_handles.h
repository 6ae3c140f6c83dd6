// How many files the process holds open: its file descriptors (on Windows:
// the C runtime's, which hold the platform layer's file handles).
#pragma once

#ifdef _WIN32
#include <io.h>  // _get_osfhandle
#else
#include <filesystem>
#endif

namespace kova::testing {

inline int OpenDescriptorCount() {
#ifdef _WIN32
  // The C runtime's descriptors, which the platform layer's files are.
  int count = 0;
  for (int fd = 0; fd < 2048; ++fd) {
    if (::_get_osfhandle(fd) != -1) ++count;
  }
  return count;
#else
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
#endif
}

}  // namespace kova::testing
