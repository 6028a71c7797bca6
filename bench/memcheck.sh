#!/usr/bin/env bash
# Leak check of a whole session: tarvik-desk --simulate starts under valgrind memcheck
# on a virtual X display, polls the simulated controller for a minute (POLL_SECONDS),
# and is then left through File > Exit, pressed on the keyboard as an operator would.
# Passes when memcheck reports no "definitely lost" bytes.
#
#   bench/memcheck.sh            needs valgrind, xvfb and xdotool
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
BIN=${BIN:-$ROOT/build/default/bin}
POLL_SECONDS=${POLL_SECONDS:-60}
for tool in valgrind xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "memcheck.sh needs $tool" >&2; exit 2; }
done
if [ "${1:-}" != --session ]; then
  WORK=$(mktemp -d)
  trap 'rm -rf "$WORK"' EXIT
  export XDG_CONFIG_HOME=$WORK/xdg
  LOG=${LOG:-$WORK/memcheck.log}
fi

session() {
  valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --num-callers=30 \
    --suppressions="$HERE/qt-libraries.supp" --log-file="$LOG" \
    "$BIN/tarvik-desk" --simulate &
  local desk=$!
  local win=""
  for _ in $(seq 120); do
    win=$(xdotool search --name "Pellow Tarvik" 2>/dev/null | head -n 1) && [ -n "$win" ] && break
    sleep 1
  done
  [ -n "$win" ] || { echo "the window never appeared" >&2; kill $desk; return 1; }
  sleep "$POLL_SECONDS"
  xdotool windowfocus --sync "$win"
  xdotool key --clearmodifiers alt+f
  sleep 3
  xdotool key --clearmodifiers e
  for _ in $(seq 120); do kill -0 $desk 2>/dev/null || break; sleep 1; done
  if kill -0 $desk 2>/dev/null; then
    echo "File > Exit did not end the panel" >&2; kill $desk; return 1
  fi
  wait $desk
}
if [ "${1:-}" = --session ]; then
  session
  exit
fi
export BIN POLL_SECONDS LOG
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --session

grep -E "definitely lost|indirectly lost|ERROR SUMMARY" "$LOG" || true
lost=$(sed -nE 's/.*definitely lost: ([0-9,]+) bytes.*/\1/p' "$LOG" | tr -d , | tail -n 1)
if grep -q "All heap blocks were freed" "$LOG"; then lost=0; fi
[ -n "$lost" ] || { echo "no leak summary in $LOG" >&2; exit 1; }
echo "definitely lost: $lost bytes"
[ "$lost" = 0 ]
