#!/bin/sh
# Runs browser_test.mjs with playwright-core installed into the build folder
# (never globally). When npm cannot fetch it, the test reports itself skipped
# (exit 77): an unreachable registry is not a fault of the component.
set -u
pennaform=$1 testca=$2 web=$3 page=$4 output=$5 modules=$6
if [ ! -d "$modules/node_modules/playwright-core" ]; then
  if ! npm install --prefix "$modules" --no-audit --no-fund --no-save playwright-core@1 >"$output.npm.log" 2>&1; then
    echo "playwright-core could not be installed from npm (see $output.npm.log): skipped"
    exit 77
  fi
fi
exec node "$page/browser_test.mjs" "$pennaform" "$testca" "$web" "$page" "$output" "$modules/node_modules"
