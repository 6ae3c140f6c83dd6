#!/usr/bin/env bash
# Builds the libraries the Windows programs and the Windows reader module link
# statically and that Debian does not ship for mingw-w64, each from Debian's
# own source package of the version the Linux build uses (the installed -dev
# package's source version), against Debian's mingw-w64 zlib:
#
#   libspng      the PNG previews of the programs
#   libdeflate, zstd, libtiff (deflate, zstd, LZW, PackBits, CCITT, PixarLog;
#                no JPEG, JBIG, LERC, LZMA, WebP)
#   SQLite, PROJ (with its proj.db), libgeotiff
#   HDF5 (C and high-level libraries), NetCDF-C (NetCDF-4, no DAP, byte-range,
#                NCZarr, plugins)
#
#   tools/build-windows-deps.sh TARGET
#
# TARGET is i686-w64-mingw32 or x86_64-w64-mingw32. The result lands in a
# cache folder outside the work tree, one per target, recipe, set of library
# versions and compiler version:
#
#   ${XDG_CACHE_HOME:-$HOME/.cache}/tarvo2kova/windows-deps/
#     src/NAME-VERSION/        unpacked Debian sources, shared by both targets
#     wine/TARGET/             the Wine prefix configure checks run their
#                              test programs in
#     TARGET-rRECIPE-HASH-gccVERSION/
#       include/ lib/*.a       headers and static libraries
#       share/proj/proj.db     PROJ's database (and its other data files)
#       licenses/*.txt         Debian's copyright file of each library, those
#                              of zlib and the compiler's runtime, GPL-3
#       versions.txt           the Debian source version each library was
#                              built from
#       build-times.txt        seconds each library took to build
#       .done-NAME             one per library built, so that an interrupted
#                              run goes on where it stopped
#       .complete              written last
#
# HASH is taken over the versions of the Linux -dev packages. A folder that is
# complete is used as it is, so a second run takes no time. The last line
# printed on standard output is the folder (the Windows CMake build reads it);
# everything else goes to standard error. Fetching the sources needs deb-src
# entries for the Debian release: they are added for bookworm when missing (as
# root, or through sudo). Where Debian's mirror no longer offers the exact
# source revision (a security update replaced by the next), the newest
# revision it offers of the same upstream version is taken and named in
# versions.txt.
set -euo pipefail
# The whole script is one group, read before it runs: editing the file while
# a build runs does not change that build.
{

die() {
  echo "build-windows-deps: $*" >&2
  exit 1
}
note() { echo "build-windows-deps: $*" >&2; }

target="${1:-}"
case "$target" in
  i686-w64-mingw32 | x86_64-w64-mingw32) ;;
  *) echo "usage: tools/build-windows-deps.sh i686-w64-mingw32|x86_64-w64-mingw32 [programs]" >&2; exit 2 ;;
esac
# "programs": only what the programs link (libspng), for a build without the
# GeoTIFF and NetCDF readers; it has a cache folder of its own.
only_programs=""
case "${2:-}" in
  "") ;;
  programs) only_programs=1 ;;
  *) echo "usage: tools/build-windows-deps.sh i686-w64-mingw32|x86_64-w64-mingw32 [programs]" >&2; exit 2 ;;
esac
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
toolchain="$here/../cmake/toolchains/$target.cmake"
[ -f "$toolchain" ] || die "no toolchain file $toolchain"

# Raised when the way the libraries are built changes, so that old caches are
# not taken for new ones.
recipe=2

cc="$(command -v "$target-gcc-posix" || command -v "$target-gcc" || true)"
[ -n "$cc" ] || die "no C compiler for $target (Debian package gcc-mingw-w64-${target%%-*}-posix)"
ar="$(command -v "$target-ar" || true)"
[ -n "$ar" ] || die "no $target-ar (Debian package binutils-mingw-w64)"
zlib="/usr/$target/lib/libz.a"
if [ ! -f "$zlib" ] || [ ! -f "/usr/$target/include/zlib.h" ]; then
  die "no zlib for $target (Debian package libz-mingw-w64-dev)"
fi

