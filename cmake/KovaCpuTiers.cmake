# Per-source instruction-set flags for the kernel sources of a tier (see
# app/platform/base/cpu_tier.h): kova_tier_sources(SSSE3 a.cpp AVX2 b.cpp ...)
# compiles each source named after a tier with that tier's flags, on x86
# with GCC or Clang (the Linux and the mingw-w64 builds alike). The rest of
# the code keeps the baseline flags and reaches these sources only through
# a dispatch that asks the processor first.
include_guard(GLOBAL)

function(kova_tier_sources)
  cmake_parse_arguments(PARSE_ARGV 0 TIER "" "" "SSSE3;AVX2")
  if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86|X86|AMD64|amd64|i[3-6]86)")
    return()  # the kernel sources compile to nothing there
  endif()
  set(flags_SSSE3 -mssse3)
  set(flags_AVX2 -mavx2 -mbmi -mbmi2)
  foreach(tier SSSE3 AVX2)
    foreach(source IN LISTS TIER_${tier})
      set_property(SOURCE ${source} APPEND PROPERTY COMPILE_OPTIONS ${flags_${tier}})
    endforeach()
  endforeach()
endfunction()
