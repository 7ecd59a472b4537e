#!/usr/bin/env python3
"""A 100-position receipt through frhost of two builds against one emulator process.

Usage: bench_compare_receipt.py FREMU ROUNDS NAME=FRHOST NAME=FRHOST ...
FREMU may be port:N, a register (or another stand-in for one) already listening on
loopback port N; FRHOST@N sends that build to port N instead.

Each round runs, for every build in turn, one frhost process that connects and
prints the receipt; the receipt's call is timed from its request line to its
reply line. The driver's own time is that less the 500 ms pause the driver must
make before reading the document's result (the host's share, the JSON line and
the call watcher, is in it); it is set beside the time the receipt's bytes take
on an 8N1 line of 115200 baud (counted from the driver's log of one more run).
Prints a Markdown table of medians.
"""

import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

POSITIONS = 100
PAUSE_S = 0.5
LINE_BAUD = 115200
SHIFT = ('<?xml version="1.0" encoding="UTF-8"?><InputParameters><Parameters '
         'CashierName="Кассир" CashierVATIN=""/></InputParameters>')


def package(n):
    rows = "".join(f'<FiscalString Name="Товар {i}" Quantity="1" PriceWithDiscount="10" '
                   f'SumWithDiscount="10" Tax="20"/>' for i in range(1, n + 1))
    return ('<?xml version="1.0" encoding="UTF-8"?><CheckPackage><Parameters PaymentType="1" '
            f'CashierName="Кассир"/><Positions>{rows}</Positions><Payments '
            f'ElectronicPayment="{10 * n}"/></CheckPackage>')


def requests(port, calls, log=False):
    lines = [{"set": "WriteLog", "value": log}, {"set": "PortNumber", "value": 9999},
             {"set": "IPAddress", "value": "127.0.0.1"}, {"set": "IPPort", "value": port},
             {"call": "Open", "params": [""]}]
    lines += calls + [{"call": "Close", "params": [""]}]
    return "".join(json.dumps(x, ensure_ascii=False) + "\n" for x in lines)


def run(frhost, data_dir, text):
    """Sends the request lines one by one; the seconds the next to last one took."""
    proc = subprocess.Popen([frhost, "--data-dir", data_dir], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    spent = 0.0
    lines = text.splitlines()
    for i, line in enumerate(lines):
        start = time.perf_counter()
        proc.stdin.write((line + "\n").encode())
        proc.stdin.flush()
        reply = proc.stdout.readline().decode()
        if i == len(lines) - 2:
            spent = time.perf_counter() - start
        if json.loads(reply).get("return", {}).get("v") is False:
            raise SystemExit(f"{frhost}: a call failed: {reply[:2000]}")
    proc.stdin.close()
    proc.wait()
    return spent


def logged_bytes(data_dir):
    count = 0
    for root, _, files in os.walk(data_dir):
        for name in files:
            if not name.endswith(".log"):
                continue
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                for line in f:
                    m = re.search(r"\t(?:->|<-) ((?:[0-9A-F]{2} )+)$", line.rstrip("\n") + " ")
                    if m:
                        count += len(m.group(1).split())
    return count


def main():
    fremu, rounds, builds = sys.argv[1], int(sys.argv[2]), [a.split("=", 1) for a in sys.argv[3:]]
    work = tempfile.mkdtemp(prefix="fr_compare_")
    emu = None
    if fremu.startswith("port:"):
        port = int(fremu[5:])
    else:
        emu = subprocess.Popen([fremu, "--port", "0", "--no-stdin"], stdout=subprocess.PIPE)
    try:
        if emu:
            port = json.loads(emu.stdout.readline())["tcp"]["port"]
        check = [{"call": "ProcessCheck", "params": ["", False, package(POSITIONS)]}]
        if emu:
            run(builds[0][1], work, requests(port, [{"call": "OpenShift", "params": ["", SHIFT]}]))
        wire_ms = {}
        def at(frhost):
            path, _, own = frhost.partition("@")
            return path, int(own) if own else port

        for name, frhost in builds:
            counted = []
            for calls in (check, []):
                folder = tempfile.mkdtemp(dir=work)
                path, peer = at(frhost)
                run(path, folder, requests(peer, calls, log=True))
                counted.append(logged_bytes(folder))
            wire_ms[name] = (counted[0] - counted[1]) * 10.0 / LINE_BAUD * 1000.0
        spent = {name: [] for name, _ in builds}
        for _ in range(rounds):
            for name, frhost in builds:
                path, peer = at(frhost)
                call = run(path, work, requests(peer, check))
                spent[name].append(((call - PAUSE_S) * 1000.0, call * 1000.0))
    finally:
        if emu:
            emu.terminate()
            emu.wait()
    print(f"| {POSITIONS}-position receipt through frhost, medians of {rounds} | call, ms | "
          "driver's own, ms | wire at 115200, ms | own / wire | own / wire, least of the rounds |")
    print("|---|---|---|---|---|---|")
    for name, rows in spent.items():
        own = statistics.median(r[0] for r in rows)
        least = min(r[0] for r in rows)
        print(f"| {name} | {statistics.median(r[1] for r in rows):.1f} | {own:.1f} | "
              f"{wire_ms[name]:.1f} | {own / wire_ms[name]:.3f} | {least / wire_ms[name]:.3f} |")


if __name__ == "__main__":
    main()
