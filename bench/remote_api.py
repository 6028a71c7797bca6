#!/usr/bin/python3
"""The remote API's figures, against the real station on a pseudo-terminal:
POST -> the frame's last byte on the wire (p50/p99 of 200 commands at 15 a second);
a status change on the line -> the WebSocket message (p50/p99 of 40); the station's CPU
with 16 idle WebSocket clients for 10 s; its RSS; GET /api/v1/state per second over one
kept-alive connection for 10 s.
Usage: bench/remote_api.py build/default/bin/tarvik-station"""

import base64, http.client, os, select, socket, statistics, subprocess, sys, tempfile, time

PORT = 18790
POLL = bytes.fromhex("3f410d")
master, slave = os.openpty()
os.set_blocking(master, False)
env = dict(os.environ, XDG_CONFIG_HOME=tempfile.mkdtemp())
station = subprocess.Popen([sys.argv[1], "--port", os.ttyname(slave), "--listen", f"127.0.0.1:{PORT}"],
                           env=env, stderr=subprocess.DEVNULL)
time.sleep(1.0)


def read_line(timeout=1.0):
    out, end = b"", time.perf_counter() + timeout
    while time.perf_counter() < end:
        if select.select([master], [], [], 0.001)[0]:
            out += os.read(master, 4096)
            yield out
    yield out


def pct(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(len(values) * p / 100))]


def ws_open():
    s = socket.create_connection(("127.0.0.1", PORT))
    key = base64.b64encode(os.urandom(16)).decode()
    s.sendall(f"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\nUpgrade: websocket\r\n"
              f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n".encode())
    assert b" 101 " in s.recv(4096)
    return s


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


try:
    conn = http.client.HTTPConnection("127.0.0.1", PORT)
    post = []
    for i in range(200):
        os.read(master, 65536) if select.select([master], [], [], 0)[0] else None
        start = time.perf_counter()
        conn.request("POST", "/api/v1/band", '{"band":"%s"}' % ("20" if i % 2 else "15"))
        conn.getresponse().read()
        for got in read_line():
            if len(got.replace(POLL, b"")) >= 11:
                post.append((time.perf_counter() - start) * 1000)
                break
        time.sleep(1 / 15)

    watcher = ws_open()
    watcher.setblocking(False)
    status = []
    for i in range(40):
        for got in read_line(2.0):  # answer the next poll with a new frequency
            if got.endswith(POLL):
                break
        try:
            watcher.recv(65536)
        except BlockingIOError:
            pass
        os.write(master, bytes.fromhex("404100%06x0000000000" % (1405000 + 100 * (i + 1))))
        start = time.perf_counter()
        select.select([watcher], [], [], 2.0)
        status.append((time.perf_counter() - start) * 1000)
    watcher.close()

    idle = [ws_open() for _ in range(16)]
    before = cpu_seconds(station.pid)
    time.sleep(10)
    idle_cpu = (cpu_seconds(station.pid) - before) / 10 * 100
    rss = int([l for l in open(f"/proc/{station.pid}/status") if l.startswith("VmRSS")][0].split()[1])
    for s in idle:
        s.close()

    conn = http.client.HTTPConnection("127.0.0.1", PORT)  # the first one idled past 30 s
    count, end = 0, time.perf_counter() + 10
    while time.perf_counter() < end:
        conn.request("GET", "/api/v1/state")
        conn.getresponse().read()
        count += 1
    print(f"POST -> last frame byte: p50 {statistics.median(post):.2f} ms, p99 {pct(post, 99):.2f} ms ({len(post)})")
    print(f"status on the line -> WebSocket message: p50 {statistics.median(status):.2f} ms, "
          f"p99 {pct(status, 99):.2f} ms ({len(status)})")
    print(f"16 idle WebSocket clients: {idle_cpu:.2f} % of a core")
    print(f"station RSS: {rss / 1024:.1f} MiB")
    print(f"GET /api/v1/state: {count / 10:.0f} per second")
finally:
    station.terminate()
    station.wait()
