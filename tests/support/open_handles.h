// How many files the process holds open: its file descriptors on Linux, its
// handles on Windows (which counts other handles too, but only the change
// between two counts is ever looked at).
#pragma once

#ifdef _WIN32
#include "app/platform/win32/wide.h"  // windows.h
#else
#include <filesystem>
#endif

namespace kova::testing {

inline int OpenDescriptorCount() {
#ifdef _WIN32
  DWORD handles = 0;
  ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
  return static_cast<int>(handles);
#else
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
#endif
}

}  // namespace kova::testing
