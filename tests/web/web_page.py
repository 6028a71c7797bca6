#!/usr/bin/python3
"""The web page in headless Chromium (Selenium) against the real tarvik-station: first on
a pseudo-terminal peer whose bytes are checked and whose status replies the test writes,
then with a token, then on the simulated controller. Clicks are real WebDriver clicks.
Usage: web_page.py STATION AXE_JS  (docs/web-screenshots.py makes the README's pictures with it)"""

import atexit, json, os, signal, socket, subprocess, sys, tempfile, threading, time, tty, urllib.request

from selenium import webdriver
from selenium.webdriver.common.by import By

STATION, AXE = (sys.argv + ["", ""])[1:3]  # bench/web_latency.py sets them itself
CHROMIUM_FLAGS = ("--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                  "--disable-background-networking --disable-component-update --disable-sync").split()
NAMES = [f"{b} m" for b in ["80", "40", "30", "20", "17", "15", "12", "10", "6"]] + [
    "180", "BiDir", "Home", "Calibrate", "En Xcvr", "Dis Xcvr", "UP", "DN", "Follow Radio", "Frequency"]
failures, stations = [], set()  # every station started, stopped at exit whatever ends the run
for sig in (signal.SIGTERM, signal.SIGALRM):  # CTest's timeout kills outright: end first, tidily
    signal.signal(sig, lambda number, _: sys.exit(f"ended by {signal.Signals(number).name}"))
signal.alarm(int(os.environ.get("TARVIK_DEADLINE_SECONDS", "0")))
atexit.register(lambda: [s.stop() for s in stations])


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what, flush=True)
    failures.extend([] if condition else [what])


def wait_for(predicate, seconds=5.0):
    end = time.monotonic() + seconds
    while not (result := predicate()) and time.monotonic() < end:
        time.sleep(0.05)
    return result


class Peer:
    """The controller's end of a pseudo-terminal: records command frames, answers polls."""

    def __init__(self):
        self.master, slave = os.openpty()
        tty.setraw(slave)
        self.device = os.ttyname(slave)  # the slave stays open so the line never hangs up
        self.frames, self.arrived, self.reply = [], [], self.status(1405000, 0, 0x00)
        self.hung_up = False  # set: the master closes at the next read, and the line is lost
        threading.Thread(target=self.serve, daemon=True).start()

    @staticmethod
    def status(units, moving, code):
        return bytes([0x40, 0x41, 0x00]) + units.to_bytes(3, "big") + bytes([moving, code, 0, 0, 0])

    def serve(self):
        buffer = b""
        while not self.hung_up and (chunk := os.read(self.master, 256)):
            buffer, now = buffer + chunk, time.time()  # wall clock, as the page's clock
            while buffer:
                if buffer.startswith(b"?A\r"):
                    buffer = buffer[3:]
                    if self.reply:
                        os.write(self.master, self.reply)
                elif buffer.startswith(b"@A"):
                    if len(buffer) < 11:
                        break
                    self.frames.append(buffer[:11])
                    self.arrived.append(now)
                    buffer = buffer[11:]
                else:
                    buffer = buffer[1:]
        os.close(self.master)

    def sent(self, hex_frame, seconds=3.0):
        return wait_for(lambda: bytes.fromhex(hex_frame) in self.frames, seconds)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Station:
    def __init__(self, *args, conf=b""):
        self.port, self.args, self.process, self.conf = free_port(), args, None, conf
        self.url, self.log = f"http://127.0.0.1:{self.port}/", tempfile.mktemp()

    def start(self):
        home = tempfile.mkdtemp()
        os.makedirs(f"{home}/TarvikDesk")
        with open(f"{home}/TarvikDesk/TarvikDesk.conf", "wb") as f:
            f.write(self.conf)
        self.process = subprocess.Popen([STATION, "--listen", f"127.0.0.1:{self.port}", *self.args],
                                        env=dict(os.environ, XDG_CONFIG_HOME=home, HOME=home), process_group=0,
                                        stderr=open(self.log, "w"))
        stations.add(self)
        wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", self.port)) == 0, 10)
        return self

    def stop(self):  # its whole group, so that nothing it started outlives it either
        if self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()


