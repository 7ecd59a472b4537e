#!/usr/bin/env python3
"""One working day through a Native API host, against the register emulator.

Starts fremu on loopback, runs the host command (frhost --native LIB on Linux,
native_host.exe LIB under Wine) with JSON request lines on its standard input,
and checks every reply, then the emulator's journal and tape and the driver's
log. "{data}" in the host command and in --log-dir stands for a fresh folder.
Prints one line per check; exit status 0 only when every check passed.

usage: working_day.py --fremu FREMU --examples DIR --log-dir DIR [--label L] HOST...
"""

import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import fremu as fremu_control  # noqa: E402

failures = []


def check(label, ok, detail=""):
    print(("  ok   " if ok else "  FAIL ") + label + ("" if ok else ": " + detail))
    if not ok:
        failures.append(label)
    return ok


def string(text):
    return {"vt": 8, "v": text}


class Fremu:
    def __init__(self, binary, folder):
        self.folder = folder
        self.tape = os.path.join(folder, "tape.txt")
        self.process = subprocess.Popen(
            [binary, "--port", "0", "--control-port", "0", "--no-stdin",
             "--state", os.path.join(folder, "register.json"), "--tape", self.tape],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line:
            raise RuntimeError("fremu did not start: " + self.process.stderr.read())
        ports = json.loads(line)
        self.port = ports["tcp"]["port"]
        self.control = ports["control"]["port"]

    def ask(self, request):
        return json.loads(fremu_control.ask(self.control, json.dumps(request)))

    def stop(self):
        try:
            self.ask({"cmd": "stop"})
            self.process.wait(timeout=20)
        except Exception:
            self.process.kill()
            self.process.wait()


def scenario(port, examples):
    """(request, check(reply) -> problem text or None) pairs."""
    with open(os.path.join(examples, "check.xml"), encoding="utf-8") as f:
        check_xml = f.read()
    with open(os.path.join(examples, "input_parameters.xml"), encoding="utf-8") as f:
        input_xml = f.read()

    def returns(value):
        return lambda r: None if r.get("hresult") == 0 and r.get("return") == value \
            else "expected hresult 0 and return %s" % json.dumps(value)

    def outputs(value, **params):
        def test(r):
            problem = returns(value)(r)
            if problem:
                return problem
            for key, want in params.items():
                got = r["params"][int(key[1:])]
                if callable(want):
                    if not want(got):
                        return "param %s is %s" % (key[1:], json.dumps(got, ensure_ascii=False))
                elif got != want:
                    return "param %s is %s, not %s" % (key[1:], json.dumps(got, ensure_ascii=False),
                                                       json.dumps(want, ensure_ascii=False))
            return None
        return test

    def has(vt, text=None):
        return lambda v: v.get("vt") == vt and (text is None or text in v.get("v", ""))

    def number(value=None):
        return lambda v: v.get("vt") == 5 and (value is None or v.get("v") == value)

    no_error = outputs({"vt": 3, "v": 0}, p0=string("Нет ошибок"))
    ok = {"vt": 11, "v": True}
    return [
        ({"raw": "GetInfo"},
         lambda r: None if r["out"][0]["v"][0] == {"vt": 3, "v": 2000} else "not 2000"),
        ({"raw": "RegisterExtensionAs"},
         lambda r: None if r["out"][0] == string("fr_norvane1c83") else "wrong name"),
        ({"raw": "GetNMethods"}, lambda r: None if r["out"][0]["v"] == 24 else "not 24 methods"),
        ({"raw": "GetMethodName", "args": [0, 0]}, lambda r: None),
        ({"raw": "FindMethod", "args": ["СФОРМИРОВАТЬЧЕК"]},
         lambda r: None if r["out"][0]["v"] >= 0 else "not found without letter case"),
        ({"set": "DebugLogEnabled", "value": True}, lambda r: None if r["hresult"] == 0 else "refused"),
        ({"call": "SetParameter", "params": ["PortNumber", 9999]}, returns(ok)),
        # A one-byte string goes in as PSTR, code page 1251.
        ({"call": "SetParameter", "params": ["IPAddress", {"vt": 256, "v": "127.0.0.1"}]}, returns(ok)),
        ({"call": "SetParameter", "params": ["IPPort", port]}, returns(ok)),
        ({"call": "SetParameter", "params": ["WriteLog", True]}, returns(ok)),
        ({"get": "PortNumber"}, lambda r: None if r["value"] == {"vt": 3, "v": 9999} else "not 9999"),
        ({"call": "Подключить", "params": [None]}, outputs(ok, p0=string("0"))),
        ({"call": "GetLastError", "params": [None]}, no_error),
        ({"call": "OpenShift", "params": [None, input_xml, None, None, None]},
         outputs(ok, p2=has(8, "<OutputParameters>"), p3=number(1), p4=number())),
        ({"call": "GetCurrentStatus", "params": [None, None, None, None, None]},
         outputs(ok, p2=number(1), p3={"vt": 3, "v": 2})),
        # A refused package is a method's false, not a failed call.
        ({"call": "ProcessCheck", "params": [None, "abc", check_xml, None, None, None, None]},
         outputs({"vt": 11, "v": False}, p3={"vt": 0}, p5={"vt": 0})),
        ({"call": "GetLastError", "params": [None]},
         lambda r: None if r["return"] == {"vt": 3, "v": 1001} else "not 1001"),
        ({"call": "СформироватьЧек", "params": [None, False, check_xml, None, None, None, None]},
         outputs(ok, p3=number(), p4=number(1), p5=has(8), p6=has(8, "."))),
        ({"call": "GetLastError", "params": [None]}, no_error),
        ({"call": "ПолучитьТекущееСостояние", "params": [None, None, None, None, None]},
         outputs(ok, p2=number(1), p3={"vt": 3, "v": 2}, p4=has(8, "BacklogDocumentsCounter=\"0\""))),
        ({"call": "CloseShift", "params": [None, input_xml, None, None, None]},
         outputs(ok, p2=has(8, "NumberOfChecks=\"1\""), p3=number(1))),
        ({"call": "GetCurrentStatus", "params": [None, None, None, None, None]},
         outputs(ok, p3={"vt": 3, "v": 1})),
        # What the platform could not take: a bad method number, an interface value.
        ({"raw": "CallAsFunc", "args": [99, []]}, lambda r: None if r["hresult"] == 1 else "not refused"),
        ({"call": "GetLastError", "params": [{"vt": 9, "v": 0}]},
         lambda r: None if r["hresult"] == 1 else "an interface value was taken"),
        ({"call": "Close", "params": [None]}, returns(ok)),
        ({"call": "GetLastError", "params": [None]}, no_error),
    ]


def check_journal(fremu, replies):
    sign = None
    for reply in replies:
        if reply.get("call") == "СформироватьЧек":
            sign = int(reply["params"][5]["v"])
    documents = fremu.ask({"cmd": "documents"})["documents"]
    kinds = [d["kind"] for d in documents]
    check("journal: shift open, one receipt, shift close", kinds == ["shift_open", "receipt", "shift_close"],
          json.dumps(kinds))
    receipts = [d for d in documents if d["kind"] == "receipt"]
    last = receipts[-1] if receipts else {}
    check("journal: the receipt is the one reported", sign is not None and last.get("fiscal_sign") == sign
          and last.get("shift") == 1 and not last.get("cancelled"), json.dumps(last, ensure_ascii=False))
    check("journal: the receipt holds the check package",
          last.get("total") == "434.8" and len(last.get("items", [])) == 4, json.dumps(last, ensure_ascii=False))
    with open(fremu.tape, encoding="utf-8") as f:
        tape = f.read().splitlines()
    printed = sum(1 for line in tape if line.split() == ["ФП", str(sign)])
    check("tape: the fiscal sign printed once", printed == 1, "%d times" % printed)


def check_log(folder):
    logs = glob.glob(os.path.join(folder, "fr_norvane1c83_*.log"))
    if not check("log written", len(logs) == 1, "%s in %s" % (logs, folder)):
        return
    with open(logs[0], encoding="utf-8", errors="replace") as f:
        text = f.read().replace("\r", "")
    for want in ["============Start log=============", "INFO\t> Подключить", "INFO\t< ProcessCheck",
                 "INFO\tSetPropVal", "TDriver: \tCloseShift [0] - Нет ошибок",
                 "TSocketDevice: \t-> 05"]:
        check("log: " + want.replace("\t", " "), want in text, "missing")
    check("log: one receipt done", text.count("TDriver: \tProcessCheck [0] - Нет ошибок") == 1, "not once")
    lines = [line for line in text.split("\n") if line.strip()]
    check("log: the stop banner ends it", lines and lines[-1] == "============Stop log===============",
          lines[-1] if lines else "empty")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--fremu", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--log-dir", required=True)
    parser.add_argument("--label", default="native")
    parser.add_argument("host", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    data = tempfile.mkdtemp(prefix="fr-native-day.")
    try:
        host = [part.replace("{data}", data) for part in args.host]
        log_dir = args.log_dir.replace("{data}", data)
        fremu = Fremu(args.fremu, data)
        try:
            steps = scenario(fremu.port, args.examples)
            requests = "".join(json.dumps(request, ensure_ascii=False) + "\n" for request, _ in steps)
            started = time.monotonic()
            run = subprocess.run(host, input=requests.encode(), capture_output=True, timeout=300)
            print("%s: host ran %.1f s, status %d" % (args.label, time.monotonic() - started, run.returncode))
            stderr = run.stderr.decode("utf-8", "replace")
            replies = [json.loads(line) for line in run.stdout.decode("utf-8").splitlines() if line.strip()]
            check("host ended with status 0", run.returncode == 0, stderr)
            check("one reply per request", len(replies) == len(steps), "%d replies" % len(replies))
            for (request, test), reply in zip(steps, replies):
                problem = test(reply) if "error" not in reply else reply["error"]
                check(json.dumps(request, ensure_ascii=False)[:90], problem is None,
                      "%s; reply %s" % (problem, json.dumps(reply, ensure_ascii=False)[:600]))
            errors = [line for line in stderr.splitlines() if line.startswith("frhost: AddError")]
            check("AddError for the interface value only",
                  len(errors) == 1 and "1006 fr_norvane1c83: Параметр 1: тип значения 9" in errors[0],
                  "\n".join(errors))
            check_journal(fremu, replies)
        finally:
            fremu.stop()
        check_log(log_dir)
    finally:
        shutil.rmtree(data, ignore_errors=True)
    print("%s: %d failed" % (args.label, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
