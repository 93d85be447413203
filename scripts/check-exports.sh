#!/usr/bin/env bash
# check-exports.sh LIBRARY LIST: the dynamic symbols LIBRARY defines are
# exactly the names of LIST (one per line, # comments): none missing, no
# stray one.
set -euo pipefail
library=$1 list=$2
diff <(grep -v '^#' "$list" | LC_ALL=C sort) \
     <(nm -D --defined-only "$library" | awk '{print $3}' | LC_ALL=C sort) &&
  echo "check-exports: $(grep -vc '^#' "$list") names, as intended"
