#!/usr/bin/env python3
"""The Python of scripts/: the demo's summary, the emulator's journal checks and
control channel, frhost-wine-test.sh's last-error lines, and the benchmark pages'
tables, on made-up data.

usage: scripts_python_test.py [-v]
"""

import contextlib
import io
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))

import bench_compare_receipt  # noqa: E402
import bench_report  # noqa: E402
import demo_session  # noqa: E402
import frame_client  # noqa: E402
import fremu  # noqa: E402
import last_error_lines  # noqa: E402
import tape_view_browser  # noqa: E402


def quiet(function, *args):
    """function(*args) and what it printed."""
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        result = function(*args)
    return result, out.getvalue()


class ControlServer:
    """A stand-in for fremu's control channel: one JSON line in, the reply that
    <answer> gives for it out, sent in two pieces."""

    def __init__(self, answer):
        self.answer = answer
        self.received = []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            with connection, connection.makefile("rb") as lines:
                request = lines.readline()
                self.received.append(request)
                reply = (json.dumps(self.answer(json.loads(request))) + "\n").encode()
                connection.sendall(reply[:5])
                time.sleep(0.01)
                connection.sendall(reply[5:])

    def close(self):
        self.listener.close()


# ---- the demo

def reply(call, ok=True, params=None):
    return {"call": call, "hresult": 0, "return": {"vt": 11, "v": ok}, "params": params or []}


def last_error(code=0, text="Нет ошибок"):
    return {"call": "GetLastError", "hresult": 0, "return": {"vt": 3, "v": code},
            "params": [{"vt": 8, "v": text}]}


SENT = [{"set": "IPPort", "value": 5555},
        {"call": "Open", "params": [None]}, {"call": "GetLastError", "params": [None]},
        {"call": "ProcessCheck", "params": [None, False, "<x/>"]},
        {"call": "GetLastError", "params": [None]}]
CHECK_OUTPUTS = [None, False, "<x/>", {"vt": 5, "v": 3.0}, {"vt": 5, "v": 1.0},
                 {"vt": 8, "v": "123456"}, {"vt": 8, "v": "site.example"}]


class BenchReport(unittest.TestCase):
    def test_the_history_of_whole_runs_outlives_a_new_report(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "PERFORMANCE.md")
            self.assertEqual(bench_report.kept_history(path), "")
            with open(path, "w", encoding="utf-8") as f:
                f.write("# Performance\n\nold figures\n\n" + bench_report.HISTORY_HEADING +
                        "\n\n- run 1: 22.3 minutes\n")
            kept = bench_report.kept_history(path)
            self.assertTrue(kept.startswith("\n" + bench_report.HISTORY_HEADING + "\n"))
            self.assertIn("run 1: 22.3 minutes", kept)
            self.assertNotIn("old figures", kept)


class FrameClient(unittest.TestCase):
    def test_a_request_frame_and_its_check_characters(self):
        self.assertEqual(frame_client.check(b"abc"), b"60")
        frame = frame_client.request(b"KVMT", 0x21, "02", ["1", "Ё"])
        self.assertEqual(frame[0], 0x02)
        self.assertEqual(frame[1:8], b"KVMT!02")
        self.assertEqual(frame[8:12], b"1\x1c\xf0\x03")
        body = frame[1:-2]
        self.assertEqual(frame[-2:], frame_client.check(body))
        self.assertEqual(body[-1], 0x03)


