#!/usr/bin/python3
"""The MQTT front end's figures, each beside the WebSocket's from the same run, against the
real station polling a pseudo-terminal every 200 ms, whose far end answers every poll at once,
and a Mosquitto broker of this script's own on a free loopback port:
- a band command → the frame's last byte read on the line: 200 commands 50 to 450 ms apart,
  published on <prefix>/command and sent as WebSocket messages, in random turns;
- the controller's changed status reply → the MQTT state message and the WebSocket message
  showing it, both watched for the same 40 changes;
- two stations side by side for BENCH_MQTT_IDLE_SECONDS (30), each on its own line polled and
  answered, one with MQTT on and one without: processor time (every thread's, from
  /proc/PID/task/*/schedstat, in ns) and RSS at the end.
The MQTT client is paho-mqtt, its network loop a thread of its own; all times are
time.perf_counter() in this process.
Usage: bench/mqtt_api.py STATION [--doc docs/PERFORMANCE.md]
  (--doc: replace the table between the mqtt:begin and mqtt:end marks there)
  BENCH_MQTT_COMMANDS, BENCH_MQTT_CHANGES and BENCH_MQTT_IDLE_SECONDS for a quicker look."""

import glob, os, random, shutil, socket, statistics, struct, subprocess, sys, tempfile, threading, time

sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from docblock import figures_table, replace_block
from stationbench import Line, free_port, pct, rss_kib, status_frame, wait_for, ws_open, ws_wait
import paho.mqtt
import paho.mqtt.client as mqtt

POLL_MS, PREFIX = 200, "tarvik/bench"
COMMANDS = int(os.environ.get("BENCH_MQTT_COMMANDS", 200))
CHANGES = int(os.environ.get("BENCH_MQTT_CHANGES", 40))
IDLE_SECONDS = int(os.environ.get("BENCH_MQTT_IDLE_SECONDS", 30))
STATION = sys.argv[1]
DOC = sys.argv[sys.argv.index("--doc") + 1] if "--doc" in sys.argv else None
sys.setswitchinterval(0.0005)  # the line's thread and paho's note their times promptly
WORK = tempfile.mkdtemp()


def ws_send(s, text):
    """One masked text frame, as a client must send it."""
    data, mask = text.encode(), os.urandom(4)
    header = bytes([0x81, 0x80 | len(data)]) if len(data) < 126 else struct.pack("!BBH", 0x81, 0xFE, len(data))
    s.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))


def start_broker():
    port = free_port()
    conf = f"{WORK}/broker.conf"
    # As root the broker would become the "mosquitto" user; it needs nothing of this folder.
    open(conf, "w").write(f"listener {port} 127.0.0.1\nallow_anonymous true\npersistence false\n")
    broker = subprocess.Popen(["mosquitto", "-c", conf], stderr=subprocess.DEVNULL)
    if not wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 10):
        raise SystemExit("mqtt_api.py: the broker did not start")
    return broker, port


def start_station(name, line, http_port, broker_port=None):
    home = f"{WORK}/{name}"
    os.makedirs(f"{home}/TarvikDesk")
    open(f"{home}/TarvikDesk/TarvikDesk.conf", "w").write(f"[StartUp]\nPoll={POLL_MS}\n")
    args = [STATION, "--port", line.device, "--listen", f"127.0.0.1:{http_port}"]
    if broker_port:
        args += ["--mqtt", f"mqtt://127.0.0.1:{broker_port}", "--mqtt-prefix", PREFIX]
    station = subprocess.Popen(args, env=dict(os.environ, XDG_CONFIG_HOME=home, HOME=home),
                               stderr=subprocess.DEVNULL)
    if not wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", http_port)) == 0, 10):
        raise SystemExit("mqtt_api.py: the station did not listen")
    if not wait_for(lambda: line.polls >= 3, 5):
        raise SystemExit("mqtt_api.py: the station does not poll the line")
    return station


class Watcher:
    """A paho client on the station's topics: every message with the time it arrived."""

    def __init__(self, port):
        self.messages, self.lock = [], threading.Lock()
        self.client = mqtt.Client(client_id="bench-watcher", clean_session=True)
        self.client.on_message = lambda c, u, m: self.note(m)
        self.client.on_connect = lambda c, u, f, rc: c.subscribe(f"{PREFIX}/#")
        self.client.connect("127.0.0.1", port)
        self.client.loop_start()

    def note(self, message):
        with self.lock:
            self.messages.append((time.perf_counter(), message.topic, message.payload))

    def find(self, topic, needle, since):
        with self.lock:
            return next((t for t, to, p in self.messages if t >= since and to == topic and needle in p), None)


