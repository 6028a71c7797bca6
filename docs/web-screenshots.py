#!/usr/bin/python3
"""The README's pictures of the web page: the real tarvik-station on its simulated
controller in headless Chromium, at 360x740 and 1280x800, light and dark.
Usage: docs/web-screenshots.py build/default/bin/tarvik-station [OUT_DIR]"""

import os, sys, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import web_page  # noqa: E402  (the test's browser, station and helpers)

web_page.STATION = sys.argv[1]
out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "screenshots")
os.makedirs(out, exist_ok=True)
driver = web_page.browser()
station = web_page.Station("--simulate").start()
try:
    driver.get(station.url)
    web_page.shown(driver, Frequency="14.050")
    for scheme in ["light", "dark"]:
        driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                               {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
        for width, height in [(360, 740), (1280, 800)]:
            driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                                   {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})
            time.sleep(0.3)
            path = os.path.join(out, f"web-{width}x{height}-{scheme}.png")
            driver.save_screenshot(path)
            print(path)
finally:
    station.stop()
    driver.quit()