class DemoSummary(unittest.TestCase):
    def test_verdicts(self):
        good = [{"hresult": 0, "num": 4}, reply("Open", params=[{"vt": 8, "v": "0"}]), last_error(),
                reply("ProcessCheck", params=CHECK_OUTPUTS), last_error()]
        # A failed call's outputs are not shown.
        check_outputs = "fiscal sign"
        cases = [
            ("every call succeeds", good, True,
             ["set                IPPort = 5555", "Open               true    [0] Нет ошибок",
              "                     device id 0",
              "                     check 3, shift 1, fiscal sign 123456, tax site site.example"], []),
            ("a call returns false", good[:3] + [reply("ProcessCheck", ok=False, params=CHECK_OUTPUTS),
                                                 last_error(1001, "Неверный пакет")], False,
             ["ProcessCheck       FALSE   [1001] Неверный пакет"], [check_outputs]),
            ("a call fails in the host", good[:3] + [dict(reply("ProcessCheck"), hresult=1)] + good[4:],
             False, ["ProcessCheck       FALSE"], [check_outputs]),
            ("a setting is refused", [{"hresult": 0, "num": -1}] + good[1:], False,
             ["IPPort = 5555", check_outputs], []),
            ("frhost stopped early", good[:3], False, ["frhost answered 3 of 5 requests"],
             ["ProcessCheck"]),
        ]
        for name, got, ok, shown, not_shown in cases:
            with self.subTest(name):
                result, out = quiet(demo_session.summary, SENT, got)
                self.assertIs(result, ok)
                for text in shown:
                    self.assertIn(text, out)
                for text in not_shown:
                    self.assertNotIn(text, out)

    def test_outputs(self):
        status = [None, {"vt": 5, "v": 2.0}, {"vt": 5, "v": 1.0}, {"vt": 3, "v": 2},
                  {"vt": 8, "v": '<StatusParameters><Parameters A="1" B="x"/></StatusParameters>'}]
        cases = [
            ("GetCurrentStatus", status, ["check 2, shift 1, shift state 2 (open)", "A=1, B=x"]),
            ("GetCurrentStatus", status[:3] + [{"vt": 3, "v": 7}, {"vt": 8, "v": "not xml"}],
             ["check 2, shift 1, shift state 7 (?)", "not xml"]),
            ("OpenShift", [None, None, {"vt": 8, "v": "<O><P ShiftNumber=\"4\"/></O>"},
                           {"vt": 5, "v": 4.0}, {"vt": 5, "v": 1.5}],
             ["shift 4, document 1.5", "ShiftNumber=4"]),
            ("DeviceTest", [{"vt": 8, "v": "line one\n\nline two"}], ["line one", "line two"]),
            ("PrintXReport", [None, None], []),
        ]
        for name, params, want in cases:
            with self.subTest(name):
                self.assertEqual(demo_session.outputs(name, params), want)

    def test_requests_follow_each_call_with_its_error(self):
        with tempfile.TemporaryDirectory() as examples:
            for name, text in (("input_parameters.xml", "<I/>"), ("check.xml", "<C/>")):
                with open(os.path.join(examples, name), "w", encoding="utf-8") as f:
                    f.write(text)
            lines = demo_session.requests("4321", examples)
        self.assertIn({"set": "IPPort", "value": 4321}, lines)
        calls = [line for line in lines if "call" in line]
        self.assertEqual([c["call"] for c in calls[1::2]], ["GetLastError"] * (len(calls) // 2))
        self.assertIn({"call": "ProcessCheck", "params": [None, False, "<C/>"]}, calls)


# ---- the emulator

def receipt(sign, shift=1, total="434.8", items=4, cancelled=False):
    return {"kind": "receipt", "fiscal_sign": sign, "shift": shift, "total": total,
            "items": [{}] * items, "cancelled": cancelled}


def day(sign, shift=1, **kw):
    return [{"kind": "shift_open"}, receipt(sign, shift, **kw), {"kind": "shift_close"}]


DAY_KINDS = ["shift_open", "receipt", "shift_close"]


class Journal(unittest.TestCase):
    def test_verdicts(self):
        two_days = dict(receipts=2, sign=22, shift=2, check_package=True, kinds=DAY_KINDS * 2,
                        channel="pty")
        tcp_and_pty = [{"channel": "tcp"}, {"channel": "pty"}]
        cases = [
            ("two good days", day(11) + day(22, 2), tcp_and_pty, two_days, []),
            ("the receipt booked twice", day(22, 2) + day(22, 2), tcp_and_pty, two_days,
             ["not there exactly once"]),
            ("the last receipt in another shift", day(11) + day(22, 1), tcp_and_pty, two_days,
             ["not the one reported"]),
            ("the last receipt cancelled", day(11) + day(22, 2, cancelled=True), tcp_and_pty,
             two_days, ["not the one reported"]),
            ("another package", day(11) + day(22, 2, items=3), tcp_and_pty, two_days,
             ["does not hold the check package"]),
            ("another total", day(11) + day(22, 2, total="434.80"), tcp_and_pty, two_days,
             ["does not hold the check package"]),
            ("a shift left open", day(11) + day(22, 2)[:2], tcp_and_pty, two_days, ["documents: "]),
            ("one receipt missing", day(22, 2), tcp_and_pty, two_days,
             ["1 receipts after 2 runs", "documents: "]),
            ("nothing over the serial line", day(11) + day(22, 2), [{"channel": "tcp"}], two_days,
             ["no request came over pty"]),
            ("an empty journal", [], [], dict(two_days, channel=None),
             ["0 receipts", "not there exactly once", "not the one reported", "check package",
              "documents: []"]),
            ("an X report among them", day(5)[:2] + [{"kind": "x_report"}] + day(5)[2:], None,
             dict(sign=5, kinds=DAY_KINDS, among_others=True), []),
            ("an X report where none may be", day(5)[:2] + [{"kind": "x_report"}] + day(5)[2:], None,
             dict(sign=5, kinds=DAY_KINDS), ["documents: "]),
            ("others allowed, but a receipt too many", day(5) + [receipt(6)], None,
             dict(sign=5, kinds=DAY_KINDS, among_others=True), ["documents: "]),
        ]
        for name, documents, requests, expect, problems in cases:
            with self.subTest(name):
                found = fremu.journal_problems(documents, requests, **expect)
                self.assertEqual(len(found), len(problems), found)
                for problem, want in zip(found, problems):
                    self.assertIn(want, problem)

    def test_command_line_asks_the_control_channel(self):
        journal = {"documents": day(7), "requests": [{"channel": "tcp"}]}
        server = ControlServer(lambda request: {request["cmd"]: journal[request["cmd"]]})
        self.addCleanup(server.close)
        cases = [
            (["--sign", "7", "--shift", "1", "--kinds"] + DAY_KINDS, 0, ""),
            (["--sign", "8", "--channel", "tcp"], 1, "fiscal sign 8 is not there exactly once\n"),
            (["--channel", "pty"], 1, "no request came over pty\n"),
            (["--kinds", "shift_open", "receipt", "shift_close", "--times", "2"], 1, "documents: "),
        ]
        for options, status, printed in cases:
            with self.subTest(options):
                result, out = quiet(fremu.main, ["journal", str(server.port)] + options)
                self.assertEqual(result, status)
                self.assertIn(printed, out)
        asked = {json.loads(r)["cmd"] for r in server.received}
        self.assertEqual(asked, {"documents", "requests"})

    def test_no_control_channel_is_a_failure(self):
        listener = socket.create_server(("127.0.0.1", 0))
        port = listener.getsockname()[1]
        listener.close()
        result, out = quiet(fremu.main, ["journal", str(port), "--sign", "1"])
        self.assertEqual(result, 1)
        self.assertIn("no answer to documents", out)


class Control(unittest.TestCase):
    def test_ask_sends_one_line_and_reads_the_whole_reply(self):
        server = ControlServer(lambda request: {"ok": True, "echo": request})
        self.addCleanup(server.close)
        answer = fremu.ask(server.port, '{"cmd":"stop"}')
        self.assertEqual(json.loads(answer), {"ok": True, "echo": {"cmd": "stop"}})
        self.assertEqual(server.received, [b'{"cmd":"stop"}\n'])


class Where(unittest.TestCase):
    LINE = '{"tcp": {"port": 4100}, "pty": "/dev/pts/9", "control": {"port": 4101}}'

    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.path = os.path.join(folder.name, "fremu.out")

    def write(self, text):
        with open(self.path, "a", encoding="utf-8") as f:
            f.write(text)

    def test_fields(self):
        self.assertEqual(fremu.fields(self.LINE, ["tcp.port", "pty", "control.port"]),
                         ["4100", "/dev/pts/9", "4101"])
        self.assertEqual(fremu.fields('{"http": {"url": "http://127.0.0.1:8/"}}', ["http.url"]),
                         ["http://127.0.0.1:8/"])
        with self.assertRaises(KeyError):
            fremu.fields('{"tcp": {"port": 1}}', ["control.port"])

    def test_first_line(self):
        self.write(self.LINE + "\n{\"later\": 1}\n")
        self.assertEqual(fremu.first_line(self.path, seconds=1), self.LINE)

    def test_waits_for_a_line_written_later(self):
        threading.Timer(0.3, self.write, [self.LINE + "\n"]).start()
        self.assertEqual(fremu.first_line(self.path, seconds=20), self.LINE)

    def test_gives_up_when_the_emulator_has_ended(self):
        self.write('{"tcp": ')  # a line cut short by the end
        ended = subprocess.Popen([sys.executable, "-c", "pass"])
        ended.wait()
        started = time.monotonic()
        self.assertIsNone(fremu.first_line(self.path, pid=ended.pid, seconds=20))
        self.assertLess(time.monotonic() - started, 10)

    def test_gives_up_after_its_time(self):
        self.assertIsNone(fremu.first_line(self.path, seconds=0.2))

    def test_command_line(self):
        self.write(self.LINE + "\n")
        result, out = quiet(fremu.main, ["where", self.path, "pty", "tcp.port"])
        self.assertEqual((result, out), (0, "/dev/pts/9 4100\n"))


# ---- frhost's last-error lines

class BenchCompare(unittest.TestCase):
    def test_package_and_requests(self):
        text = bench_compare_receipt.package(3)
        self.assertEqual(text.count("<FiscalString "), 3)
        self.assertIn('ElectronicPayment="30"', text)
        lines = [json.loads(x) for x in bench_compare_receipt.requests(5555, []).splitlines()]
        self.assertEqual([x.get("set") or x.get("call") for x in lines],
                         ["WriteLog", "PortNumber", "IPAddress", "IPPort", "Open", "Close"])
        self.assertEqual(lines[3]["value"], 5555)

    def test_logged_bytes_counts_the_exchange_lines_only(self):
        with tempfile.TemporaryDirectory() as folder:
            os.makedirs(os.path.join(folder, "sub"))
            with open(os.path.join(folder, "sub", "a.log"), "w", encoding="utf-8") as f:
                f.write("2026.12.10 06:35:29.194\tINFO\tTSocketDevice: \t-> 05\n"
                        "2026.12.10 06:35:29.194\tINFO\tTSocketDevice: \t<- 02 31 03\n"
                        "2026.12.10 06:35:29.194\tINFO\tTDriver: \tEnable [0] - 05 06\n"
                        "2026.12.10 06:35:29.194\tERROR\tTSocketDevice: \t<- \n")
            with open(os.path.join(folder, "notes.txt"), "w", encoding="utf-8") as f:
                f.write("x\t-> 05 05 05\n")
            self.assertEqual(bench_compare_receipt.logged_bytes(folder), 4)

    def test_link_section_reports_the_most_calls(self):
        link = {"benchmarks": [
            {"name": "BM_A", "real_time": 50000, "time_unit": "ns", "bytes_per_exchange": 28,
             "driver_cpu_us_per_exchange": 16.0, "socket_calls_per_exchange": 8.0},
            {"name": "BM_B", "real_time": 90, "time_unit": "us", "bytes_per_exchange": 28,
             "driver_cpu_us_per_exchange": 30.0, "socket_calls_per_exchange": 34.0},
            {"name": "BM_C", "error_occurred": True, "error_message": "no peer"}]}
        text, calls = bench_report.link_section(link)
        self.assertEqual(calls, 34.0)
        self.assertIn("| `BM_A` | 50.0 | 16.0 | 8.0 | 28 |", text)
        self.assertIn("| `BM_B` | 90.0 | 30.0 | 34.0 | 28 |", text)
        self.assertNotIn("BM_C", text)


class LastErrorLines(unittest.TestCase):
    def replies(self, *changes):
        lines = [{"hresult": 0, "num": 1}, {"hresult": 0, "num": 2},
                 {"call": "Open", "return": {"vt": 11, "v": True}},
                 {"call": "ProcessCheck", "return": {"vt": 11, "v": False},
                  "lasterror": {"code": 1001, "text": "Неверный пакет"}},
                 {"call": "Close", "return": {"vt": 11, "v": True}}]
        for index, change in changes:
            if change is None:
                del lines[index]
            else:
                lines[index] = dict(lines[index], **change)
        return lines

    def test_requests(self):
        lines = last_error_lines.requests("6001")
        self.assertEqual(lines[1], {"set": "IPPort", "value": 6001})
        self.assertEqual([line.get("call") for line in lines[2:]], ["Open", "ProcessCheck", "Close"])

    def test_verdicts(self):
        cases = [
            ("as it should be", self.replies(), []),
            ("the receipt taken", self.replies((3, {"return": {"vt": 11, "v": True}})),
             ["ProcessCheck should return false"]),
            ("no last error with the false result", self.replies((3, {"lasterror": None})),
             ["ProcessCheck returned false without the last error"]),
            ("a last error of code 0", self.replies((3, {"lasterror": {"code": 0, "text": "x"}})),
             ["without the last error"]),
            ("a last error without text", self.replies((3, {"lasterror": {"code": 5, "text": ""}})),
             ["without the last error"]),
            ("a last error after a true result",
             self.replies((4, {"lasterror": {"code": 1, "text": "x"}})),
             ["Close returned true with a last error"]),
            ("the connection refused", self.replies((2, {"return": {"vt": 11, "v": False}})),
             ["Open should return true"]),
            ("a reply missing", self.replies((4, None)), ["4 replies"]),
        ]
        for name, replies, want in cases:
            with self.subTest(name):
                found = last_error_lines.problems(replies)
                self.assertEqual(len(found), len(want), found)
                for problem, text in zip(found, want):
                    self.assertIn(text, problem)

    def test_a_line_that_is_not_json_fails_the_check(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False, encoding="utf-8") as f:
            f.write("\n".join(json.dumps(r) for r in self.replies()) + "\nwine: something\n")
        self.addCleanup(os.unlink, f.name)
        result, out = quiet(last_error_lines.main, ["check", f.name])
        self.assertEqual(result, 1)
        self.assertIn("not a JSON line", out)


class TapeViewQr(unittest.TestCase):
    """The browser check's own reading of a journal document's QR content."""

    def test_expected_content(self):
        base = {"time": "2026-12-10T06:45:33", "number": 3, "fiscal_sign": 1778197272}
        rows = [
            ("receipt", 2, "434.8", "t=20261210T0645&s=434.80&fn=FN1&i=3&fp=1778197272&n=1"),
            ("receipt", 3, "1", "t=20261210T0645&s=1.00&fn=FN1&i=3&fp=1778197272&n=2"),
            ("receipt", 6, "0.5", "t=20261210T0645&s=0.50&fn=FN1&i=3&fp=1778197272&n=3"),
            ("receipt", 7, "12", "t=20261210T0645&s=12.00&fn=FN1&i=3&fp=1778197272&n=4"),
            ("correction", 0, "1200", "t=20261210T0645&s=1200.00&fn=FN1&i=3&fp=1778197272&n=1"),
            ("correction", 2, "1200", "t=20261210T0645&s=1200.00&fn=FN1&i=3&fp=1778197272&n=3"),
            ("correction", 3, "1200", "t=20261210T0645&s=1200.00&fn=FN1&i=3&fp=1778197272&n=3"),
        ]
        for kind, doc_type, total, want in rows:
            document = dict(base, kind=kind, doc_type=doc_type, total=total)
            self.assertEqual(tape_view_browser.expected_qr(document, "FN1"), want, (kind, doc_type))


if __name__ == "__main__":
    unittest.main()
