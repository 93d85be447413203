#!/usr/bin/env bash
# check-install.sh BUILD_DIR SOURCE_DIR: installs the build into a temporary
# prefix, then builds and runs a C program against it through pkg-config.
set -euo pipefail
build=$1 source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(find "$prefix" -name 'libpennaform.so' -printf '%h\n' | head -n 1)
[ -n "$libdir" ] || { echo "no libpennaform.so installed"; exit 1; }
soname=$(objdump -p "$libdir/libpennaform.so" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = "libpennaform.so.4" ] || { echo "soname is '$soname'"; exit 1; }
[ -x "$prefix/bin/pennaform" ] || { echo "no command installed"; exit 1; }
head -n 1 "$prefix/share/man/man1/pennaform.1" | grep -q '^\.TH PENNAFORM 1' ||
  { echo "no manual page"; exit 1; }

export PKG_CONFIG_PATH="$libdir/pkgconfig"
cc -std=c11 -o "$prefix/linked_program" "$source/tests/install/linked_program.c" \
  $(pkg-config --cflags --libs pennaform)
LD_LIBRARY_PATH="$libdir" "$prefix/linked_program"
"$prefix/bin/pennaform" --version | grep -q '^pennaform 4\.2\.3\.0$'