# The libraries: NAME, the Linux -dev package whose source version is built.
libraries=(
  "spng libspng-dev"
  "deflate libdeflate-dev"
  "zstd libzstd-dev"
  "tiff libtiff-dev"
  "sqlite libsqlite3-dev"
  "proj libproj-dev"
  "geotiff libgeotiff-dev"
  "hdf5 libhdf5-dev"
  "netcdf libnetcdf-dev"
)
[ -z "$only_programs" ] || libraries=("spng libspng-dev")
declare -A source_package source_version
key=""
for entry in "${libraries[@]}"; do
  name="${entry%% *}"
  dev="${entry#* }"
  info="$(dpkg-query -W -f='${source:Package} ${source:Version}' "$dev" 2>/dev/null || true)"
  [ -n "$info" ] || die "$dev is not installed, so there is no version to match"
  source_package[$name]="${info%% *}"
  source_version[$name]="${info#* }"
  key+="$name ${source_version[$name]}"$'\n'
done
key="${key%$'\n'}"

# GCC of Debian's mingw-w64 says only "12-posix" of itself; its package's
# version tells one build of it from the next.
compiler_version="$("$cc" -dumpfullversion)"
compiler_package="$(dpkg-query -S "$(readlink -f "$cc")" 2>/dev/null | cut -d: -f1 || true)"
if [ -n "$compiler_package" ]; then
  compiler_version="$(dpkg-query -W -f='${Version}' "$compiler_package" | sed 's/[^0-9A-Za-z.+]/_/g')"
fi

cache="${XDG_CACHE_HOME:-$HOME/.cache}/tarvo2kova/windows-deps"
hash="$(printf '%s' "$key" | sha1sum | cut -c1-10)"
prefix="$cache/$target-r$recipe-$hash-gcc$compiler_version"
stamp="$prefix/.complete"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "recipe $recipe"$'\n'"$key" ]; then
  echo "$prefix"
  exit 0
fi

# One build per folder at a time: a second configure (another build tree, a
# second shell) waits here and then takes what the first one built.
mkdir -p "$cache"
exec 9>"$prefix.lock"
if ! flock -n 9; then
  note "waiting for the build of $prefix in another process"
  flock 9
fi
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "recipe $recipe"$'\n'"$key" ]; then
  echo "$prefix"
  exit 0
fi

sudo_if_needed() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
need_program() { # PROGRAM DEBIAN-PACKAGE
  command -v "$1" >/dev/null || sudo_if_needed apt-get install -y -qq "$2" >&2
  command -v "$1" >/dev/null || die "no $1 (Debian package $2)"
}
need_program dpkg-source dpkg-dev
need_program cmake cmake
need_program ninja ninja-build
need_program wine wine
need_program sqlite3 sqlite3  # builds proj.db
need_program tclsh tcl        # makes SQLite's single-file source

deb_src_added=""
add_deb_src() {
  [ -z "$deb_src_added" ] || return 0
  deb_src_added=1
  local list=/etc/apt/sources.list.d/tarvo2kova-deb-src.sources
  if [ ! -f "$list" ] || ! grep -q bookworm-security "$list"; then
    note "adding deb-src entries for bookworm: $list"
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
      'Suites: bookworm bookworm-updates' 'Components: main' \
      'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' '' \
      'Types: deb-src' 'URIs: http://deb.debian.org/debian-security' \
      'Suites: bookworm-security' 'Components: main' \
      'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
      sudo_if_needed tee "$list" >/dev/null
  fi
  sudo_if_needed apt-get update -qq >&2
}