def browser():
    options = webdriver.ChromeOptions()
    for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + tempfile.mkdtemp()]:
        options.add_argument(flag)
    return webdriver.Chrome(options=options)


def lamp(driver, name):
    return driver.find_element(By.CSS_SELECTOR, f'[data-lamp="{name}"]').get_attribute("aria-label")


def control(driver, name):
    return driver.find_element(By.XPATH, f"//*[@aria-label='{name}' or (self::button and text()='{name}')]")


def shown(driver, **expected):
    """The frequency display and lamps as named → wanted words, e.g. TUNING='red'."""
    def now():
        got = {k.replace("_", " "): control(driver, k).get_attribute("value") if k == "Frequency"
               else lamp(driver, k.replace("_", " ")).split(": ")[1] for k in expected}
        return got == {k.replace("_", " "): v for k, v in expected.items()}
    return wait_for(now, 1.5)


def on_the_peer(driver):
    peer, rig_port = Peer(), free_port()  # Hamlib's dummy radio keeps the PTT it is set to
    atexit.register(subprocess.Popen(["rigctld", "-m", "1", "-P", "RIG", "-t", str(rig_port)]).kill)
    station = Station("--port", peer.device, "--rig", f"127.0.0.1:{rig_port}").start()
    driver.get(station.url)
    check(wait_for(lambda: shown(driver, Frequency="14.050", Connected="green"), 10),
          "the peer's first reply shows 14.050, Connected green")
    check(all(control(driver, n).accessible_name == n for n in NAMES), "every control has its desktop name")
    driver.set_window_size(360, 740)  # a phone: no sideways scrolling, every target 44 px
    check(driver.execute_script("return document.documentElement.scrollWidth <= innerWidth && [...document"
                                ".querySelectorAll('button')].every(b => !b.offsetParent || b.getBoundingClientRect().height >= 44)"),
          "at 360 px: no sideways scrolling, and every button at least 44 px high")
    control(driver, "20 m").click()
    check(peer.sent("404100 157048 0000 31 300D"), "a click on 20 m puts 40 41 00 15 70 48 00 00 31 30 0D on the wire")
    check(shown(driver, **{"20_m_lamp": "green", "80_m_lamp": "red"}), "the 20 m lamp is lit, the others not")
    (rig := socket.create_connection(("127.0.0.1", rig_port))).sendall(b"T 1\n")
    check(wait_for(lambda: shown(driver, TX_lamp="red"), 3), "the radio keyed: the TX lamp is red")
    control(driver, "40 m").click()
    check(wait_for(lambda: driver.find_element(By.ID, "error").text == "40 m refused: transmitting")
          and len(peer.frames) == 1 and shown(driver, TX_lamp="red", **{"20_m_lamp": "green"}),
          "while it transmits, 40 m is refused in words, writes nothing and leaves the 20 m lamp lit")
    rig.sendall(b"T 0\n")
    check(wait_for(lambda: shown(driver, TX_lamp="green"), 3), "back on receive: the TX lamp is green")
    peer.reply = Peer.status(1407400, 1, 0x40)
    check(shown(driver, Frequency="14.074", TUNING="red", **{"180_lamp": "green", "BiDir_lamp": "red"}),
          "a new status from the peer shows within one second: 14.074, TUNING red, 180 lamp green")
    control(driver, "180").click()  # lit: back to normal (each toggle's variants: the station's test)
    check(peer.sent("404100 1579A8 0000 31 300D"), "180 while reversed sends the normal pattern")
    control(driver, "Calibrate").click()
    dialog = driver.find_element(By.ID, "confirm")
    check(dialog.is_displayed() and dialog.accessible_name == "Calibrate the antenna?", "Calibrate asks first")
    driver.find_element(By.ID, "confirm-cancel").click()
    control(driver, "Calibrate").click()
    driver.find_element(By.ID, "confirm-ok").click()
    check(peer.sent("404100 000000 0000 56 300D") and sum(f[8] == 0x56 for f in peer.frames) == 1,
          "Cancel sends nothing; the confirmed Calibrate sends one frame")
    peer.reply = None
    check(wait_for(lambda: "Controller not answering for" in driver.find_element(By.ID, "link").text, 6)
          and lamp(driver, "Connected") == "Connected: red", "a silent controller: Connected red and the words")
    check("Controller not answering" in driver.find_element(By.ID, "announcer").text,
          "the live region says the controller is not answering")
    peer.reply = Peer.status(1407400, 0, 0x00)
    station.stop()
    banner = driver.find_element(By.ID, "banner")
    check(wait_for(banner.is_displayed, 3) and not control(driver, "20 m").is_enabled(),
          "a stopped station: the banner shows and the controls are disabled")
    station.start()
    check(wait_for(lambda: not banner.is_displayed() and control(driver, "20 m").is_enabled(), 10),
          "the restarted station: the page recovers by itself")
    driver.execute_script(open(AXE).read())
    result = driver.execute_async_script("axe.run().then(arguments[arguments.length - 1])")
    bad = [v["id"] for v in result["violations"] if v["impact"] in ("serious", "critical")]
    check(not bad, f"axe-core finds no serious or critical violation {bad}")
    peer.hung_up = True
    check(wait_for(lambda: driver.find_element(By.ID, "link").text.startswith("Connection to /dev/")
                   and lamp(driver, "Connected") == "Connected: red"), "a lost line: Connected red, and the words")
    control(driver, "20 m").click()
    check(wait_for(lambda: driver.find_element(By.ID, "error").text == "20 m refused: the serial port is closed"),
          "a command the station refuses shows its words on the page")
    station.stop()


