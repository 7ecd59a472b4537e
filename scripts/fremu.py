#!/usr/bin/env python3
"""The scripts' side of the register emulator (fremu): where it listens, one
request on its control channel, and the checks of its journal after a run.

usage: fremu.py where [--pid PID] [--seconds S] FREMU_OUT KEY...
       fremu.py ask CONTROL_PORT REQUEST_JSON
       fremu.py journal CONTROL_PORT [--kinds K... [--times N] [--among-others]]
                        [--receipts N] [--sign S [--shift N]] [--check-package] [--channel C]

`where` waits for fremu's first output line and prints the values of the dotted
KEYs (tcp.port, pty, control.port) on one line. `journal` prints one line per
problem and exits 1 when there is any.
"""

import argparse
import json
import os
import socket
import sys
import time

# examples/check.xml as the emulator books it.
CHECK_PACKAGE_TOTAL = "434.8"
CHECK_PACKAGE_ITEMS = 4


def first_line(path, pid=None, seconds=10.0):
    """fremu's first complete output line, or None when it has not come within
    <seconds> or the process <pid> has ended without it."""
    deadline = time.monotonic() + seconds
    while True:
        alive = pid is None or running(pid)
        try:
            with open(path, encoding="utf-8") as f:
                line = f.readline()
        except FileNotFoundError:
            line = ""
        if line.endswith("\n"):
            return line.strip()
        if not alive or time.monotonic() >= deadline:
            return None
        time.sleep(0.05)


def running(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


def fields(line, keys):
    """The values of the dotted <keys> in the JSON object <line>."""
    values = []
    record = json.loads(line)
    for key in keys:
        v = record
        for part in key.split("."):
            v = v[part]
        values.append(str(v))
    return values


def ask(port, request, timeout=15):
    """One control request (a JSON text); the reply line without its end."""
    with socket.create_connection(("127.0.0.1", int(port)), timeout=timeout) as s:
        s.sendall(request.encode() + b"\n")
        reply = b""
        while not reply.endswith(b"\n"):
            chunk = s.recv(65536)
            if not chunk:
                break
            reply += chunk
    return reply.decode().strip()


def journal_problems(documents, requests=None, kinds=None, among_others=False, receipts=None,
                     sign=None, shift=None, check_package=False, channel=None):
    """What is wrong with the emulator's journal against what a run expects.

    kinds: the document kinds in order; with among_others, documents of other
    kinds are left out before comparing. receipts: how many there are. sign: the
    receipt with that fiscal sign is there exactly once. shift: the last receipt
    is the one with <sign>, in that shift, not cancelled. check_package: the last
    receipt holds examples/check.xml. channel: a request came over it."""
    problems = []
    found = [d for d in documents if d["kind"] == "receipt"]
    last = found[-1] if found else {}
    if receipts is not None and len(found) != receipts:
        problems.append("%d receipts after %d runs" % (len(found), receipts))
    if sign is not None and [d.get("fiscal_sign") for d in found].count(sign) != 1:
        problems.append("the receipt with fiscal sign %d is not there exactly once" % sign)
    if shift is not None and (last.get("fiscal_sign") != sign or last.get("shift") != shift
                              or last.get("cancelled")):
        problems.append("the last receipt is not the one reported: %s"
                        % json.dumps(last, ensure_ascii=False))
    if check_package and (last.get("total") != CHECK_PACKAGE_TOTAL
                          or len(last.get("items", [])) != CHECK_PACKAGE_ITEMS):
        problems.append("the last receipt does not hold the check package")
    if kinds is not None:
        got = [d["kind"] for d in documents if not among_others or d["kind"] in kinds]
        if got != kinds:
            problems.append("documents: %s" % got)
    if channel is not None and not any(r.get("channel") == channel for r in requests or []):
        problems.append("no request came over %s" % channel)
    return problems


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)

    p = commands.add_parser("where", help="where the emulator listens")
    p.add_argument("--pid", type=int, help="give up when this process ends")
    p.add_argument("--seconds", type=float, default=10.0)
    p.add_argument("output", help="the file fremu's standard output goes to")
    p.add_argument("keys", nargs="+")

    p = commands.add_parser("ask", help="one control request; prints the reply")
    p.add_argument("control")
    p.add_argument("request")

    p = commands.add_parser("journal", help="check the documents the emulator made")
    p.add_argument("control")
    p.add_argument("--kinds", nargs="+", help="the documents' kinds, in order")
    p.add_argument("--times", type=int, default=1, help="the kinds come that many times over")
    p.add_argument("--among-others", action="store_true",
                   help="documents of other kinds may come between them")
    p.add_argument("--receipts", type=int)
    p.add_argument("--sign", type=int)
    p.add_argument("--shift", type=int)
    p.add_argument("--check-package", action="store_true")
    p.add_argument("--channel")

    args = parser.parse_args(argv)
    if args.command == "where":
        line = first_line(args.output, args.pid, args.seconds)
        if line is None:
            print("no line from the emulator in %s" % args.output, file=sys.stderr)
            return 1
        print(" ".join(fields(line, args.keys)))
        return 0
    if args.command == "ask":
        print(ask(args.control, args.request))
        return 0

    if args.shift is not None and args.sign is None:
        parser.error("--shift needs --sign")
    replies = {}
    for name in ["documents"] + (["requests"] if args.channel else []):
        try:
            replies[name] = json.loads(ask(args.control, json.dumps({"cmd": name})))[name]
        except (OSError, ValueError, KeyError) as e:
            print("no answer to %s: %s" % (name, e))
            return 1
    problems = journal_problems(
        replies["documents"], replies.get("requests"),
        kinds=args.kinds * args.times if args.kinds else None,
        among_others=args.among_others, receipts=args.receipts, sign=args.sign,
        shift=args.shift, check_package=args.check_package, channel=args.channel)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
