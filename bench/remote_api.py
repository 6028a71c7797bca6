#!/usr/bin/python3
"""The remote API's figures, against the real station polling a pseudo-terminal every 200 ms
(the panel's setting in bench/run), whose far end answers every poll at once with a status
frame, as a controller does:
- POST /api/v1/band -> the frame's last byte read on the line: 200 commands, each 50 to 450 ms
  after the last, so that they fall before, between and after polls; for the slowest 2 %, how
  long the station's event loop and the line's reader waited for a processor meanwhile;
- the controller's changed status reply -> the WebSocket message that shows it: 40 changes with
  the line answering each poll at once, 40 with it answering when the request and the reply
  would have crossed a 4800-baud line (29 ms);
- the station's CPU with 16 idle WebSocket clients for 10 s, and its RSS then, against the
  tarvik-desk RSS given with --desk-rss (bench/run passes the one it measured);
- GET /api/v1/state at full speed over one kept-alive connection for 10 s: requests a second,
  errors (non-200 or an exception), and the station's RSS before, every second, and after.
All times are time.perf_counter() in this process; the line's reader is a thread of its own.
- the same status change at the default 500 ms poll, for this build and, with --before, for the
  station of an earlier build (bench/run builds the one before the reply-waiting poll);
Usage: bench/remote_api.py STATION [--desk-rss KIB] [--doc docs/PERFORMANCE.md] [--before STATION --before-name TEXT]
  (--doc: replace the table between the api:begin and api:end marks there)
  BENCH_API_COMMANDS and BENCH_API_CHANGES set the counts for a quicker look."""

import http.client, os, random, socket, statistics, subprocess, sys, tempfile, time

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from docblock import figures_table, replace_block
from stationbench import POLL, Line, cpu_seconds, free_port, pct, rss_kib, run_delay_ms, status_frame, wait_for, ws_open, ws_wait

POLL_MS = 200
# What the request and its 11-byte reply take on the station's line at 4800 baud, 10 bits a byte.
WIRE_S = (len(POLL) + 11) * 10 / 4800
COMMANDS, CHANGES = int(os.environ.get("BENCH_API_COMMANDS", 200)), int(os.environ.get("BENCH_API_CHANGES", 40))
option = lambda name: sys.argv[sys.argv.index(name) + 1] if name in sys.argv else None
STATION, DESK_RSS, DOC, BEFORE = sys.argv[1], option("--desk-rss"), option("--doc"), option("--before")
BEFORE_NAME = option("--before-name") or "the build before"
sys.setswitchinterval(0.0005)  # the line's thread notes its times promptly


def commands(line, pid):
    """POST -> the frame read on the line, POST -> the response read, and the station's wait
    for a processor meanwhile, in ms."""
    conn, wire, answered, waited, errors = http.client.HTTPConnection("127.0.0.1", PORT), [], [], [], 0
    for i in range(COMMANDS):
        time.sleep(random.uniform(0.05, 0.45))
        count, start = len(line.frames), time.perf_counter()
        delays = run_delay_ms(pid), run_delay_ms(line.task)
        conn.request("POST", "/api/v1/band", '{"band":"%s"}' % ("20" if i % 2 else "15"))
        response = conn.getresponse()
        response.read()
        answered.append((time.perf_counter() - start) * 1000)
        if response.status != 200 or not wait_for(lambda: len(line.frames) > count, 1.0):
            errors += 1
            continue
        wire.append((line.frames[count][0] - start) * 1000)
        waited.append((run_delay_ms(pid) - delays[0], run_delay_ms(line.task) - delays[1]))
    conn.close()
    return wire, answered, waited, errors