def with_a_token(driver):
    token_file, view_file = tempfile.mktemp(), tempfile.mktemp()
    for path, token in ((token_file, "s3cret-token-for-the-test"), (view_file, "view-token-for-the-test")):
        with open(path, "w", opener=lambda p, f: os.open(p, f, 0o600)) as f:  # only its owner reads it
            f.write(token + "\n")
    station = Station("--simulate", "--token-file", token_file, conf=f"[Remote]\nViewTokenFile={view_file}\n".encode()).start()
    driver.get(station.url)
    check(wait_for(lambda: driver.find_element(By.ID, "login").is_displayed()), "a token: the login form first")
    field = driver.find_element(By.ID, "token")
    check(field.get_attribute("type") == "password", "the token goes in a password field")
    field.send_keys("wrong\n")
    check(wait_for(lambda: driver.find_element(By.ID, "login-error").text == "Wrong token."), "a wrong token is refused")
    field.clear()
    field.send_keys((token := "s3cret-token-for-the-test") + "\n")
    opened = lambda: open(station.log).read().count("WS open 101")
    check(wait_for(lambda: control(driver, "20 m").is_enabled() and opened() == 1), "the right token opens the panel")
    driver.execute_script("document.getElementById('token').value = arguments[0];"  # a second login: one socket stays
                          "document.getElementById('login').requestSubmit();", token)
    check(wait_for(lambda: opened() == 2) and wait_for(lambda: json.load(urllib.request.urlopen(urllib.request.Request(
        station.url + "api/v1/state", headers={"Authorization": "Bearer " + token})))["clients"] == 1), "two logins leave one socket")
    check("s3cret" not in driver.current_url, "the token is never in the URL")
    driver.find_element(By.ID, "logout").click()
    check(wait_for(lambda: driver.find_element(By.ID, "login").is_displayed()), "Log out shows the login form")
    driver.refresh()
    check(wait_for(lambda: driver.find_element(By.ID, "login").is_displayed()), "and the session is over at the station")
    driver.find_element(By.ID, "token").send_keys("view-token-for-the-test\n")
    note = driver.find_element(By.ID, "view-only")
    buttons = [control(driver, n) for n in NAMES[:-1]]
    check(wait_for(note.is_displayed) and wait_for(lambda: opened() == 3) and not any(b.is_enabled() for b in buttons)
          and all(b.accessible_name == n and "view-only" in b.get_attribute("aria-describedby") for b, n in zip(buttons, NAMES))
          and note.text.startswith("View only"), "a view token: every control disabled, by name, described by the View only note")


if __name__ == "__main__":
    driver = browser()
    try:
        for case in (on_the_peer, with_a_token):
            try:
                case(driver)
            except Exception as error:  # one broken case must not hide the others
                check(False, f"{case.__name__}: {type(error).__name__}: {error}")
    finally:
        driver.quit()
    print(f"{len(failures)} failed" if failures else "all passed")
    sys.exit(1 if failures else 0)
