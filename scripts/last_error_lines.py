#!/usr/bin/env python3
"""frhost's JSON lines session of scripts/frhost-wine-test.sh: connect, a receipt
the driver refuses, disconnect. A call that returns false must carry the last
error in its reply; one that returns true, none. `check` prints one line per
problem and exits 1 when there is any.

usage: last_error_lines.py requests IP_PORT > requests.txt
       last_error_lines.py check replies.txt
"""

import argparse
import json
import sys

# (method, parameters, the result it must return)
CALLS = [
    ("Open", [""], True),
    ("ProcessCheck", ["0", "abc", "<CheckPackage/>"], False),
    ("Close", [""], True),
]


def requests(ip_port):
    lines = [{"set": "PortNumber", "value": 9999}, {"set": "IPPort", "value": int(ip_port)}]
    return lines + [{"call": name, "params": params} for name, params, _ in CALLS]


def problems(replies):
    settings = len(requests(0)) - len(CALLS)
    if len(replies) != settings + len(CALLS):
        return ["%d replies" % len(replies)]
    found = []
    for (name, _, result), reply in zip(CALLS, replies[settings:]):
        shown = json.dumps(reply, ensure_ascii=False)
        if reply.get("return") != {"vt": 11, "v": result}:
            found.append("%s should return %s: %s" % (name, str(result).lower(), shown))
        error = reply.get("lasterror")
        if result and error is not None:
            found.append("%s returned true with a last error: %s" % (name, shown))
        if not result and not (isinstance(error, dict) and error.get("code") and error.get("text")):
            found.append("%s returned false without the last error: %s" % (name, shown))
    return found


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("requests", help="print the request lines").add_argument("ip_port")
    commands.add_parser("check", help="check frhost's reply lines").add_argument("replies")
    args = parser.parse_args(argv)
    if args.command == "requests":
        for line in requests(args.ip_port):
            print(json.dumps(line))
        return 0
    with open(args.replies, encoding="utf-8") as f:
        lines = [line for line in f if line.strip()]
    try:
        replies = [json.loads(line) for line in lines]
    except ValueError as e:
        print("not a JSON line among the replies: %s" % e)
        return 1
    found = problems(replies)
    for problem in found:
        print(problem)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
