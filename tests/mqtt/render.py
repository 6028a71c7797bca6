#!/usr/bin/python3
# Every rule of Home Assistant's documentation broken by a discovery document, rendered
# against one state: argv[1] is {"documents": {topic: document}, "state": {...}}.
import json
import sys

from jinja2.sandbox import ImmutableSandboxedEnvironment


def strict(kind):  # Templating, "Numeric functions and filters": no default, no mercy
    def convert(value, default=strict):
        try:
            return kind(value)
        except (TypeError, ValueError):
            if default is strict:
                raise
            return default
    return convert


env = ImmutableSandboxedEnvironment()  # and only filters Home Assistant has
env.filters = {"float": strict(float), "int": strict(int), "round": lambda v, p=0: round(float(v), p)}
given = json.loads(sys.argv[1])
state, faults = given["state"], []
readings = ("Band", "Frequency kHz", "Pattern", "TUNING", "RETRACTING", "Frequency")
for topic, doc in given["documents"].items():
    kind, name, get = topic.split("/")[1], doc["name"], doc.get
    on_off = (get("payload_on", "ON"), get("payload_off", "OFF"))
    accepts = {  # None: unknown, for each kind but the switch
        "select": lambda s: s in doc["options"] + ["None"],  # MQTT Select: one of options
        "number": lambda s: s == "None" or doc["min"] <= float(s) <= doc["max"],  # MQTT Number
        "switch": lambda s: s in (get("state_on", on_off[0]), get("state_off", on_off[1])),  # MQTT Switch
        "binary_sensor": lambda s: s in on_off + ("None",),  # MQTT Binary Sensor
        "sensor": lambda s: s == "None" or "unit_of_measurement" not in doc or float(s) == float(s),
    }
    results = [{"ok": True}, {"ok": False, "error": "message over 4 KiB"}]
    for v in [] if kind == "button" else results if doc["state_topic"].endswith("/result") else [state]:
        shown = env.from_string(doc["value_template"]).render(value_json=v)
        try:
            ok = accepts[kind](shown)
        except ValueError:
            ok = False
        if not ok or (name == "Connected" and (shown == "ON") != (state["link"] == "answering")):
            faults.append(f"{name} renders {shown!r} with the link {state['link']}")
    for ptt, want in (("on", "ON"), ("off", "OFF"), ("unknown", "None")) if name == "TX" else ():
        if (shown := env.from_string(doc["value_template"]).render(value_json=dict(state, ptt=ptt))) != want:
            faults.append(f"TX renders {shown!r} for PTT {ptt}")
    # Availability: with mode "all" an entity shows only while every topic says online.
    topics = [a["topic"] for a in get("availability", [{"topic": get("availability_topic")}])]
    if (name in readings) != (topics[-1].endswith("/controller") and get("availability_mode") == "all"):
        faults.append(f"{name} is available by {topics}")
print("\n".join(faults))
sys.exit(1 if faults else 0)