# Unpacks the source of library NAME into $cache/src (Debian's patches applied
# by dpkg-source) and sets src to its folder and used_version to the Debian
# revision it is.
unpack() {
  local name="$1" package="${source_package[$1]}" version="${source_version[$1]}"
  local upstream="${version%-*}"
  local candidates v work
  for v in "$version" $(ls -d "$cache/src/$package-$upstream"-* 2>/dev/null | sed "s|.*/$package-||"); do
    if [ -f "$cache/src/$package-$v/.unpacked" ]; then
      src="$cache/src/$package-$v"
      used_version="$v"
      return 0
    fi
  done
  apt-cache showsrc "$package" 2>/dev/null | grep -q "^Version: $version\$" || add_deb_src
  # The exact revision first, then the others of the same upstream version,
  # newest first.
  candidates="$(apt-cache showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' |
    grep -F -x -v "$version" | while read -r v; do
      [ "${v%-*}" = "$upstream" ] && echo "$v"
    done | sort -V -r || true)"
  mkdir -p "$cache/src"
  for v in "$version" $candidates; do
    work="$(mktemp -d "$cache/src/fetch.XXXXXX")"
    note "fetching the source of $package $v"
    if (cd "$work" && apt-get source -qq --download-only "$package=$v" >&2 2>"$work/log" &&
          dpkg-source --no-check -x ./*.dsc tree >&2); then
      [ "$v" = "$version" ] || note "$package $version is not offered any more; building $v"
      rm -rf "$cache/src/$package-$v"
      mv "$work/tree" "$cache/src/$package-$v"
      rm -rf "$work"
      touch "$cache/src/$package-$v/.unpacked"
      src="$cache/src/$package-$v"
      used_version="$v"
      return 0
    fi
    grep -v unsandboxed "$work/log" >&2 || true
    rm -rf "$work"
  done
  note "no source of $package $upstream could be fetched: $name is left out"
  return 1
}

# The Wine prefix that test programs of configure steps run in: console
# programs only, no display.
export WINEPREFIX="$cache/wine/$target"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  note "making the Wine prefix $WINEPREFIX"
  arch=win64
  [ "$target" = i686-w64-mingw32 ] && arch=win32
  WINEARCH=$arch wineboot --init >/dev/null 2>&1 || die "wineboot failed for $WINEPREFIX"
  wineserver -w
fi

arch_flags=()
[ "$target" = i686-w64-mingw32 ] && arch_flags=(-msse2 -mfpmath=sse)
jobs="$(nproc)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

mkdir -p "$prefix/include" "$prefix/lib" "$prefix/licenses"
build_root="$prefix.build"
: >"$prefix/versions.txt.new"
[ -f "$prefix/build-times.txt" ] || : >"$prefix/build-times.txt"

# The programs' toolchain file, less their -DUNICODE: the libraries call the
# Win32 functions of their own choice, narrow or wide.
mkdir -p "$build_root"
lib_toolchain="$build_root/toolchain.cmake"
printf '%s\n' "include(\"$toolchain\")" \
  'set(CMAKE_CXX_FLAGS_INIT "${KOVA_MINGW_ARCH_FLAGS} -D_WIN32_WINNT=0x0601")' >"$lib_toolchain"

# Configures, builds and installs a CMake project into the prefix.
cmake_build() { # NAME SOURCE-DIR CMAKE-ARGS...
  local name="$1" dir="$2"
  shift 2
  local build="$build_root/$name"
  rm -rf "$build"
  cmake -S "$dir" -B "$build" -G Ninja --toolchain "$lib_toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="/usr/$target;$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF "${launcher[@]}" \
    -DZLIB_LIBRARY="$zlib" -DZLIB_INCLUDE_DIR="/usr/$target/include" \
    "$@" >"$build.log" 2>&1 || { tail -40 "$build.log" >&2; die "configuring $name failed (log: $build.log)"; }
  cmake --build "$build" -j"$jobs" >>"$build.log" 2>&1 ||
    { grep -B2 -A12 -m3 'error' "$build.log" >&2 || tail -40 "$build.log" >&2; die "building $name failed (log: $build.log)"; }
  cmake --install "$build" >>"$build.log" 2>&1 || die "installing $name failed (log: $build.log)"
  rm -rf "$build" "$build.log"
}

build_spng() {
  # One C file. SPNG_STATIC drops the DLL import marks from its header;
  # SPNG_DISABLE_OPT leaves out the processor-specific filter code, as Debian's
  # own build does.
  local build="$build_root/spng"
  mkdir -p "$build"
  "$cc" -std=c99 -O2 -DSPNG_STATIC -DSPNG_DISABLE_OPT "${arch_flags[@]}" -I"/usr/$target/include" \
    -c "$src/spng/spng.c" -o "$build/spng.o"
  "$ar" rcs "$prefix/lib/libspng.a" "$build/spng.o"
  cp "$src/spng/spng.h" "$prefix/include/"
}

build_deflate() {
  # The library part only; its Makefile would build the programs too.
  local build="$build_root/deflate" f objs=()
  mkdir -p "$build"
  for f in "$src"/lib/*.c "$src"/lib/x86/*.c; do
    "$cc" -std=c99 -O2 -DNDEBUG "${arch_flags[@]}" -I"$src" -c "$f" -o "$build/$(basename "$f" .c).o" &
    objs+=("$build/$(basename "$f" .c).o")
    [ "$(jobs -r | wc -l)" -lt "$jobs" ] || wait -n
  done
  wait
  "$ar" rcs "$prefix/lib/libdeflate.a" "${objs[@]}"
  cp "$src/libdeflate.h" "$prefix/include/"
}

build_zstd() {
  cmake_build zstd "$src/build/cmake" -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON \
    -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_TESTS=OFF -DZSTD_BUILD_CONTRIB=OFF \
    -DZSTD_LEGACY_SUPPORT=OFF -DZSTD_MULTITHREAD_SUPPORT=OFF
}

build_tiff() {
  cmake_build tiff "$src" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
    -Dtiff-deprecated=OFF -Dcxx=OFF -Dwin32-io=ON -Dzlib=ON -Dpixarlog=ON -Dlibdeflate=ON -Dzstd=ON \
    -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dwebp=OFF \
    -DDeflate_INCLUDE_DIR="$prefix/include" -DDeflate_LIBRARY_RELEASE="$prefix/lib/libdeflate.a" \
    -DZSTD_INCLUDE_DIR="$prefix/include" -DZSTD_LIBRARY_RELEASE="$prefix/lib/libzstd.a" \
    -DCMAKE_DISABLE_FIND_PACKAGE_OpenGL=ON -DCMAKE_DISABLE_FIND_PACKAGE_GLUT=ON
}

build_sqlite() {
  # Debian's source is SQLite's full tree; its single-file form is made on
  # the build machine once (it needs tclsh) and compiled for the target.
  local amalgamation="$src/.amalgamation"
  if [ ! -f "$amalgamation/sqlite3.c" ]; then
    rm -rf "$amalgamation"
    mkdir -p "$amalgamation"
    (cd "$amalgamation" && "$src/configure" --disable-tcl >/dev/null 2>&1 &&
       make -s sqlite3.c >/dev/null 2>&1) || die "making SQLite's single-file source failed"
  fi
  local build="$build_root/sqlite"
  mkdir -p "$build"
  "$cc" -O2 -DNDEBUG "${arch_flags[@]}" -D_WIN32_WINNT=0x0601 -DSQLITE_THREADSAFE=1 \
    -DSQLITE_OMIT_LOAD_EXTENSION -DSQLITE_OMIT_DEPRECATED -c "$amalgamation/sqlite3.c" -o "$build/sqlite3.o"
  "$ar" rcs "$prefix/lib/libsqlite3.a" "$build/sqlite3.o"
  cp "$amalgamation/sqlite3.h" "$amalgamation/sqlite3ext.h" "$prefix/include/"
}

build_proj() {
  cmake_build proj "$src" -DBUILD_APPS=OFF -DENABLE_CURL=OFF -DENABLE_TIFF=OFF \
    -DBUILD_PROJSYNC=OFF -DBUILD_EXAMPLES=OFF -DPROJ_TESTS=OFF \
    -DSQLITE3_INCLUDE_DIR="$prefix/include" -DSQLITE3_LIBRARY="$prefix/lib/libsqlite3.a" \
    -DEXE_SQLITE3="$(command -v sqlite3)"
}

build_geotiff() {
  cmake_build geotiff "$src/libgeotiff" -DWITH_UTILITIES=OFF -DWITH_JPEG=OFF -DWITH_ZLIB=OFF \
    -DWITH_TIFF=ON -DPROJ_INCLUDE_DIR="$prefix/include" -DPROJ_LIBRARY="$prefix/lib/libproj.a" \
    -DTIFF_INCLUDE_DIR="$prefix/include" -DTIFF_LIBRARY="$prefix/lib/libtiff.a"
}

build_hdf5() {
  # One configure check runs a program that writes its answer into a file
  # named relative to the folder it runs in, which CMake removes before the
  # check reads the file: the program writes where the check reads, through
  # Wine's drive Z: (the build machine's /).
  local checks="$src/config/cmake/ConfigureChecks.cmake"
  if ! grep -q 'Z:${RUN_OUTPUT_PATH_DEFAULT}' "$checks"; then
    grep -q 'fopen(\\"pac_Cconftest.out\\"' "$checks" || die "$checks: no pac_Cconftest.out to place"
    sed -i 's|fopen(\\"pac_Cconftest.out\\"|fopen(\\"Z:${RUN_OUTPUT_PATH_DEFAULT}/pac_Cconftest.out\\"|' "$checks"
  fi
  # mingw-w64 has unistd.h, which HDF5 takes for POSIX, but no sys/wait.h
  # (HDF5 waits for no child processes on Windows).
  local private="$src/src/H5private.h"
  if ! grep -q '^#ifndef H5_HAVE_WIN32_API /\* no sys/wait.h \*/' "$private"; then
    grep -q '^#include <sys/wait.h>$' "$private" || die "$private: no sys/wait.h to leave out"
    sed -i 's|^#include <sys/wait.h>$|#ifndef H5_HAVE_WIN32_API /* no sys/wait.h */\n#include <sys/wait.h>\n#endif|' "$private"
  fi
  cmake_build hdf5 "$src" -DHDF5_BUILD_TOOLS=OFF -DHDF5_BUILD_UTILS=OFF -DHDF5_BUILD_EXAMPLES=OFF \
    -DHDF5_BUILD_FORTRAN=OFF -DHDF5_BUILD_CPP_LIB=OFF -DHDF5_BUILD_JAVA=OFF -DHDF5_BUILD_HL_LIB=ON \
    -DHDF5_ENABLE_Z_LIB_SUPPORT=ON -DHDF5_ENABLE_SZIP_SUPPORT=OFF -DHDF5_ENABLE_THREADSAFE=OFF \
    -DHDF5_ENABLE_PARALLEL=OFF -DHDF5_BUILD_DOC=OFF -DHDF5_INSTALL_NO_DEVELOPMENT=OFF \
    -DHDF5_ENABLE_ALL_WARNINGS=OFF -DHDF_ENABLE_WARNINGS=OFF -DONLY_SHARED_LIBS=OFF
}

