#!/usr/bin/python3
"""Whether the state tells the truth under a command stream and at a slow controller's pace,
against the real station on a pseudo-terminal at the default 500 ms poll, for this build and,
with --before, an earlier one in the same run (bench/run builds the one before this poll):
- at 1200 and 4800 baud, 19 step commands a second over a WebSocket for 10 s, the controller's
  reported frequency changing every second: each change -> the WebSocket message showing it;
- the same stream with the controller gone quiet: from then to "link":"silent";
- a controller answering 150 ms after each request, no commands: change -> state, 40 changes.
The line answers after the request's and the reply's wire time at the station's baud rate.
Usage: bench/poll_truth.py STATION [--before STATION --before-name TEXT] [--doc FILE]
  (--doc: replace the table between the poll:begin and poll:end marks there)"""

import json, os, random, re, socket, subprocess, sys, tempfile, threading, time

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from docblock import figures_table, replace_block
from stationbench import Line, free_port, pct, status_frame, wait_for, ws_open, ws_wait

option = lambda name: sys.argv[sys.argv.index(name) + 1] if name in sys.argv else None
STATION, BEFORE, DOC = sys.argv[1], option("--before"), option("--doc")
BEFORE_NAME = option("--before-name") or "the build before"
POLL_MS, STREAM_S, RATE, LATE_CHANGES = 500, 10, 19, 40
sys.setswitchinterval(0.0005)


def ws_send(s, text):  # one masked text frame, as a client must send it
    payload, mask = text.encode(), os.urandom(4)
    s.sendall(bytes([0x81, 0x80 | len(payload)]) + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(payload)))


def command_stream(port, stop):
    """19 step commands a second on a WebSocket of their own until `stop` is set; what the
    station sends back is read and dropped."""
    s = ws_open(port)
    s.setblocking(False)
    while not stop.is_set():
        ws_send(s, json.dumps({"command": "step", "direction": "up"}))
        try:
            while s.recv(65536):
                pass
        except BlockingIOError:
            pass
        time.sleep(1 / RATE)
    s.close()


def start(binary, baud):
    line, home, port = Line(), tempfile.mkdtemp(), free_port()
    os.makedirs(f"{home}/TarvikDesk")
    open(f"{home}/TarvikDesk/TarvikDesk.conf", "w").write(f"[StartUp]\nPoll={POLL_MS}\nSettings={baud},n,8,1\n")
    line.delay = 14 * 10 / baud
    station = subprocess.Popen([binary, "--port", line.device, "--listen", f"127.0.0.1:{port}"],
                               env=dict(os.environ, XDG_CONFIG_HOME=home, HOME=home), stderr=subprocess.DEVNULL)
    if not wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 10) or \
            not wait_for(lambda: line.polls >= 2, 5):
        raise SystemExit("poll_truth.py: the station did not listen or poll")
    return station, line, port


def watch(s, seen, stop):
    """Every frequency and link the station's messages show, with the time each was read."""
    s.settimeout(0.1)
    while not stop.is_set():
        try:
            data, now = s.recv(65536), time.perf_counter()
        except socket.timeout:
            continue
        seen += [(now, int(f), b"") for f in re.findall(rb'"frequencyHz":(\d+)', data)]
        seen += [(now, 0, link) for link in re.findall(rb'"link":"([a-z-]+)"', data)]


def under_stream(binary, baud):
    """(change -> state times in ms, changes never shown, quiet -> silent in ms or None). A
    change counts as shown when the state shows it or a later one."""
    station, line, port = start(binary, baud)
    stop, seen, changes = threading.Event(), [], []
    threads = [threading.Thread(target=command_stream, args=(port, stop)),
               threading.Thread(target=watch, args=(ws_open(port), seen, stop))]
    try:
        for t in threads:
            t.start()
        for i in range(STREAM_S):
            time.sleep(random.uniform(0.5, 1.5))  # once a second, at any phase of the polls
            changes.append((time.perf_counter(), (1405000 + 1000 * (i + 1)) * 10))
            line.reply = status_frame(changes[-1][1] // 10)
        time.sleep(2.0)
        line.reply, quiet = b"", time.perf_counter()  # gone quiet
        wait_for(lambda: any(t > quiet and link == b"silent" for t, _, link in seen), 20.0)
    finally:
        stop.set()
        for t in threads:
            t.join()
        station.terminate()
        station.wait()
    shown = [next((t - at for t, f, _ in seen if t >= at and f >= hz), None) for at, hz in changes]
    red = next((t - quiet for t, _, link in seen if t > quiet and link == b"silent"), None)
    times = [t * 1000 for t in shown if t is not None]
    return times, len(shown) - len(times), None if red is None else red * 1000


def late_controller(binary):
    """Change -> state in ms with the controller answering 150 ms after each request."""
    station, line, port = start(binary, 4800)
    line.delay, watcher, times, missing = 0.150, ws_open(port), [], 0
    try:
        for i in range(LATE_CHANGES):
            time.sleep(random.uniform(0, 0.5))
            units, changed = 1405000 + 100 * (i + 1), time.perf_counter()
            line.reply = status_frame(units)
            shown = ws_wait(watcher, b'"frequencyHz":%d' % (units * 10), 3.0)
            missing += shown is None
            if shown is not None:
                times.append((shown - changed) * 1000)
        return times, missing
    finally:
        station.terminate()
        station.wait()


builds = [("this build", STATION)] + ([(f"before ({BEFORE_NAME})", BEFORE)] if BEFORE else [])
verdict = lambda ok: "met" if ok else "**missed**"
p99 = lambda times, missing: (f"p99 {pct(times, 99):.0f} ms" if len(times) > 1 else "none shown") + \
    (f", {missing} of {len(times) + missing} never shown" if missing else "")
rows = []
for name, binary in builds:
    mine = name == "this build"
    for baud in (1200, 4800):
        times, missing, red = under_stream(binary, baud)
        rows.append((f"{baud} baud, {RATE} steps a second over a WebSocket for {STREAM_S} s, the controller's "
                     f"frequency changing every second: change → state, {name}", p99(times, missing),
                     "≤ 2 intervals + window (1.5 s), none lost" if mine else "",
                     verdict(not missing and pct(times, 99) <= 1500) if mine else ""))
        rows.append((f"The same stream, the controller gone quiet: quiet → \"silent\", {name}",
                     "not within 20 s" if red is None else f"{red:.0f} ms",
                     "≤ 6 intervals + window (3.5 s)" if mine else "",
                     verdict(red is not None and red <= 3500) if mine else ""))
    times, missing = late_controller(binary)
    rows.append((f"A controller answering 150 ms late, no commands, {LATE_CHANGES} changes: change → state, {name}",
                 p99(times, missing), "≤ interval + 200 ms, none lost" if mine else "",
                 verdict(not missing and times and pct(times, 99) <= POLL_MS + 200) if mine else ""))
table = figures_table(rows, [f"Load average after: {' '.join(open('/proc/loadavg').read().split()[:3])}"])
print(table)
if DOC:
    replace_block(DOC, "poll", table)
