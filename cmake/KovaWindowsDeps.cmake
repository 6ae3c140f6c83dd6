# libspng for the Windows programs, linked statically with Debian's mingw-w64
# zlib. tools/build-windows-deps.sh builds it once per target and compiler
# into a cache folder outside the build tree; this module runs it (a cached
# folder comes back at once) and makes the imported target Kova::spng.
#
# KOVA_WINDOWS_DEPS_DIR names a folder made by that script (include/spng.h,
# lib/libspng.a, licenses/); left empty, the script is run for the compiler's
# target and the folder it prints is taken.
set(KOVA_WINDOWS_DEPS_DIR "" CACHE PATH
    "Folder of the Windows libraries from tools/build-windows-deps.sh (empty: run the script)")

if(KOVA_WINDOWS_DEPS_DIR)
  set(_kova_deps ${KOVA_WINDOWS_DEPS_DIR})
else()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
                  OUTPUT_VARIABLE _kova_target OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/build-windows-deps.sh ${_kova_target}
                  OUTPUT_VARIABLE _kova_out OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _kova_result)
  if(NOT _kova_result EQUAL 0)
    message(FATAL_ERROR "tools/build-windows-deps.sh ${_kova_target} failed (${_kova_result})")
  endif()
  # The folder is the last line the script prints.
  string(REGEX REPLACE "^.*\n" "" _kova_deps "${_kova_out}")
endif()

if(NOT EXISTS ${_kova_deps}/lib/libspng.a OR NOT EXISTS ${_kova_deps}/include/spng.h)
  message(FATAL_ERROR "${_kova_deps} holds no libspng (lib/libspng.a, include/spng.h)")
endif()
# The static zlib: the import library libz.dll.a beside it would make the
# programs need zlib1.dll.
find_library(KOVA_MINGW_ZLIB NAMES libz.a REQUIRED)
message(STATUS "libspng for Windows: ${_kova_deps}; zlib: ${KOVA_MINGW_ZLIB}")

add_library(Kova::spng STATIC IMPORTED GLOBAL)
set_target_properties(Kova::spng PROPERTIES
  IMPORTED_LOCATION ${_kova_deps}/lib/libspng.a
  INTERFACE_INCLUDE_DIRECTORIES ${_kova_deps}/include
  INTERFACE_COMPILE_DEFINITIONS SPNG_STATIC
  INTERFACE_LINK_LIBRARIES ${KOVA_MINGW_ZLIB})
# The licence texts of what the programs carry inside, for the packages.
set(KOVA_WINDOWS_LICENSES_DIR ${_kova_deps}/licenses CACHE INTERNAL "")