def commands(line, watcher, http_port):
    """A band command → its frame on the line, in ms, by MQTT and by WebSocket in random turns."""
    ws, times, failed = ws_open(http_port), {"MQTT": [], "WebSocket": []}, 0
    ws_wait(ws, b'"type":"state"', 2.0)
    for i in range(COMMANDS):
        time.sleep(random.uniform(0.05, 0.45))
        way, band = random.choice(list(times)), "20" if i % 2 else "15"
        message = '{"command":"band","band":"%s","id":%d}' % (band, i)
        count, start = len(line.frames), time.perf_counter()
        if way == "MQTT":
            watcher.client.publish(f"{PREFIX}/command", message)
        else:
            ws_send(ws, message)
        if not wait_for(lambda: len(line.frames) > count, 1.0):
            failed += 1
            continue
        times[way].append((line.frames[count][0] - start) * 1000)
        if way == "WebSocket":
            ws_wait(ws, b'"type":"result"', 1.0)
        elif not wait_for(lambda: watcher.find(f"{PREFIX}/result", b'"id":%d,' % i, start), 1.0):
            failed += 1
    ws.close()
    return times, failed


def status_changes(line, watcher, http_port):
    """The changed reply going out → the MQTT state and the WebSocket message showing it, in ms."""
    ws, times, missing = ws_open(http_port), {"MQTT": [], "WebSocket": [], "MQTT after WebSocket": []}, 0
    ws_wait(ws, b'"type":"state"', 2.0)
    for i in range(CHANGES):
        units, count = 1405000 + 100 * (i + 1), len(line.changed_at)
        line.reply = status_frame(units)
        if not wait_for(lambda: len(line.changed_at) > count, 2.0):
            raise SystemExit("mqtt_api.py: the station stopped polling")
        needle, changed = b'"frequencyHz":%d' % (units * 10), line.changed_at[count]
        shown = {"WebSocket": ws_wait(ws, needle, 2.0),
                 "MQTT": wait_for(lambda: watcher.find(f"{PREFIX}/state", needle, changed), 2.0)}
        missing += None in shown.values()
        for way, at in shown.items():
            if at is not None:
                times[way].append((at - changed) * 1000)
        if None not in shown.values():
            times["MQTT after WebSocket"].append((shown["MQTT"] - shown["WebSocket"]) * 1000)
    ws.close()
    return times, missing


def big_payload(station, watcher):
    """RSS (KiB) before a 30 MB command, at its peak, and once back (at most 10 s after the refusal)."""
    before, start = rss_kib(station.pid), time.perf_counter()
    watcher.client.publish(f"{PREFIX}/command", b"x" * (30 * 1000 * 1000))
    peak = before
    while time.perf_counter() - start < 20 and not watcher.find(f"{PREFIX}/result", b"4 KiB", start):
        peak = max(peak, rss_kib(station.pid))
        time.sleep(0.01)
    refused = time.perf_counter()
    wait_for(lambda: rss_kib(station.pid) - before <= 2048, 10)
    return before, peak, rss_kib(station.pid), time.perf_counter() - refused


def cpu_ns(pid):
    return sum(int(open(f).read().split()[0]) for f in glob.glob(f"/proc/{pid}/task/*/schedstat"))


def idle(broker_port):
    """Two stations at once, without and with MQTT: processor share of a core (%) and RSS (KiB)."""
    lines = {"off": Line(), "on": Line()}
    stations = {way: start_station(f"idle-{way}", line, free_port(), broker_port if way == "on" else None)
                for way, line in lines.items()}
    try:
        time.sleep(2)
        before = {way: cpu_ns(s.pid) for way, s in stations.items()}
        time.sleep(IDLE_SECONDS)
        return {way: ((cpu_ns(s.pid) - before[way]) / 1e7 / IDLE_SECONDS, rss_kib(s.pid))
                for way, s in stations.items()}
    finally:
        for s in stations.values():
            s.terminate()
            s.wait()