build_netcdf() {
  # NetCDF takes file names in the process's ANSI code page and converts them
  # to UTF-8 and then to UTF-16 for _wfopen and _wopen (HDF5 gets the UTF-8
  # form, which it converts itself). The readers hand it UTF-8 names, so the
  # first conversion starts from UTF-8 instead.
  local file="$src/libdispatch/dpathmgr.c"
  grep -q '^    acp = GetACP();$\|^    acp = CP_UTF8;' "$file" || die "$file: no 'acp = GetACP();' to change"
  sed -i -e 's/^    acp = GetACP();$/    acp = CP_UTF8; \/* file names are UTF-8 *\//' \
    -e 's/MultiByteToWideChar(CP_ACP, 0, path, -1, u16, n)/MultiByteToWideChar(acp, 0, path, -1, u16, n)/' "$file"
  local hdf5_lib="$prefix/lib/libhdf5.a" hdf5_hl="$prefix/lib/libhdf5_hl.a"
  [ -f "$hdf5_lib" ] || hdf5_lib="$prefix/lib/liblibhdf5.a"
  [ -f "$hdf5_hl" ] || hdf5_hl="$prefix/lib/liblibhdf5_hl.a"
  cmake_build netcdf "$src" -DENABLE_NETCDF_4=ON -DENABLE_HDF5=ON -DENABLE_DAP=OFF -DENABLE_DAP2=OFF \
    -DENABLE_DAP4=OFF -DENABLE_BYTERANGE=OFF -DENABLE_NCZARR=OFF -DENABLE_NCZARR_FILTERS=OFF \
    -DENABLE_PLUGINS=OFF -DENABLE_PLUGIN_INSTALL=OFF -DENABLE_FILTER_TESTING=OFF -DENABLE_TESTS=OFF \
    -DBUILD_UTILITIES=OFF -DENABLE_EXAMPLES=OFF -DENABLE_DOXYGEN=OFF -DENABLE_HDF4=OFF \
    -DENABLE_PNETCDF=OFF -DENABLE_PARALLEL4=OFF -DENABLE_LOGGING=OFF -DENABLE_S3_SDK=OFF \
    -DENABLE_CURL=OFF -DHDF5_C_LIBRARY="$hdf5_lib" -DHDF5_HL_LIBRARY="$hdf5_hl" \
    -DHDF5_INCLUDE_DIR="$prefix/include" -DHAVE_HDF5_H="$prefix/include" -DCMAKE_DISABLE_FIND_PACKAGE_CURL=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_Szip=ON -DCMAKE_DISABLE_FIND_PACKAGE_Bz2=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_Blosc=ON -DCMAKE_DISABLE_FIND_PACKAGE_Zstd=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_LibXml2=ON
}

