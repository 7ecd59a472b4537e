#!/usr/bin/env bash
# make demo: the driver's main job end to end. Starts the register emulator on a
# free TCP port and drives the component through frhost as the platform would:
# connect, test, open a shift, sell one receipt from examples/check.xml, read the
# status, put cash in, print an X report, close the shift, disconnect. Prints a
# summary of every call and the paper tape; exits non-zero when a call failed.
#
# FR_DEMO_BUILD_DIR builds the tools in another folder than the native preset's.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

bash scripts/setup.sh demo
if [[ -n "${FR_DEMO_BUILD_DIR:-}" ]]; then
  build_dir=$FR_DEMO_BUILD_DIR
  cmake --preset native -B "$build_dir" >/dev/null
  cmake --build "$build_dir" --target frhost fremu
else
  build_dir=$here/build/native
  cmake --preset native >/dev/null
  cmake --build --preset native --target frhost fremu
fi
frhost=$build_dir/tools/frhost/frhost
fremu=$build_dir/tools/fremu/fremu

# Builds the frhost requests and summarises the replies.
session=$(cat <<'PY'
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
    for line in lines:
        print(json.dumps(line, ensure_ascii=False))


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


def summary(requests_path, replies_path):
    sent = [json.loads(l) for l in read(requests_path).splitlines() if l.strip()]
    got = [json.loads(l) for l in read(replies_path).splitlines() if l.strip()]
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
    return 1 if failed else 0


if __name__ == "__main__":
    if sys.argv[1] == "requests":
        requests(sys.argv[2], sys.argv[3])
    else:
        sys.exit(summary(sys.argv[2], sys.argv[3]))
PY
)

work=$(mktemp -d "${TMPDIR:-/tmp}/fr-demo.XXXXXX")
fremu_pid=""
stop_fremu() {
  if [[ -n "$fremu_pid" ]]; then
    kill -TERM "$fremu_pid" 2>/dev/null || true
    wait "$fremu_pid" 2>/dev/null || true
    fremu_pid=""
  fi
}
trap 'stop_fremu; rm -rf "$work"' EXIT

"$fremu" --port 0 --tape "$work/tape.txt" --state "$work/register.json" --no-stdin \
  >"$work/fremu.out" 2>"$work/fremu.err" &
fremu_pid=$!

# The first line says where the emulator listens.
port=""
for _ in $(seq 1 100); do
  if [[ -s "$work/fremu.out" ]]; then
    port=$(head -n 1 "$work/fremu.out" | python3 -c 'import json,sys; print(json.load(sys.stdin)["tcp"]["port"])')
    break
  fi
  kill -0 "$fremu_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z "$port" ]]; then
  echo "demo: the emulator did not start" >&2
  cat "$work/fremu.err" >&2
  exit 1
fi
echo "Emulated register listening on 127.0.0.1:$port"
echo

python3 -c "$session" requests "$port" examples >"$work/requests.jsonl"
"$frhost" --platform 8 --data-dir "$work" <"$work/requests.jsonl" >"$work/replies.jsonl"
stop_fremu

status=0
python3 -c "$session" summary "$work/requests.jsonl" "$work/replies.jsonl" || status=$?

echo
echo "Paper tape"
echo "=========="
cat "$work/tape.txt"
echo
if [[ $status -eq 0 ]]; then
  echo "demo: every call succeeded"
else
  echo "demo: some calls failed" >&2
fi
exit $status
