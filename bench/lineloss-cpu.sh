#!/usr/bin/env bash
# The line goes away under the panel, then comes back.
#
# The panel reaches the simulated controller through a symbolic link. The simulator is
# stopped (its pseudo-terminal closes, as when an adapter is pulled out), and the
# panel's CPU use is measured over the next SECONDS (10 by default). Then a new
# simulator appears behind the same link and the panel must poll it again.
#
#   bench/lineloss-cpu.sh [SECONDS]
source "$(dirname "$0")/lib.sh"
SECONDS_AFTER=${1:-10}
TICKS=$(getconf CLK_TCK)
LINK=$WORK/line

preset "Poll=200"
"$BIN/tarvik-sim" --link "$LINK" >"$WORK/sim1.log" 2>&1 & SIM=$!; PIDS+=($SIM)
wait_for_link "$LINK"
"$BIN/tarvik-desk" --port "$LINK" >"$WORK/desk.log" 2>&1 & DESK=$!; PIDS+=($DESK)
sleep 3
before=$(grep -c "status request" "$WORK/sim1.log" || true)
[ "$before" -gt 0 ] || { echo "the panel never polled" >&2; exit 1; }

t0=$(cpu_ticks $DESK); sleep 5; t1=$(cpu_ticks $DESK)
polling=$(awk -v a=$t0 -v b=$t1 -v hz=$TICKS 'BEGIN {printf "%.2f", 100 * (b - a) / hz / 5}')

kill -TERM $SIM; wait $SIM 2>/dev/null || true
t0=$(cpu_ticks $DESK); sleep "$SECONDS_AFTER"; t1=$(cpu_ticks $DESK)
lost=$(awk -v a=$t0 -v b=$t1 -v hz=$TICKS -v s=$SECONDS_AFTER 'BEGIN {printf "%.2f", 100 * (b - a) / hz / s}')
kill -0 $DESK || { echo "the panel died" >&2; exit 1; }

"$BIN/tarvik-sim" --link "$LINK" >"$WORK/sim2.log" 2>&1 & SIM2=$!; PIDS+=($SIM2)
resumed=no
for i in $(seq 50); do
  if grep -q "status request" "$WORK/sim2.log"; then resumed=yes; break; fi
  sleep 0.1
done
echo "CPU while polling at 200 ms: ${polling}% of one core"
echo "CPU over ${SECONDS_AFTER} s after the line was lost: ${lost}% of one core"
echo "polling resumed on the new device: $resumed (after about $((i * 100)) ms)"
[ "$resumed" = yes ] && awk -v l=$lost 'BEGIN {exit !(l < 5)}'
