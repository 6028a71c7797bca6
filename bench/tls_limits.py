#!/usr/bin/python3
"""The API's limits under TLS, against the real station on the simulated controller, with a
certificate made for the run (openssl req, in a temporary folder):
- a 40 MB request header over TLS, sent in 64 KiB writes until the station answers or closes:
  what it answers, how much got sent, and the station's RSS before and after;
- 40 TCP connections that never start a handshake, then a TLS client's GET /api/v1/state: the
  time from its connect to the answer's first bytes (time.perf_counter()).
Usage: bench/tls_limits.py STATION"""

import os, socket, ssl, subprocess, sys, tempfile, time

STATION = sys.argv[1]
work = tempfile.mkdtemp()
cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                "/CN=127.0.0.1", "-keyout", key, "-out", cert], check=True, capture_output=True)
with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
station = subprocess.Popen([STATION, "--simulate", "--listen", f"127.0.0.1:{port}", "--cert", cert, "--key", key],
                           env=dict(os.environ, XDG_CONFIG_HOME=work, HOME=work), stderr=subprocess.DEVNULL)
context = ssl.create_default_context()
context.check_hostname, context.verify_mode = False, ssl.CERT_NONE
REQUEST = f"GET /api/v1/state HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n".encode()


def rss_mib():
    with open(f"/proc/{station.pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS")) / 1024


def tls():
    return context.wrap_socket(socket.create_connection(("127.0.0.1", port), timeout=10), server_hostname="127.0.0.1")


try:
    for _ in range(100):
        if socket.socket().connect_ex(("127.0.0.1", port)) == 0:
            break
        time.sleep(0.1)
    with tls() as warm:  # the first answer pays for loading what TLS needs
        warm.sendall(REQUEST + b"\r\n")
        warm.recv(100)
    before, sent, answer = rss_mib(), 0, b""
    with tls() as client:
        client.sendall(REQUEST + b"X: ")
        try:
            while sent < 40 * 1024 * 1024:
                client.sendall(b"x" * 65536)
                sent += 65536
        except OSError:
            pass  # closed behind its answer
        try:
            answer = client.recv(200)
        except OSError:
            pass
    time.sleep(0.5)
    status = answer.split(b"\r\n")[0].decode() or "no answer"
    print(f"40 MB header over TLS: {status} after {sent / 2**20:.1f} MiB sent; "
          f"RSS {before:.1f} MiB before, {rss_mib():.1f} MiB after")
    silent = [socket.create_connection(("127.0.0.1", port)) for _ in range(40)]
    time.sleep(0.3)
    start = time.perf_counter()
    with tls() as client:
        client.sendall(REQUEST + b"\r\n")
        status = client.recv(12)
    print(f"beside 40 silent sockets: {status.decode()} in {(time.perf_counter() - start) * 1000:.0f} ms")
finally:
    station.terminate()
    station.wait()
