#!/usr/bin/env bash
# The layering check on a copy of src/: it passes the copy as it is, and
# fails, naming the file and line, once one breaking include is seeded.
#   usage: tests/layers/check_layers_test.sh PROJECT_DIR
set -euo pipefail

project=${1:?usage: check_layers_test.sh PROJECT_DIR}
checker="$project/scripts/check-layers.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
mkdir -p "$work/tree"
cp -R "$project/src" "$work/tree/src"

# seed FILE LINE: FILE (under src/) holding LINE as its second line.
# unseed: the file goes again, and the folders made for it.
seed() {
  seeded_file="$work/tree/src/$1"
  mkdir -p "$(dirname "$seeded_file")"
  printf '// seeded\n%s\n' "$2" >"$seeded_file"
}
unseed() {
  rm -f "$seeded_file"
  rmdir -p --ignore-fail-on-non-empty "$(dirname "$seeded_file")"
}

# Each case: the file seeded (under src/), the include line, and what the
# report must say about it.
cases=(
  'crypto/Seeded.cpp|#include "engine/Engine.h"|crypto includes "engine/Engine.h" of the higher layer engine'
  'platform/Seeded.h|#include "encoding/ByteBuffer.h"|platform includes "encoding/ByteBuffer.h"'
  'encoding/Seeded.cpp|#include "platform/posix/FileDescriptor.h"|encoding includes "platform/posix/FileDescriptor.h"'
  'ui/Seeded.cpp|#include <unistd.h>|<unistd.h> included outside a posix/ folder'
  'pfx/Seeded.cpp|#include <sys/stat.h>|<sys/stat.h> included outside a posix/ folder'
  'certificates/Seeded.cpp|#include <openssl/x509.h>|<openssl/x509.h> included outside a posix/ folder'
  'engine/Seeded.cpp|#  include <sqlite3.h>|<sqlite3.h> included outside a posix/ folder'
  'ui/hosts/Seeded.cpp|#include "platform/posix/FileDescriptor.h"|"platform/posix/FileDescriptor.h" included outside a posix/ folder'
)
for case in "${cases[@]}"; do
  IFS='|' read -r file line expected <<<"$case"
  seed "$file" "$line"
  if bash "$checker" "$work/tree" >"$work/out" 2>&1; then
    echo "FAIL: $file with '$line' passed"; failures=$((failures + 1))
  elif ! grep -qF "src/$file:2: $expected" "$work/out"; then
    echo "FAIL: $file with '$line' was not reported as expected:"; cat "$work/out"
    failures=$((failures + 1))
  fi
  unseed
done

# What is allowed: the system in posix/ folders and the GTK host, the
# standard library and intrinsics anywhere, lower layers from higher ones.
allowed=(
  'platform/posix/Seeded.cpp|#include <sys/mman.h>'
  'ui/hosts/posix/Seeded.cpp|#include "platform/posix/FileDescriptor.h"'
  'ui/hosts/gtk/Seeded.cpp|#include <gtk/gtk.h>'
  'crypto/Seeded.cpp|#include <immintrin.h>'
  'platform/posix/Seeded2.cpp|#include "encoding/ByteBuffer.h"'
  'engine/Seeded.cpp|#include "pfx/PfxStore.h"'
)
for case in "${allowed[@]}"; do
  IFS='|' read -r file line <<<"$case"
  seed "$file" "$line"
  if ! bash "$checker" "$work/tree" >"$work/out" 2>&1; then
    echo "FAIL: $file with '$line' was refused:"; cat "$work/out"; failures=$((failures + 1))
  fi
  unseed
done

total=$((1 + ${#cases[@]} + ${#allowed[@]}))
echo "$((total - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
