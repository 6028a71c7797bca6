#!/usr/bin/env bash
# tarball_build.sh SOURCE_DIR WORK_DIR: the tree as a release tarball has it (git archive,
# no .git, no history) configures with its tests and benchmarks, and builds tarvik-sim.
# Outside a git checkout there is nothing to export: it says so and exits 77 (skipped).
set -euo pipefail
git -C "$1" rev-parse --verify -q HEAD >/dev/null || { echo "SKIPPED: not a git checkout"; exit 77; }
rm -rf "$2" && mkdir -p "$2/tree" && git -C "$1" archive HEAD | tar -x -C "$2/tree"
# No git above the tree may stand in for the history a tarball lacks.
export GIT_CEILING_DIRECTORIES=$2
cmake -S "$2/tree" -B "$2/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVIK_WERROR=ON \
  >"$2/configure.log" 2>&1 || { tail -n 20 "$2/configure.log"; exit 1; }
grep -F -- "-- bench-rig skipped:" "$2/configure.log"
cmake --build "$2/build" --target tarvik-sim >"$2/build.log" 2>&1 || { tail -n 20 "$2/build.log"; exit 1; }
test -x "$2/build/bin/tarvik-sim" && echo "ok    the exported tree configured and built tarvik-sim"
