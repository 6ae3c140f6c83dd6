#!/usr/bin/env bash
# Builds the libraries the Windows programs link statically and that Debian
# does not ship for mingw-w64: libspng, from Debian's own source package of the
# version the Linux build uses, against Debian's mingw-w64 zlib.
#
#   tools/build-windows-deps.sh TARGET
#
# TARGET is i686-w64-mingw32 or x86_64-w64-mingw32. The result lands in a
# cache folder outside the work tree, one per target, library version and
# compiler version:
#
#   ${XDG_CACHE_HOME:-$HOME/.cache}/tarvo2kova/windows-deps/TARGET-SPNGVERSION-gccVERSION
#     include/spng.h  lib/libspng.a  licenses/*.txt
#
# A folder that is already complete is used as it is, so a second run takes no
# time. The last line printed on standard output is the folder (the Windows
# CMake build reads it); everything else goes to standard error. Fetching the
# source needs a deb-src entry for the Debian release: one is added for
# bookworm when none is there (as root, or through sudo).
set -euo pipefail

die() {
  echo "build-windows-deps: $*" >&2
  exit 1
}

target="${1:-}"
case "$target" in
  i686-w64-mingw32 | x86_64-w64-mingw32) ;;
  *) echo "usage: tools/build-windows-deps.sh i686-w64-mingw32|x86_64-w64-mingw32" >&2; exit 2 ;;
esac

# Raised when the way the library is built changes, so that old caches are
# not taken for new ones.
recipe=1

cc="$(command -v "$target-gcc-posix" || command -v "$target-gcc" || true)"
[ -n "$cc" ] || die "no C compiler for $target (Debian package gcc-mingw-w64-${target%%-*}-posix)"
ar="$(command -v "$target-ar" || true)"
[ -n "$ar" ] || die "no $target-ar (Debian package binutils-mingw-w64)"
zlib="/usr/$target/lib/libz.a"
if [ ! -f "$zlib" ] || [ ! -f "/usr/$target/include/zlib.h" ]; then
  die "no zlib for $target (Debian package libz-mingw-w64-dev)"
fi

# The Linux build's libspng, Debian revision included (0.7.3-3).
spng_package="$(dpkg-query -W -f='${Version}' libspng-dev 2>/dev/null || true)"
[ -n "$spng_package" ] || die "libspng-dev is not installed, so there is no version to match"
spng_version="${spng_package%-*}"
spng_version="${spng_version#*:}"
# GCC of Debian's mingw-w64 says only "12-posix" of itself; its package's
# version tells one build of it from the next.
compiler_version="$("$cc" -dumpfullversion)"
compiler_package="$(dpkg-query -S "$(readlink -f "$cc")" 2>/dev/null | cut -d: -f1 || true)"
if [ -n "$compiler_package" ]; then
  compiler_version="$(dpkg-query -W -f='${Version}' "$compiler_package" | sed 's/[^0-9A-Za-z.+]/_/g')"
fi

cache="${XDG_CACHE_HOME:-$HOME/.cache}/tarvo2kova/windows-deps"
prefix="$cache/$target-$spng_version-gcc$compiler_version"
stamp="$prefix/.complete"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "recipe $recipe libspng $spng_package" ]; then
  echo "$prefix"
  exit 0
fi

sudo_if_needed() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The unpacked source, shared by both targets; Debian's patches applied by
# apt-get source itself.
source_dir="$cache/src/libspng-$spng_package"
if [ ! -f "$source_dir/.unpacked" ]; then
  if ! apt-cache showsrc "libspng=$spng_package" 2>/dev/null | grep -q "^Version: $spng_package\$"; then
    # Sources of the same release as the installed system, from the same
    # mirror its binary packages come from.
    list=/etc/apt/sources.list.d/tarvo2kova-deb-src.sources
    if [ ! -f "$list" ]; then
      echo "Adding a deb-src entry for bookworm: $list" >&2
      printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
        'Suites: bookworm bookworm-updates' 'Components: main' \
        'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        sudo_if_needed tee "$list" >/dev/null
    fi
    sudo_if_needed apt-get update -qq >&2
  fi
  command -v dpkg-source >/dev/null || sudo_if_needed apt-get install -y -qq dpkg-dev >&2
  mkdir -p "$cache/src"
  work="$(mktemp -d "$cache/src/fetch.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  echo "Fetching the source of libspng $spng_package" >&2
  (cd "$work" && apt-get source -qq --download-only "libspng=$spng_package" >&2 &&
     dpkg-source --no-check -x ./*.dsc libspng >&2)
  rm -rf "$source_dir"
  mv "$work/libspng" "$source_dir"
  touch "$source_dir/.unpacked"
fi
[ -f "$source_dir/spng/spng.c" ] || die "$source_dir has no spng/spng.c"

# The library is one C file. SPNG_STATIC drops the DLL import marks from its
# header; SPNG_DISABLE_OPT leaves out the processor-specific filter code, as
# Debian's own build does; the 32-bit build uses SSE2 registers for floating
# point, as the programs do.
flags=(-std=c99 -O2 -DSPNG_STATIC -DSPNG_DISABLE_OPT -I"/usr/$target/include")
[ "$target" = i686-w64-mingw32 ] && flags+=(-msse2 -mfpmath=sse)
echo "Building libspng $spng_version for $target with $(basename "$cc") $compiler_version" >&2
rm -rf "$prefix"
build="$prefix.build"
rm -rf "$build"
mkdir -p "$build" "$prefix/include" "$prefix/lib" "$prefix/licenses"
"$cc" "${flags[@]}" -c "$source_dir/spng/spng.c" -o "$build/spng.o"
"$ar" rcs "$prefix/lib/libspng.a" "$build/spng.o"
rm -rf "$build"
cp "$source_dir/spng/spng.h" "$prefix/include/"
# The licences of everything a Windows program carries inside: libspng,
# zlib, the GCC runtime (libgcc, libstdc++: GPL with the GCC Runtime Library
# Exception) and the mingw-w64 runtime with winpthreads, as Debian records
# them.
cp "$source_dir/debian/copyright" "$prefix/licenses/libspng.txt"
docs=/usr/share/doc
for pair in "zlib:libz-mingw-w64-dev" "gcc-runtime:gcc-mingw-w64-base" "mingw-w64-runtime:mingw-w64-common"; do
  file="$docs/${pair#*:}/copyright"
  [ -f "$file" ] || die "no licence file $file"
  cp "$file" "$prefix/licenses/${pair%%:*}.txt"
done
cp /usr/share/common-licenses/GPL-3 "$prefix/licenses/GPL-3.txt"
echo "recipe $recipe libspng $spng_package" >"$stamp"
echo "$prefix"