# The processor time (user and system) the finished child processes took, in
# whole seconds, into cpu: on a machine shared with other work, a fairer
# measure than the time on the clock. (times runs in this shell: a subshell
# would not see the children.)
cpu_seconds() {
  times >"$prefix/.times"
  cpu="$(sed -n 2p "$prefix/.times" | awk '{
    total = 0
    for (i = 1; i <= 2; i++) { split($i, p, "m"); total += p[1] * 60 + p[2] }
    printf "%d", total }')"
  rm -f "$prefix/.times"
}

echo "recipe $recipe" >"$prefix/versions.txt.new"
for entry in "${libraries[@]}"; do
  name="${entry%% *}"
  if ! unpack "$name"; then
    echo "$name ${source_package[$name]} ${source_version[$name]} missing" >>"$prefix/versions.txt.new"
    continue
  fi
  echo "$name ${source_package[$name]} $used_version" >>"$prefix/versions.txt.new"
  cp "$src/debian/copyright" "$prefix/licenses/$name.txt"
  done_stamp="$prefix/.done-$name"
  [ "$(cat "$done_stamp" 2>/dev/null)" = "$used_version" ] && continue
  note "building $name $used_version for $target with $(basename "$cc") $compiler_version"
  start="$(date +%s)"
  cpu_seconds
  cpu_start="$cpu"
  "build_$name"
  seconds=$(($(date +%s) - start))
  cpu_seconds
  cpu=$((cpu - cpu_start))
  sed -i "/^$name /d" "$prefix/build-times.txt"
  echo "$name $seconds s, $cpu s of processor time" >>"$prefix/build-times.txt"
  note "$name took $seconds s ($cpu s of processor time)"
  echo "$used_version" >"$done_stamp"
done
rm -rf "$build_root"
# What the installs bring beside the libraries and headers.
rm -rf "$prefix/share/doc" "$prefix/share/man" "$prefix/bin"
[ -n "$only_programs" ] || [ -f "$prefix/share/proj/proj.db" ] || die "PROJ installed no share/proj/proj.db"

# The licences of everything a Windows program carries inside: the libraries
# above, zlib, the GCC runtime (libgcc, libstdc++: GPL with the GCC Runtime
# Library Exception) and the mingw-w64 runtime with winpthreads, as Debian
# records them.
docs=/usr/share/doc
for pair in "zlib:libz-mingw-w64-dev" "gcc-runtime:gcc-mingw-w64-base" "mingw-w64-runtime:mingw-w64-common"; do
  file="$docs/${pair#*:}/copyright"
  [ -f "$file" ] || die "no licence file $file"
  cp "$file" "$prefix/licenses/${pair%%:*}.txt"
done
cp /usr/share/common-licenses/GPL-3 "$prefix/licenses/GPL-3.txt"
mv "$prefix/versions.txt.new" "$prefix/versions.txt"
printf '%s' "recipe $recipe"$'\n'"$key" >"$stamp"
echo "$prefix"
exit 0
}
