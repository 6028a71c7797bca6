"""What the bench scripts of the headless station share: the controller's end of a
pseudo-terminal, a WebSocket client, the station's processor time and memory, and waiting."""

import base64, os, select, socket, statistics, threading, time, tty

POLL = b"?A\r"


def status_frame(units):  # a reading in 10 Hz units, idle, the normal pattern
    return bytes([0x40, 0x41, 0x00]) + units.to_bytes(3, "big") + bytes(5)


class Line:
    """The controller's end of the pseudo-terminal: answers every poll with `reply`, at once or
    `delay` seconds later; notes when a reply differing from the one before goes out, and when
    each command frame is read."""

    def __init__(self):
        self.master, self.slave = os.openpty()  # the slave stays open: the line never hangs up
        tty.setraw(self.slave)
        self.device, self.reply, self.polls = os.ttyname(self.slave), status_frame(1405000), 0
        self.changed_at, self.frames, self.delay, self.last = [], [], 0.0, None
        threading.Thread(target=self.serve, daemon=True).start()

    def answer(self, reply):
        if reply != self.last:
            self.changed_at.append(time.perf_counter())
        os.write(self.master, reply)
        self.last = reply

    def serve(self):
        buffer, self.task = b"", f"{os.getpid()}/task/{threading.get_native_id()}"
        while chunk := os.read(self.master, 256):
            buffer, now = buffer + chunk, time.perf_counter()
            while buffer:
                if buffer[:3] == POLL:
                    buffer, self.polls = buffer[3:], self.polls + 1
                    if self.delay:  # the reader goes on noting frames meanwhile
                        threading.Timer(self.delay, self.answer, [self.reply]).start()
                    else:
                        self.answer(self.reply)
                elif buffer[:2] == b"@A":
                    if len(buffer) < 11:
                        break
                    self.frames.append((now, buffer[:11]))
                    buffer = buffer[11:]
                elif POLL.startswith(buffer) or b"@A".startswith(buffer):
                    break  # the rest is still on its way
                else:
                    buffer = buffer[1:]


def wait_for(predicate, seconds):
    end = time.perf_counter() + seconds
    while not (result := predicate()) and time.perf_counter() < end:
        time.sleep(0.001)
    return result


def pct(values, p):
    return statistics.quantiles(values, n=100, method="inclusive")[p - 1]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def ws_open(port):
    s = socket.create_connection(("127.0.0.1", port))
    key = base64.b64encode(os.urandom(16)).decode()
    s.sendall(f"GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nUpgrade: websocket\r\n"
              f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n".encode())
    if b" 101 " not in s.recv(4096):
        raise SystemExit("the station refused the WebSocket")
    return s


def ws_wait(s, needle, seconds):
    """The time of the read that completes a message holding `needle` (the server's frames are
    unmasked, so the text is there as sent), or None."""
    data, end = b"", time.perf_counter() + seconds
    while needle not in data and select.select([s], [], [], max(0, end - time.perf_counter()))[0]:
        data += s.recv(65536)
    return time.perf_counter() if needle in data else None


def cpu_seconds(pid):
    """Time on a processor, all threads: the scheduler's own count in ns (schedstat). The
    utime and stime of /proc/PID/stat are sampled at the clock tick, which a process that
    wakes for a moment every 200 ms can meet every time or never: 0.2 to 0.8 % of a core
    over 10 s for what perf's task-clock measured as 0.15 to 0.3 %."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            total += int(open(f"/proc/{pid}/task/{task}/schedstat").read().split()[0])
        except (OSError, ValueError):
            pass  # a thread that ended meanwhile
    return total / 1e9


def rss_kib(pid):
    return int(next(l for l in open(f"/proc/{pid}/status") if l.startswith("VmRSS")).split()[1])


def run_delay_ms(task):
    """How long a thread (here, the station's main thread, which runs its event loop, or the
    line's reader) has waited for a processor."""
    return int(open(f"/proc/{task}/schedstat").read().split()[1]) / 1e6
