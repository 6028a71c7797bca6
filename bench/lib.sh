# Shared by the bench scripts: where the programs are, a scratch folder, a settings
# folder of its own, and readings from /proc.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=${BIN:-$ROOT/build/default/bin}
for p in tarvik-desk tarvik-sim; do
  [ -x "$BIN/$p" ] || { echo "missing $BIN/$p: build first (./dev test or cmake --build --preset default)" >&2; exit 2; }
done
WORK=$(mktemp -d)
PIDS=()
cleanup() {
  local p
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$WORK/xdg
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
mkdir -p "$XDG_CONFIG_HOME/TarvikDesk"

# preset KEY=VALUE...: the settings a previous run would have left.
preset() {
  { echo "[StartUp]"; printf '%s\n' "$@"; } >"$XDG_CONFIG_HOME/TarvikDesk/TarvikDesk.conf"
}
# CPU time of a process so far, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
fd_count() { ls "/proc/$1/fd" | wc -l; }
wait_for_link() {
  local i
  for i in $(seq 100); do [ -e "$1" ] && return 0; sleep 0.1; done
  echo "no device at $1" >&2; return 1
}
