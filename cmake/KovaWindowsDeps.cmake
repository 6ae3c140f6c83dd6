# The libraries the Windows programs and the reader module link statically:
# libspng for the programs; libtiff, libgeotiff, PROJ, HDF5 and NetCDF-C for
# the readers. tools/build-windows-deps.sh builds them once per target and
# compiler into a cache folder outside the build tree; this module runs it (a
# cached folder comes back at once) and makes imported targets of them:
#
#   Kova::spng                 PNG files (with Debian's mingw-w64 zlib)
#   Kova::tiff                 libtiff, with libdeflate, zstd and zlib
#   Kova::proj                 PROJ, with SQLite; its database lies in
#                              KOVA_WINDOWS_PROJ_DATA_DIR (proj.db)
#   Kova::geotiff              libgeotiff over Kova::tiff and Kova::proj
#                              (only where KOVA_WINDOWS_HAVE_GEOTIFF)
#   Kova::hdf5, Kova::hdf5_hl  HDF5's C and high-level libraries
#   Kova::netcdf               NetCDF-C over Kova::hdf5_hl and Kova::hdf5
#
# Each carries its include folder, the libraries beneath it and the Win32
# system libraries it calls, so linking the top one is enough.
#
# KOVA_WINDOWS_DEPS_DIR names a folder made by that script; left empty, the
# script is run for the compiler's target and the folder it prints is taken.
include_guard(GLOBAL)

set(KOVA_WINDOWS_DEPS_DIR "" CACHE PATH
    "Folder of the Windows libraries from tools/build-windows-deps.sh (empty: run the script)")

if(KOVA_WINDOWS_DEPS_DIR)
  set(_kova_deps ${KOVA_WINDOWS_DEPS_DIR})
else()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine
                  OUTPUT_VARIABLE _kova_target OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  message(STATUS "Windows libraries for ${_kova_target}: tools/build-windows-deps.sh "
                 "(a first run builds them, which takes a while)")
  # Without the readers, only what the programs link.
  set(_kova_which "")
  if(NOT KOVA_BUILD_READERS)
    set(_kova_which programs)
  endif()
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/build-windows-deps.sh ${_kova_target} ${_kova_which}
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
message(STATUS "Windows libraries: ${_kova_deps}; zlib: ${KOVA_MINGW_ZLIB}")

# NAME LIBRARY [DEFINITIONS ...] [LINK ...]: Kova::NAME from lib/LIBRARY.
function(_kova_windows_library name library)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "DEFINITIONS;LINK")
  if(NOT EXISTS ${_kova_deps}/lib/${library})
    message(FATAL_ERROR "${_kova_deps} holds no lib/${library}: remove the folder and configure again")
  endif()
  add_library(Kova::${name} STATIC IMPORTED GLOBAL)
  set_target_properties(Kova::${name} PROPERTIES
    IMPORTED_LOCATION ${_kova_deps}/lib/${library}
    INTERFACE_INCLUDE_DIRECTORIES ${_kova_deps}/include
    INTERFACE_COMPILE_DEFINITIONS "${arg_DEFINITIONS}"
    INTERFACE_LINK_LIBRARIES "${arg_LINK}")
endfunction()

# SPNG_STATIC drops the DLL import marks from libspng's header.
_kova_windows_library(spng libspng.a DEFINITIONS SPNG_STATIC LINK ${KOVA_MINGW_ZLIB})

# The readers' libraries, where the build has the readers.
if(KOVA_BUILD_READERS)
  _kova_windows_library(deflate libdeflate.a)
  _kova_windows_library(zstd libzstd.a)
  _kova_windows_library(tiff libtiff.a LINK Kova::deflate Kova::zstd ${KOVA_MINGW_ZLIB})
  _kova_windows_library(sqlite3 libsqlite3.a)
  # PROJ finds the folder of the user's own files through the shell (ole32,
  # shell32).
  _kova_windows_library(proj libproj.a LINK Kova::sqlite3 ole32 shell32)
  if(EXISTS ${_kova_deps}/lib/libgeotiff.a)
    set(KOVA_WINDOWS_HAVE_GEOTIFF ON)
    _kova_windows_library(geotiff libgeotiff.a LINK Kova::proj Kova::tiff)
  else()
    set(KOVA_WINDOWS_HAVE_GEOTIFF OFF)
    message(WARNING "${_kova_deps} holds no libgeotiff (its source could not be fetched): "
                    "there is no Kova::geotiff")
  endif()
  _kova_windows_library(hdf5 libhdf5.a LINK ${KOVA_MINGW_ZLIB} shlwapi)
  _kova_windows_library(hdf5_hl libhdf5_hl.a LINK Kova::hdf5)
  _kova_windows_library(netcdf libnetcdf.a LINK Kova::hdf5_hl Kova::hdf5 ${KOVA_MINGW_ZLIB})
  # PROJ's database and data files, to ship beside the reader module.
  set(KOVA_WINDOWS_PROJ_DATA_DIR ${_kova_deps}/share/proj CACHE INTERNAL "")
  if(NOT EXISTS ${KOVA_WINDOWS_PROJ_DATA_DIR}/proj.db)
    message(FATAL_ERROR "${_kova_deps} holds no share/proj/proj.db")
  endif()
endif()

# The licence texts of what the programs carry inside, for the packages.
set(KOVA_WINDOWS_LICENSES_DIR ${_kova_deps}/licenses CACHE INTERNAL "")
