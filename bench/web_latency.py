#!/usr/bin/python3
"""The web page's figures, against the real station on a pseudo-terminal peer:
a band click → the frame's last byte on the wire (p50/p99 over 50 clicks, timed when the peer reads it), page load →
the first state shown, and what the page transfers.
Usage: bench/web_latency.py build/default/bin/tarvik-station"""

import os, statistics, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "web"))
import web_page
from web_page import Peer, Station, browser, control
from selenium.webdriver.common.by import By

web_page.STATION = sys.argv[1]
peer = Peer()
station = Station("--port", peer.device).start()
driver = browser()
try:
    loads = []
    for _ in range(10):
        driver.get("about:blank")
        start = time.perf_counter()
        driver.get(station.url)
        web_page.wait_for(lambda: control(driver, "Frequency").get_attribute("value"), 5)
        loads.append((time.perf_counter() - start) * 1000)
    resources = driver.execute_script(
        "return performance.getEntriesByType('resource').concat(performance.getEntriesByType('navigation'))"
        ".filter(e => !e.name.includes('/api/')).map(e => [e.name, e.transferSize, e.decodedBodySize])")
    clicks = []
    bands = ["20 m", "40 m"]
    web_page.wait_for(lambda: control(driver, "20 m").is_enabled(), 5)
    for i in range(50):
        count = len(peer.frames)
        button = control(driver, bands[i % 2])
        start = time.perf_counter()
        button.click()  # WebDriver returns once the click is dispatched; the frame may follow
        if web_page.wait_for(lambda: len(peer.arrived) > count, 2):
            clicks.append((peer.arrived[count] - start) * 1000)
        time.sleep(0.1)
finally:
    driver.quit()
    station.stop()

q = lambda data, p: statistics.quantiles(data, n=100, method="inclusive")[p - 1]
print(f"click → last frame byte: p50 {q(clicks, 50):.1f} ms, p99 {q(clicks, 99):.1f} ms (50 clicks, "
      "timed from the WebDriver call, so the driver's own round trip is in it)")
print(f"page load → first state shown: median {statistics.median(loads):.0f} ms, max {max(loads):.0f} ms (10 loads)")
print(f"page files: {sum(r[2] for r in resources)} bytes decoded in {len(resources)} requests")
for name, transferred, decoded in resources:
    print(f"  {name}: {decoded} bytes")
