#!/usr/bin/python3
"""The web page's figures, against the real station on the test's pseudo-terminal peer, timed
with the machine's wall clock on both sides so that the WebDriver's round trips stay out:
- click → wire: the click is dispatched inside the page, which notes the time just before it
  (performance.timeOrigin + now()); the peer notes when the frame's 11th byte is read from
  the master. 50 band clicks; beside them what the WebDriver call adds before the click.
- load → first state: the page marks 'tarvik-first-state' when it first renders a state;
  its startTime counts from the start of the navigation. 10 loads.
- what the page transfers.
Usage: bench/web_latency.py STATION [--doc docs/PERFORMANCE.md]  (--doc: replace the table
between the web:begin and web:end marks there)"""

import os, statistics, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
sys.dont_write_bytecode = True  # no __pycache__ left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from docblock import figures_table, replace_block
import web_page
from web_page import Peer, Station, browser, control, wait_for

CLICK = """const before = performance.timeOrigin + performance.now(), wall = Date.now();
document.querySelector(`[aria-label="${arguments[0]}"]`).click();
return [before, wall];"""
FIRST_STATE = "return performance.getEntriesByName('tarvik-first-state')[0]?.startTime"
# Where a load's time goes, each from the start of the navigation: the page's HTML in, its
# modules run, the state's reply in.
STEPS = """const n = performance.getEntriesByType('navigation')[0];
const state = performance.getEntriesByType('resource').find(e => e.name.endsWith('/api/v1/state'));
return [n.responseEnd, n.domContentLoadedEventStart, state.responseEnd];"""
DOC = sys.argv[sys.argv.index("--doc") + 1] if "--doc" in sys.argv else None

web_page.STATION = sys.argv[1]
peer = Peer()
station = Station("--port", peer.device).start()
driver = browser()
try:
    loads, load_calls, steps = [], [], []
    for _ in range(10):
        driver.get("about:blank")
        called = time.time()
        driver.get(station.url)
        loads.append(wait_for(lambda: driver.execute_script(FIRST_STATE), 5))
        load_calls.append(driver.execute_script("return performance.timeOrigin") - called * 1000)
        steps.append(driver.execute_script(STEPS))
    resources = driver.execute_script(
        "return performance.getEntriesByType('resource').concat(performance.getEntriesByType('navigation'))"
        ".filter(e => !e.name.includes('/api/')).map(e => [e.name, e.transferSize, e.decodedBodySize])")
    wires, driver_adds, clock_gap = [], [], []
    wait_for(lambda: control(driver, "20 m").is_enabled(), 5)
    for i in range(50):
        count = len(peer.arrived)
        called = time.time() * 1000
        clicked, wall = driver.execute_script(CLICK, ["20 m", "40 m"][i % 2])
        if wait_for(lambda: len(peer.arrived) > count, 2):
            wires.append(peer.arrived[count] * 1000 - clicked)
            driver_adds.append(clicked - called)
            clock_gap.append(abs(clicked - wall))
        time.sleep(0.1)
    driven = []  # the old way, for comparison: from the WebDriver click call to the wire
    for i in range(50):
        count, button = len(peer.arrived), control(driver, ["20 m", "40 m"][i % 2])
        called = time.time()
        button.click()
        if wait_for(lambda: len(peer.arrived) > count, 2):
            driven.append((peer.arrived[count] - called) * 1000)
        time.sleep(0.1)
finally:
    driver.quit()
    station.stop()

q = lambda data, p: statistics.quantiles(data, n=100, method="inclusive")[p - 1]
rows = [
    ("Click → wire: a band click in the page to the frame's 11th byte read on the pseudo-terminal, "
     f"{len(wires)} clicks", f"p50 {q(wires, 50):.1f} ms, p99 {q(wires, 99):.1f} ms", "p99 < 50 ms",
     "met" if q(wires, 99) < 50 else "**missed**"),
    ("What the WebDriver call adds before the click (not in the row above)",
     f"p50 {q(driver_adds, 50):.1f} ms, p99 {q(driver_adds, 99):.1f} ms", "", ""),
    ("The same from the WebDriver click call (element.click()), for comparison",
     f"p50 {q(driven, 50):.1f} ms, p99 {q(driven, 99):.1f} ms", "", ""),
    ("Load → first state: navigation start to the first state rendered, 10 loads",
     f"median {statistics.median(loads):.0f} ms, p90 {q(loads, 90):.0f} ms", "< 300 ms",
     "met" if q(loads, 90) < 300 else "**missed**"),
    ("Of which, medians from the navigation start: HTML in, modules run (DOMContentLoaded), "
     "state reply in", ", ".join(f"{statistics.median(s[k] for s in steps):.0f} ms" for k in range(3)), "", ""),
    ("What the WebDriver call adds before the navigation starts (not in the row above)",
     f"median {statistics.median(load_calls):.0f} ms", "", ""),
    (f"Page files: {len(resources)} requests, the last load's", f"{sum(r[1] for r in resources)} bytes transferred "
     f"(headers included), {sum(r[2] for r in resources)} bytes decoded", "reported", ""),
]
table = figures_table(rows, [
    f"Load average when the run ended: {' '.join(open('/proc/loadavg').read().split()[:3])}",
    f"The page's clock against Date.now(): at most {max(clock_gap):.1f} ms apart"])
print(table)
for name, transferred, decoded in resources:
    print(f"  {name}: {transferred} bytes transferred, {decoded} decoded")
if DOC:
    replace_block(DOC, "web", table)