def status_changes(line, delay, since_change=False):
    """The changed reply going out (or, since_change: the controller's change, at a random
    moment between polls) -> the WebSocket message showing its frequency, in ms, with the line
    answering each poll `delay` seconds after it."""
    watcher, times, missing, line.delay = ws_open(PORT), [], 0, delay
    ws_wait(watcher, b'"type":"state"', 2.0)  # the first state, on opening
    for i in range(CHANGES):
        units, count = 1405000 + 100 * (i + 1), len(line.changed_at)
        time.sleep(random.uniform(0, 0.5))
        changed = time.perf_counter()
        line.reply = status_frame(units)
        if not wait_for(lambda: len(line.changed_at) > count, 2.0):
            raise SystemExit("remote_api.py: the station stopped polling")
        shown = ws_wait(watcher, b'"frequencyHz":%d' % (units * 10), 2.0)
        if shown is None:
            missing += 1
            continue
        times.append((shown - (changed if since_change else line.changed_at[count])) * 1000)
    watcher.close()
    line.delay = 0.0
    return times, missing


def idle_clients(pid):
    idle = [ws_open(PORT) for _ in range(16)]
    time.sleep(1)
    before = cpu_seconds(pid)
    time.sleep(10)
    cpu = (cpu_seconds(pid) - before) / 10 * 100
    rss = rss_kib(pid)
    for s in idle:
        s.close()
    return cpu, rss


def state_at_full_speed(pid):
    """Requests in 10 s, errors, and the RSS before, every second and after."""
    conn, count, errors, rss = http.client.HTTPConnection("127.0.0.1", PORT), 0, 0, [rss_kib(pid)]
    start = time.perf_counter()
    next_sample, end = start + 1, start + 10
    while (now := time.perf_counter()) < end:
        if now >= next_sample:
            rss.append(rss_kib(pid))
            next_sample += 1
        try:
            conn.request("GET", "/api/v1/state")
            response = conn.getresponse()
            response.read()
            errors += response.status != 200
        except (OSError, http.client.HTTPException):
            errors += 1
            conn.close()
            conn = http.client.HTTPConnection("127.0.0.1", PORT)
        count += 1
    rss.append(rss_kib(pid))
    conn.close()
    return count, errors, rss


def start_station(binary, poll_ms):
    """A station on a line of its own, polling every `poll_ms`, listening on PORT."""
    line, home = Line(), tempfile.mkdtemp()
    os.makedirs(f"{home}/TarvikDesk")
    open(f"{home}/TarvikDesk/TarvikDesk.conf", "w").write(f"[StartUp]\nPoll={poll_ms}\n")
    station = subprocess.Popen([binary, "--port", line.device, "--listen", f"127.0.0.1:{PORT}"],
                               env=dict(os.environ, XDG_CONFIG_HOME=home, HOME=home), stderr=subprocess.DEVNULL)
    if not wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", PORT)) == 0, 10):
        raise SystemExit("remote_api.py: the station did not listen")
    if not wait_for(lambda: line.polls >= 3, 5):
        raise SystemExit("remote_api.py: the station does not poll the line")
    return station, line


def status_at_500(binary):
    """The changed status reply -> its WebSocket message at the default 500 ms poll, the line
    answering at once and at a 4800-baud line's pace: (times, missing) for each."""
    station, line = start_station(binary, 500)
    try:
        return [status_changes(line, delay, since_change=True) for delay in (0.0, WIRE_S)]
    finally:
        station.terminate()
        station.wait()


PORT = free_port()
station, line = start_station(STATION, POLL_MS)
try:
    load_before = " ".join(open("/proc/loadavg").read().split()[:3])
    wire, answered, waited, post_errors = commands(line, station.pid)
    status = {"at once": status_changes(line, 0.0), f"{WIRE_S * 1000:.1f} ms after": status_changes(line, WIRE_S)}
    idle_cpu, rss = idle_clients(station.pid)
    count, get_errors, get_rss = state_at_full_speed(station.pid)
finally:
    station.terminate()
    station.wait()
at_500 = {"this build": status_at_500(STATION)} | ({f"before ({BEFORE_NAME})": status_at_500(BEFORE)} if BEFORE else {})
if len(wire) < 2 or min(len(times) for times, _ in status.values()) < 2:
    raise SystemExit(f"remote_api.py: too few frames ({len(wire)}) or status messages arrived")

