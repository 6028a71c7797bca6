#!/usr/bin/env bash
# A long run against the simulated controller: polls every 200 ms, 1% of the replies
# spoiled (cut short, wrong header or missing). Reports the resident memory slope, the
# open descriptors at the start and the end, the polls answered, and the frames the
# simulator received malformed, which must be none.
#
#   bench/soak.sh [MINUTES]      10 by default; fractions such as 0.5 work too
source "$(dirname "$0")/lib.sh"
MINUTES=${1:-10}
RATE=${FAULT_RATE:-0.01}
LINK=$WORK/line
TOTAL=$(awk -v m="$MINUTES" 'BEGIN {printf "%d", m * 60}')
STEP=10

preset "Poll=200"
"$BIN/tarvik-sim" --link "$LINK" --fault-rate "$RATE" >"$WORK/sim.log" 2>"$WORK/sim.err" &
SIM=$!; PIDS+=($SIM)
wait_for_link "$LINK"
"$BIN/tarvik-desk" --port "$LINK" >"$WORK/desk.log" 2>&1 & DESK=$!; PIDS+=($DESK)
sleep 5 # start-up is over

fd_start=$(fd_count $DESK)
: >"$WORK/rss"
elapsed=0
while [ "$elapsed" -lt "$TOTAL" ]; do
  kill -0 $DESK 2>/dev/null || { echo "the panel died after ${elapsed} s" >&2; exit 1; }
  echo "$elapsed $(rss_kb $DESK)" >>"$WORK/rss"
  sleep $STEP; elapsed=$((elapsed + STEP))
done
echo "$elapsed $(rss_kb $DESK)" >>"$WORK/rss"
fd_end=$(fd_count $DESK)

kill -TERM $SIM; wait $SIM 2>/dev/null || true
requests=$(grep -c "status request" "$WORK/sim.log" || true)
summary=$(grep "answered" "$WORK/sim.err" | tail -n 1)
answered=$(sed -E 's/.*answered ([0-9]+).*/\1/' <<<"$summary")
malformed=$(sed -E 's/.*received ([0-9]+) malformed.*/\1/' <<<"$summary")
faults=$(sed -E 's/.*injected ([0-9]+) faults.*/\1/' <<<"$summary")
# Least-squares slope of RSS against time, in kB a minute.
read -r slope first last < <(awk '{n++; x=$1/60; y=$2; sx+=x; sy+=y; sxx+=x*x; sxy+=x*y;
  if (n==1) f=y; l=y}
  END {d = n*sxx - sx*sx; printf "%.1f %d %d\n", (d ? (n*sxy - sx*sy)/d : 0), f, l}' "$WORK/rss")

echo "run: ${MINUTES} min at 200 ms polls, fault rate ${RATE}"
echo "resident memory: ${first} kB at the start, ${last} kB at the end, slope ${slope} kB/min"
echo "open descriptors: ${fd_start} at the start, ${fd_end} at the end"
echo "status requests received: ${requests}; replies sent: ${answered} (faults injected: ${faults})"
echo "malformed frames received by the simulator: ${malformed}"
[ "$malformed" = 0 ] && [ "$fd_start" = "$fd_end" ]
