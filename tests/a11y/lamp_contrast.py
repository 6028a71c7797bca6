#!/usr/bin/python3
"""Lit and unlit lamps must differ in more than hue.

About one man in twelve cannot tell red from green, so a lit lamp has to be brighter
and carry a mark (a highlight) that an unlit one lacks. This takes a real screenshot
of the running panel, finds the lamps through the accessibility tree, turns the
pixels inside each lamp to greyscale (Rec. 601 luma) and compares:

- the lit lamp's mean luminance is at least 40 % above the unlit one's, both as a
  share of the lit lamp's and of full scale;
- the lit lamp has a near-white highlight; the unlit lamp is flat.

Usage (CTest runs it): xvfb-run -a dbus-run-session -- lamp_contrast.py tarvik-desk SCALE
"""

import os
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_walk as walk  # noqa: E402  (shares the panel start-up and tree helpers)

import pyatspi  # noqa: E402

LAMP_DIAMETER = 15  # logical pixels, as Indicator paints it
RIM = 1.5  # logical pixels left out at the edge, where the lamp blends into black


def luma(r, g, b):
    return 0.299 * r + 0.587 * g + 0.114 * b


def pixels_per_unit(main_window):
    """Screen pixels per unit of the extents the tree reports.

    Qt reports extents in its own device-independent pixels, so with QT_SCALE_FACTOR
    they no longer match the screen; the window's size on the X server tells by how much.
    """
    window = subprocess.run(["xdotool", "search", "--sync", "--name", walk.MAIN_TITLE],
                            capture_output=True, text=True, check=True).stdout.split()[0]
    shape = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window],
                           capture_output=True, text=True, check=True).stdout
    width = int(dict(line.split("=", 1) for line in shape.split())["WIDTH"])
    return width / main_window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS).width


def lamp_pixels(shot, extents, unit, scale):
    """Greyscale values of the screenshot pixels inside the lamp's circle."""
    x, y, w, h = (round(v * unit) for v in extents)
    text = subprocess.run(["convert", shot, "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                           "-depth", "8", "txt:-"], capture_output=True, text=True,
                          check=True).stdout
    cx, cy = (w - 1) / 2.0, (h - 1) / 2.0
    radius = (LAMP_DIAMETER / 2.0 - RIM) * scale
    values = []
    for line in text.splitlines()[1:]:
        position, _, rest = line.partition(":")
        px, py = (int(v) for v in position.split(","))
        channels = rest.split("(", 1)[1].split(")", 1)[0].split(",")
        r, g, b = (float(c) for c in channels[:3])
        if (px - cx) ** 2 + (py - cy) ** 2 <= radius ** 2:
            values.append(luma(r, g, b))
    return values


def scenario(scale):
    def run(app):
        main_window = walk.wait_for(lambda: walk.frame(app, lambda n: n == walk.MAIN_TITLE), 30)
        if not walk.check(main_window is not None, "the main window is in the tree"):
            return
        lit = walk.wait_for(lambda: (o := walk.find(main_window, "image", "Connected"))
                            and o.description == "green" and o, 20)
        unlit = walk.find(main_window, "image", "180 lamp")
        if not walk.check(lit is not None and unlit is not None and unlit.description == "red",
                          "'Connected' is lit (green) and '180 lamp' unlit (red)"):
            return
        walk.pump(1.0)  # let the change reach the screen
        with tempfile.TemporaryDirectory() as folder:
            shot = os.path.join(folder, "panel.png")
            subprocess.run(["import", "-window", "root", shot], check=True)
            unit = pixels_per_unit(main_window)
            lit_values = lamp_pixels(shot, lit.queryComponent().getExtents(
                pyatspi.DESKTOP_COORDS), unit, scale)
            unlit_values = lamp_pixels(shot, unlit.queryComponent().getExtents(
                pyatspi.DESKTOP_COORDS), unit, scale)
        if not walk.check(lit_values and unlit_values, "the lamps are on the screenshot"):
            return
        lit_mean = sum(lit_values) / len(lit_values)
        unlit_mean = sum(unlit_values) / len(unlit_values)
        relative = (lit_mean - unlit_mean) / lit_mean
        absolute = (lit_mean - unlit_mean) / 255.0
        print(f"scale {scale}: lit mean luma {lit_mean:.1f}, unlit {unlit_mean:.1f} "
              f"({len(lit_values)} pixels each side); difference {absolute:.0%} of full "
              f"scale, {relative:.0%} of the lit lamp")
        walk.check(relative >= 0.40, f"lit is {relative:.0%} brighter than unlit (>= 40 %)")
        walk.check(absolute >= 0.40, f"the difference is {absolute:.0%} of full scale (>= 40 %)")
        walk.check(max(lit_values) >= 200,
                   f"the lit lamp has a highlight (brightest {max(lit_values):.0f} >= 200)")
        spread = max(unlit_values) - min(unlit_values)
        walk.check(spread <= 25, f"the unlit lamp is flat (spread {spread:.0f} <= 25)")
    return run


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: lamp_contrast.py PATH/TO/tarvik-desk SCALE")
    scale = float(sys.argv[2])
    walk.run_panel(sys.argv[1], scenario(scale), extra_env={"QT_SCALE_FACTOR": sys.argv[2]},
                   tools=("import", "convert", "xdotool"))
    return walk.verdict()


if __name__ == "__main__":
    sys.exit(main())