slowest = sorted(zip(wire, waited))[-max(1, len(wire) // 50):]
slowest_wire, slowest_station, slowest_reader = (statistics.median(x) for x in zip(
    *((w, station_wait, reader_wait) for w, (station_wait, reader_wait) in slowest)))
mib = lambda kib: f"{kib / 1024:.1f} MiB"
verdict = lambda ok: "met" if ok else "**missed**"
rows = [
    (f"POST /api/v1/band → the frame's 11th byte read on the line, {len(wire)} commands 50 to 450 ms apart, "
     f"the line answering every poll ({POLL_MS} ms)", f"p50 {statistics.median(wire):.2f} ms, p99 {pct(wire, 99):.2f} ms"
     + (f"; {post_errors} commands failed or never reached the line" if post_errors else ""),
     "p99 < 5 ms", verdict(pct(wire, 99) < 5 and not post_errors)),
    ("The same commands: POST → its response read (the frame is written before the response)",
     f"p50 {statistics.median(answered):.2f} ms, p99 {pct(answered, 99):.2f} ms", "", ""),
    ("Where the slowest 2 % of those commands (to the line) went, medians: their whole time; the station's "
     "wait for a processor meanwhile; the wait of this script's line reader (run delay, /proc/…/schedstat)",
     f"{slowest_wire:.2f} ms; {slowest_station:.2f} ms; {slowest_reader:.2f} ms", "", ""),
] + [
    (f"The controller's changed status reply → the WebSocket message showing it, {len(times)} changes, "
     f"polling at {POLL_MS} ms, the line answering each poll {when}",
     f"p50 {statistics.median(times):.1f} ms, p99 {pct(times, 99):.1f} ms; "
     f"{sum(t > 1.5 * POLL_MS for t in times)} a poll later still" + (f", {missing} never shown" if missing else ""),
     "p99 ≤ poll + 20 ms", verdict(pct(times, 99) <= POLL_MS + 20 and not missing))
    for when, (times, missing) in status.items()
] + [
    (f"The controller's change → its WebSocket message at the default 500 ms poll, the line answering {when}, {build}",
     f"p50 {statistics.median(times):.0f} ms, p99 {pct(times, 99):.0f} ms"
     + (f", {missing} never shown" if missing else ""),
     "p99 ≤ 560 ms, none lost" if build == "this build" else "(today's figure, for comparison)",
     verdict(pct(times, 99) <= 560 and not missing) if build == "this build" else "")
    for build, runs in at_500.items()
    for when, (times, missing) in zip(("at once", f"{WIRE_S * 1000:.0f} ms after (4800 baud)"), runs)
] + [
    ("CPU with 16 idle WebSocket clients, 10 s, line polled and answered", f"{idle_cpu:.2f} % of a core",
     "< 0.5 %", verdict(idle_cpu < 0.5)),
]
if DESK_RSS:
    ratio = rss / int(DESK_RSS)
    rows.append(("tarvik-station RSS (16 clients connected) against tarvik-desk's footprint figure above",
                 f"{mib(rss)} against {mib(int(DESK_RSS))}: ×{ratio:.2f}", "≤ ×0.5", verdict(ratio <= 0.5)))
else:
    rows.append(("tarvik-station RSS (16 clients connected)", mib(rss), "≤ half of tarvik-desk's", "not compared"))
rows.append(("GET /api/v1/state at full speed, one kept-alive connection, 10 s",
             f"{count / 10:,.0f} per second, {get_errors} errors; RSS {mib(get_rss[0])} before, "
             f"{mib(get_rss[-1])} after, at most {mib(max(get_rss))}", "no errors, RSS after − before < 1 MiB",
             verdict(get_errors == 0 and get_rss[-1] - get_rss[0] < 1024)))
table = figures_table(rows, [
    f"Load average before and after: {load_before}; {' '.join(open('/proc/loadavg').read().split()[:3])}",
    f"RSS every second of the GET run (MiB): {' '.join(f'{k / 1024:.1f}' for k in get_rss)}"])
print(table)
if DOC:
    replace_block(DOC, "api", table)
