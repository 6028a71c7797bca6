#!/usr/bin/python3
"""Renders each discovery document's templates as Home Assistant would, against one state
the station published, and holds the results to Home Assistant's documented rules.
argv[1]: {"documents": {topic: document}, "state": {...}}. Prints every broken rule."""
import json
import sys

from jinja2.sandbox import ImmutableSandboxedEnvironment

MISSING = object()


def strict(kind):
    # Home Assistant's float and int raise on a value they cannot convert, unless given a
    # default (templating docs, "Numeric functions and filters").
    def convert(value, default=MISSING):
        try:
            return kind(value)
        except (TypeError, ValueError):
            if default is MISSING:
                raise
            return default
    return convert


env = ImmutableSandboxedEnvironment()
env.filters = {"float": strict(float), "int": strict(int), "round": lambda v, p=0: round(float(v), p)}
given = json.loads(sys.argv[1])
state, faults = given["state"], []
answering = state["link"] == "answering"
results = [{"ok": True}, {"ok": False, "error": "message over 4 KiB"}]
for topic, doc in given["documents"].items():
    kind, name = topic.split("/")[1], doc["name"]
    values = [] if kind == "button" else results if doc["state_topic"].endswith("/result") else [state]
    shown = [env.from_string(doc["value_template"]).render(value_json=v) for v in values]
    if kind == "select":  # MQTT Select: one of options, or None for unknown
        accepted = lambda s: s in doc["options"] or s == "None"
    elif kind == "number":  # MQTT Number: min..max, or payload_reset (None) for unknown
        accepted = lambda s: s == "None" or doc["min"] <= float(s) <= doc["max"]
    elif kind == "switch":  # MQTT Switch: state_on/state_off, defaulting to payload_on/off
        accepted = lambda s: s in (doc.get("state_on", doc["payload_on"]), doc.get("state_off", doc["payload_off"]))
    elif kind == "binary_sensor":  # payload_on/payload_off, default ON/OFF; None: unknown
        accepted = lambda s: s in (doc.get("payload_on", "ON"), doc.get("payload_off", "OFF"), "None")
    else:  # MQTT Sensor: None for unknown; a value with a unit is a number
        accepted = lambda s: s == "None" or "unit_of_measurement" not in doc or float(s) == float(s)
    for s in shown:
        try:
            ok = accepted(s)
        except ValueError:
            ok = False
        if not ok:
            faults.append(f"{name} renders {s!r}")
    # Availability: with mode "all", a reading shows only while every topic says online.
    topics = [a["topic"] for a in doc.get("availability", [{"topic": doc.get("availability_topic")}])]
    reads_controller = any(t.endswith("/controller") for t in topics)
    if reads_controller != (name in ("Band", "Frequency kHz", "Pattern", "TUNING", "RETRACTING", "Frequency")):
        faults.append(f"{name} has availability {topics}")
    if reads_controller and doc.get("availability_mode") != "all":
        faults.append(f"{name} is available while one topic is")
    if name == "Connected" and shown != ["ON" if answering else "OFF"]:
        faults.append(f"Connected shows {shown} while the link is {state['link']}")
print("\n".join(faults))
sys.exit(1 if faults else 0)
