#!/usr/bin/env python3
"""The demo's frhost session: the JSON request lines of the working day, and the
summary of frhost's replies that `make demo` prints (one line per call, with its
outputs). The summary's exit status is 1 when a call failed or a reply is missing.

usage: demo_session.py requests PORT EXAMPLES_DIR > requests.jsonl
       demo_session.py summary requests.jsonl replies.jsonl
"""

import argparse
import json
import sys
import xml.etree.ElementTree as ET


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def requests(port, examples):
    cashier = read(examples + "/input_parameters.xml")
    check = read(examples + "/check.xml")
    lines = [
        {"set": "PortNumber", "value": 9999},
        {"set": "IPAddress", "value": "127.0.0.1"},
        {"set": "IPPort", "value": int(port)},
        {"set": "WriteLog", "value": True},
    ]
    calls = [
        ("Open", [None]),
        ("DeviceTest", [None, None]),
        # The device test ends disconnected, as the platform's settings form expects.
        ("Open", [None]),
        ("OpenShift", [None, cashier]),
        ("ProcessCheck", [None, False, check]),
        ("GetCurrentStatus", [None]),
        ("CashInOutcome", [None, cashier, 1000]),
        ("PrintXReport", [None, cashier]),
        ("CloseShift", [None, cashier]),
        ("Close", [None]),
    ]
    for name, params in calls:
        lines.append({"call": name, "params": params})
        lines.append({"call": "GetLastError", "params": [None]})
    return lines


def value(v):
    return v.get("v", "") if isinstance(v, dict) else v


def number(v):
    x = value(v)
    return str(int(x)) if isinstance(x, float) and x.is_integer() else str(x)


def attributes(text):
    try:
        root = ET.fromstring(text.encode("utf-8"))
    except ET.ParseError:
        return text
    parts = []
    for element in root.iter():
        parts.extend("%s=%s" % kv for kv in element.attrib.items())
    return ", ".join(parts)


STATES = {1: "closed", 2: "open", 3: "open over 24 hours"}


def outputs(name, params):
    p = [value(x) for x in params]
    if name == "Open":
        return ["device id %s" % p[0]]
    if name == "DeviceTest":
        return [line for line in str(p[0]).splitlines() if line]
    if name in ("OpenShift", "CloseShift"):
        return ["shift %s, document %s" % (number(params[3]), number(params[4])),
                attributes(p[2])]
    if name == "ProcessCheck":
        return ["check %s, shift %s, fiscal sign %s, tax site %s"
                % (number(params[3]), number(params[4]), p[5], p[6])]
    if name == "GetCurrentStatus":
        state = int(p[3] or 0)
        return ["check %s, shift %s, shift state %d (%s)"
                % (number(params[1]), number(params[2]), state, STATES.get(state, "?")),
                attributes(p[4])]
    return []


def summary(sent, got):
    """Prints the summary of the replies <got> to the requests <sent>; true when
    every request was answered and every call succeeded."""
    failed = False
    if len(got) != len(sent):
        print("frhost answered %d of %d requests" % (len(got), len(sent)))
        failed = True
    pending = None
    for request, reply in zip(sent, got):
        if "set" in request:
            ok = reply.get("hresult") == 0 and reply.get("num", -1) >= 0
            print("%-18s %s = %s" % ("set", request["set"], json.dumps(request["value"])))
            failed |= not ok
            continue
        name = request["call"]
        if name != "GetLastError":
            pending = reply
            continue
        if pending is None:
            continue
        call = pending["call"]
        ok = pending.get("hresult") == 0 and value(pending.get("return")) is True
        code = value(reply.get("return"))
        text = value(reply.get("params", [""])[0])
        print("%-18s %s   [%s] %s" % (call, "true " if ok else "FALSE", code, text))
        if ok:
            for line in outputs(call, pending.get("params", [])):
                if line:
                    print("%-18s   %s" % ("", line))
        failed |= not ok
        pending = None
    return not failed


def json_lines(path):
    return [json.loads(line) for line in read(path).splitlines() if line.strip()]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("requests", help="print the request lines")
    p.add_argument("port")
    p.add_argument("examples")
    p = commands.add_parser("summary", help="summarise the replies")
    p.add_argument("requests")
    p.add_argument("replies")
    args = parser.parse_args(argv)
    if args.command == "requests":
        for line in requests(args.port, args.examples):
            print(json.dumps(line, ensure_ascii=False))
        return 0
    return 0 if summary(json_lines(args.requests), json_lines(args.replies)) else 1


if __name__ == "__main__":
    sys.exit(main())