broker, broker_port = start_broker()
line, http_port = Line(), free_port()
station = start_station("main", line, http_port, broker_port)
try:
    watcher = Watcher(broker_port)
    if not wait_for(lambda: watcher.find(f"{PREFIX}/state", b"{", 0), 10):
        raise SystemExit("mqtt_api.py: no state on the broker")
    load_before = " ".join(open("/proc/loadavg").read().split()[:3])
    wire, failed = commands(line, watcher, http_port)
    shown, missing = status_changes(line, watcher, http_port)
    payload = big_payload(station, watcher)
    station.terminate()
    station.wait()
    usage = idle(broker_port)
    watcher.client.loop_stop()
finally:
    if station.poll() is None:
        station.terminate()
        station.wait()
    broker.terminate()
    broker.wait()
    shutil.rmtree(WORK, ignore_errors=True)
if min(len(t) for t in list(wire.values()) + list(shown.values())) < 2:
    raise SystemExit("mqtt_api.py: too few frames or state messages arrived")

verdict = lambda ok: "met" if ok else "**missed**"
beside = lambda times: f"p50 {statistics.median(times):.2f} ms, p99 {pct(times, 99):.2f} ms"
rows = [
    (f"Band command → the frame's 11th byte read on the line: published on {PREFIX}/command "
     f"({len(wire['MQTT'])} commands) beside the same as WebSocket messages ({len(wire['WebSocket'])}), "
     "random turns 50 to 450 ms apart",
     f"MQTT {beside(wire['MQTT'])}; WebSocket {beside(wire['WebSocket'])}"
     + (f"; {failed} failed or unanswered" if failed else ""),
     "MQTT p99 < 5 ms", verdict(pct(wire["MQTT"], 99) < 5 and not failed)),
    (f"The controller's changed status reply → the message showing it, {CHANGES} changes, polling at "
     f"{POLL_MS} ms, the line answering at once: {PREFIX}/state beside the WebSocket's",
     f"MQTT p50 {statistics.median(shown['MQTT']):.1f} ms, p99 "
     f"{pct(shown['MQTT'], 99):.1f} ms; WebSocket p50 "
     f"{statistics.median(shown['WebSocket']):.1f} ms, p99 {pct(shown['WebSocket'], 99):.1f} ms"
     + f"; the MQTT message after the WebSocket's, per change: {beside(shown['MQTT after WebSocket'])}"
     + (f"; {missing} changes not shown on both" if missing else ""),
     "p99 ≤ poll + 20 ms, as the WebSocket's",
     verdict(pct(shown["MQTT"], 99) <= POLL_MS + 20 and not missing)),
    (f"Idle processor time, {IDLE_SECONDS} s, line polled and answered, two stations at once: MQTT on "
     "beside MQTT off", f"{usage['on'][0]:.3f} % beside {usage['off'][0]:.3f} %: "
     f"{usage['on'][0] - usage['off'][0]:+.3f} %", "≤ +0.05 %", verdict(usage["on"][0] - usage["off"][0] <= 0.05)),
    ("RSS at the end of that run: MQTT on beside MQTT off",
     f"{usage['on'][1] / 1024:.1f} MiB beside {usage['off'][1] / 1024:.1f} MiB: "
     f"{(usage['on'][1] - usage['off'][1]) / 1024:+.1f} MiB", "≤ +2 MiB",
     verdict(usage["on"][1] - usage["off"][1] <= 2048)),
    (f"RSS around a 30 MB payload on {PREFIX}/command, refused as over 4 KiB: before, at its peak, "
     "and after",
     f"{payload[0] / 1024:.1f}, {payload[1] / 1024:.1f}, {payload[2] / 1024:.1f} MiB, "
     f"back {payload[3]:.1f} s after the refusal", "after ≤ before + 2 MiB within 10 s",
     verdict(payload[2] - payload[0] <= 2048 and payload[3] <= 10)),
]
table = figures_table(rows, [
    f"Load average before and after: {load_before}; {' '.join(open('/proc/loadavg').read().split()[:3])}",
    f"Broker: {subprocess.run(['mosquitto', '-h'], capture_output=True, text=True).stdout.splitlines()[0]}, "
    f"on loopback; client paho-mqtt {paho.mqtt.__version__}"])
print(table)
if DOC:
    replace_block(DOC, "mqtt", table)
