#!/usr/bin/python3
"""Checks a Prometheus text exposition strictly: every line is a HELP, TYPE or sample line of the
format; HELP and TYPE come once per family, before its samples; names and label names are valid;
label values are escaped as the format requires; no series appears twice; the text ends with a
line feed. The samples must also be what the prometheus_client parser reads from the same text.

Usage: check_metrics.py FILE [SENSORS]   (SENSORS: the number of tallyport_sensor_alarm samples)
"""
import math
import re
import sys

from prometheus_client.parser import text_string_to_metric_families

NAME = re.compile(r"[a-zA-Z_:][a-zA-Z0-9_:]*")
LABEL = re.compile(r"[a-zA-Z_][a-zA-Z0-9_]*")
TYPES = {"counter", "gauge", "histogram", "summary", "untyped"}


def fail(message, line_number=None):
    where = f"line {line_number}: " if line_number else ""
    sys.exit(f"check_metrics: {where}{message}")


def parse_labels(text, pos, n):
    """Parses {name="value",...} from text[pos] == '{'; returns (labels, next position)."""
    labels = {}
    pos += 1
    while True:
        if text[pos] == "}":
            return labels, pos + 1
        m = LABEL.match(text, pos)
        if not m:
            fail("bad label name", n)
        name = m.group(0)
        pos = m.end()
        if text[pos:pos + 2] != '="':
            fail("label without =\"", n)
        pos += 2
        value = []
        while True:
            if pos >= len(text):
                fail("unterminated label value", n)
            c = text[pos]
            if c == "\\":
                escaped = text[pos + 1:pos + 2]
                if escaped not in ("\\", '"', "n"):
                    fail(f"bad escape \\{escaped}", n)
                value.append("\n" if escaped == "n" else escaped)
                pos += 2
            elif c == '"':
                pos += 1
                break
            elif c == "\n":
                fail("raw line feed in a label value", n)
            else:
                value.append(c)
                pos += 1
        if name in labels:
            fail(f"label {name} twice", n)
        labels[name] = "".join(value)
        if text[pos] == ",":
            pos += 1
        elif text[pos] != "}":
            fail("labels not separated by ,", n)


def strict_parse(text):
    if not text.endswith("\n"):
        fail("the text does not end with a line feed")
    helped, typed, sampled, series = set(), {}, set(), set()
    samples = {}
    for n, line in enumerate(text[:-1].split("\n"), 1):
        if line.startswith("#"):
            parts = line.split(" ", 3)
            if len(parts) < 3 or parts[0] != "#" or parts[1] not in ("HELP", "TYPE"):
                fail("comment line that is neither HELP nor TYPE", n)
            name = parts[2]
            if not NAME.fullmatch(name):
                fail(f"bad metric name {name}", n)
            if name in sampled:
                fail(f"{parts[1]} of {name} after its samples", n)
            if parts[1] == "HELP":
                if name in helped:
                    fail(f"HELP of {name} twice", n)
                helped.add(name)
            else:
                if name in typed or len(parts) != 4 or parts[3] not in TYPES:
                    fail(f"bad or repeated TYPE of {name}", n)
                typed[name] = parts[3]
            continue
        m = NAME.match(line)
        if not m:
            fail("sample without a metric name", n)
        name = m.group(0)
        if name not in typed or name not in helped:
            fail(f"sample of {name} without HELP and TYPE", n)
        labels, pos = ({}, m.end())
        if line[pos:pos + 1] == "{":
            labels, pos = parse_labels(line + "\n", pos, n)
        if line[pos:pos + 1] != " ":
            fail("no blank before the value", n)
        fields = line[pos + 1:].split(" ")
        if len(fields) != 1:
            fail("timestamps are not expected", n)
        try:
            value = float(fields[0])
        except ValueError:
            fail(f"bad value {fields[0]}", n)
        key = (name, tuple(sorted(labels.items())))
        if key in series:
            fail(f"series {key} twice", n)
        series.add(key)
        sampled.add(name)
        samples[key] = value
    return samples


def library_parse(text):
    samples = {}
    for family in text_string_to_metric_families(text):
        for sample in family.samples:
            samples[(sample.name, tuple(sorted(sample.labels.items())))] = sample.value
    return samples


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    ours = strict_parse(text)
    theirs = library_parse(text)
    if ours.keys() != theirs.keys():
        fail(f"the parsers disagree: {set(ours) ^ set(theirs)}")
    for key, value in ours.items():
        if not (value == theirs[key] or (math.isnan(value) and math.isnan(theirs[key]))):
            fail(f"the parsers disagree on {key}")
    if len(sys.argv) > 2:
        alarms = [k for k in ours if k[0] == "tallyport_sensor_alarm"]
        if len(alarms) != int(sys.argv[2]):
            fail(f"{len(alarms)} tallyport_sensor_alarm samples, expected {sys.argv[2]}")
    print(f"{len(ours)} samples parsed")


if __name__ == "__main__":
    main()
