#!/usr/bin/env python3
"""The emulator's tape page in a real browser: fremu runs with --http, headless
Chromium opens the page, frhost makes a receipt and then a correction through the
component as the platform would, and the page must show each document with its
total within a second, without a reload and without moving the reader's scroll
position. The QR code of each is read back from a screenshot with zbarimg and
must be the journal's document. Prints one line per check and ends with
"tape-view: N passed, M failed"; exit status 1 when a check failed, 3 when
Chromium cannot run here (the caller prints the skip line).

usage: tape_view_browser.py --fremu PATH --frhost PATH --examples DIR --out DIR
"""

import argparse
import fcntl
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import demo_session  # noqa: E402

APPEAR_WITHIN = 1.0  # seconds from frhost's return to the document on the page
CHROMIUM_START = 60.0


class CannotRun(Exception):
    """Chromium does not start or does not speak its protocol here."""


class Browser:
    """Headless Chromium driven through the DevTools protocol on a pipe (fd 3 in,
    fd 4 out; NUL-terminated JSON messages)."""

    def __init__(self, chromium, profile, width, height):
        to_child_r, self.to_child = os.pipe()
        self.from_child, from_child_w = os.pipe()
        # The child wants the two ends at 3 and 4: keep ours clear of those.
        high = [fcntl.fcntl(fd, fcntl.F_DUPFD, 10) for fd in (to_child_r, from_child_w)]
        os.close(to_child_r)
        os.close(from_child_w)

        def child_fds():
            os.dup2(high[0], 3)
            os.dup2(high[1], 4)

        args = [chromium, "--headless=new", "--no-sandbox", "--disable-gpu",
                "--disable-dev-shm-usage", "--no-first-run", "--no-default-browser-check",
                "--hide-scrollbars", "--mute-audio", "--remote-debugging-pipe",
                "--user-data-dir=" + profile, "--window-size=%d,%d" % (width, height),
                "about:blank"]
        self.log = open(os.path.join(profile, "..", "chromium.log"), "wb")
        try:
            self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=self.log,
                                            stderr=self.log, preexec_fn=child_fds,
                                            pass_fds=(3, 4))
        except OSError as e:
            for fd in high + [self.to_child, self.from_child]:
                os.close(fd)
            self.log.close()
            raise CannotRun(str(e))
        for fd in high:
            os.close(fd)
        self.buffer = b""
        self.next_id = 0
        self.session = None
        try:
            targets = self.call("Target.getTargets", timeout=CHROMIUM_START)["targetInfos"]
            page = next(t for t in targets if t["type"] == "page")
            self.session = self.call("Target.attachToTarget",
                                     {"targetId": page["targetId"], "flatten": True})["sessionId"]
        except (OSError, TimeoutError, StopIteration, KeyError, RuntimeError) as e:
            self.close()
            raise CannotRun(str(e) or type(e).__name__)
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})

    def call(self, method, params=None, timeout=30.0):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if self.session and not method.startswith("Target."):
            message["sessionId"] = self.session
        os.write(self.to_child, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            while b"\0" in self.buffer:
                raw, self.buffer = self.buffer.split(b"\0", 1)
                reply = json.loads(raw)
                if reply.get("id") != self.next_id:
                    continue
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})
            left = deadline - time.monotonic()
            if left <= 0 or self.process.poll() is not None:
                raise TimeoutError("no answer to " + method)
            import select
            ready, _, _ = select.select([self.from_child], [], [], left)
            if ready:
                chunk = os.read(self.from_child, 65536)
                if not chunk:
                    raise TimeoutError("Chromium closed its pipe")
                self.buffer += chunk

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        if "exceptionDetails" in result:
            raise RuntimeError("page script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def screenshot(self, path, clip=None):
        params = {"format": "png"}
        if clip:
            params["clip"] = dict(clip, scale=1)
            params["captureBeyondViewport"] = True
        data = self.call("Page.captureScreenshot", params)["data"]
        import base64
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        for fd in (self.to_child, self.from_child):
            try:
                os.close(fd)
            except OSError:
                pass
        self.log.close()


def control(port, request):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall((json.dumps(request) + "\n").encode())
        data = b""
        while not data.endswith(b"\n"):
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
    return json.loads(data)


def frhost(binary, work, port, calls):
    """Starts one frhost session of <calls> against the emulator."""
    lines = [{"set": "PortNumber", "value": 9999}, {"set": "IPAddress", "value": "127.0.0.1"},
             {"set": "IPPort", "value": port}]
    for name, params in calls:
        lines.append({"call": name, "params": params})
    text = "".join(json.dumps(line, ensure_ascii=False) + "\n" for line in lines)
    with open(os.path.join(work, "requests.jsonl"), "w", encoding="utf-8") as f:
        f.write(text)
    with open(os.path.join(work, "requests.jsonl"), "rb") as requests:
        return subprocess.Popen([binary, "--platform", "8", "--data-dir", work], stdin=requests,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def replies_of(process):
    """frhost's call replies and the names of the calls that failed."""
    out, _ = process.communicate(timeout=120)
    replies = [json.loads(line) for line in out.decode().splitlines() if line.strip()]
    calls_only = [r for r in replies if "call" in r]
    failed = [r["call"] for r in calls_only
              if r.get("hresult") != 0 or demo_session.value(r.get("return")) is not True]
    return calls_only, failed


def make_and_watch(browser, ctl, process, kind):
    """While frhost works, watches the journal for the first document of <kind> and
    then the page for it. (journal document, page entry or None, seconds from the
    journal to the page)."""
    document = seen_at = None
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        if document is None:
            documents = control(ctl, {"cmd": "documents"})["documents"]
            document = next((d for d in documents if d["kind"] == kind), None)
            seen_at = time.monotonic()
            if document is None and process.poll() is not None:
                return None, None, 0
        if document is not None:
            for d in json.loads(browser.evaluate(DOM_DOCUMENTS)):
                if d["number"] == document["number"] and (d["qr"] is None or d["img"]):
                    return document, d, time.monotonic() - seen_at
            if time.monotonic() - seen_at > 10:
                return document, None, time.monotonic() - seen_at
        time.sleep(0.02)
    return document, None, 0


def expected_qr(document, fn_serial):
    """The QR content a journal document must carry, built here on its own."""
    when = re.sub(r"[-:]", "", document["time"])[:13]  # YYYYMMDDTHHMM
    total = "%.2f" % float(document["total"])
    if document["kind"] == "correction":
        sign = 3 if document["doc_type"] & 2 else 1
    else:
        sign = {2: 1, 3: 2, 6: 3, 7: 4}[document["doc_type"]]
    return "t=%s&s=%s&fn=%s&i=%d&fp=%d&n=%d" % (when, total, fn_serial, document["number"],
                                                document["fiscal_sign"], sign)


def zbar(path):
    done = subprocess.run(["zbarimg", "--raw", "-q", "--nodbus", path], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)
    if done.returncode != 0 and b"nodbus" in done.stderr:
        done = subprocess.run(["zbarimg", "--raw", "-q", path], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=60)
    return [line for line in done.stdout.decode().splitlines() if line]


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, what, detail=""):
        if ok:
            self.passed += 1
            print("ok    %s" % what)
        else:
            self.failed += 1
            print("FAIL  %s%s" % (what, (": " + detail) if detail else ""))
        return ok


# The page's documents as the DOM shows them.
DOM_DOCUMENTS = """JSON.stringify(Array.from(document.querySelectorAll('section.doc[data-strip]'))
  .map(s => ({kind: s.dataset.kind, number: Number(s.dataset.number), total: s.dataset.total,
              qr: s.dataset.qr || null, text: s.innerText,
              img: !!s.querySelector('img.qr') && s.querySelector('img.qr').complete
                   && s.querySelector('img.qr').naturalWidth > 0})))"""


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--fremu", required=True)
    parser.add_argument("--frhost", required=True)
    parser.add_argument("--examples", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--chromium", default=shutil.which("chromium") or "chromium")
    args = parser.parse_args(argv)
    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="fr-tape-view.")
    checks = Checks()
    fremu = None
    browser = None
    try:
        fremu = subprocess.Popen(
            [args.fremu, "--port", "0", "--http", "127.0.0.1:0", "--control-port", "0",
             "--no-stdin", "--state", os.path.join(work, "register.json"),
             "--tape", os.path.join(work, "tape.txt")],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        start = json.loads(fremu.stdout.readline())
        port, http, ctl = start["tcp"]["port"], start["http"], start["control"]["port"]
        checks.check(http["address"] == "127.0.0.1" and http["port"] > 0
                     and http["url"] == "http://127.0.0.1:%d/" % http["port"],
                     "the start line names the page", json.dumps(http))

        profile = os.path.join(work, "profile")
        os.makedirs(profile)
        try:
            browser = Browser(args.chromium, profile, 560, 720)
        except CannotRun as e:
            print("chromium cannot run here: %s" % e)
            return 3
        browser.call("Page.navigate", {"url": http["url"]})
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if browser.evaluate("document.getElementById('link') && "
                                "document.getElementById('link').className") == "live":
                break
            time.sleep(0.05)
        checks.check(browser.evaluate("document.getElementById('link').className") == "live",
                     "the page loads and reaches the emulator")
        # A reload would lose this mark.
        browser.evaluate("window.tapeViewMark = 4242")

        cashier = demo_session.read(os.path.join(args.examples, "input_parameters.xml"))
        check = demo_session.read(os.path.join(args.examples, "check.xml"))
        correction = demo_session.read(os.path.join(args.examples, "correction.xml"))
        session = frhost(args.frhost, work, port, [
            ("Open", [None]), ("OpenShift", [None, cashier]),
            ("ProcessCheck", [None, False, check]), ("Close", [None])])
        receipt, shown, took = make_and_watch(browser, ctl, session, "receipt")
        replies, failed = replies_of(session)
        checks.check(not failed, "frhost opens the shift and makes the receipt", str(failed))
        if not checks.check(receipt is not None, "the journal holds the receipt"):
            return 1
        checks.check(shown is not None and took <= APPEAR_WITHIN,
                     "the receipt appears on the page within %.1f s of the journal (%.3f s)"
                     % (APPEAR_WITHIN, took))
        fiscal_sign = next((demo_session.value(r["params"][5]) for r in replies
                            if r["call"] == "ProcessCheck"), None)
        if shown:
            total = "ИТОГ"
            checks.check(shown["total"] == receipt["total"] and total in shown["text"]
                         and ("%.2f" % float(receipt["total"])) in shown["text"],
                         "the receipt's total %s is on its strip" % receipt["total"])
            checks.check(str(receipt["fiscal_sign"]) in shown["text"]
                         and str(fiscal_sign) == str(receipt["fiscal_sign"]),
                         "its fiscal sign is the one frhost returned (%s)" % fiscal_sign)

        # The reader scrolls back to the top; the next document must not move them.
        browser.evaluate("document.scrollingElement.scrollTop = 0")
        height_before = browser.evaluate("document.scrollingElement.scrollHeight")
        session = frhost(args.frhost, work, port, [
            ("Open", [None]), ("ProcessCorrectionCheck", [None, correction]), ("Close", [None])])
        fixed, shown_fix, took = make_and_watch(browser, ctl, session, "correction")
        _, failed = replies_of(session)
        checks.check(not failed, "frhost makes the correction", str(failed))
        if not checks.check(fixed is not None, "the journal holds the correction"):
            return 1
        checks.check(shown_fix is not None and took <= APPEAR_WITHIN,
                     "the correction appears on the page within %.1f s of the journal (%.3f s)"
                     % (APPEAR_WITHIN, took))
        documents = control(ctl, {"cmd": "documents"})["documents"]
        if shown_fix:
            checks.check(shown_fix["total"] == fixed["total"]
                         and ("%.2f" % float(fixed["total"])) in shown_fix["text"],
                         "the correction's total %s is on its strip" % fixed["total"])
        checks.check(browser.evaluate("window.tapeViewMark") == 4242,
                     "the page was not reloaded")
        checks.check(browser.evaluate("document.scrollingElement.scrollTop") == 0
                     and browser.evaluate("document.scrollingElement.scrollHeight") > height_before,
                     "the tape grew and the scroll position stayed")
        status = control(ctl, {"cmd": "status"})["status"]
        header = browser.evaluate("document.querySelector('header').innerText")
        checks.check(("%s" % status["last_doc_number"]) in header and status["cash"] in header
                     and "открыта" in header,
                     "the header shows the shift, the last document and the cash",
                     header.replace("\n", " | "))
        dumped = json.loads(urlopen(http["url"] + "documents.json"))
        page_docs = {d["number"]: d for d in dumped["documents"] if d["number"]}
        checks.check(all(page_docs.get(d["number"], {}).get("lines") for d in documents
                         if d["number"]), "/documents.json has the lines of every document")

        with open(os.path.join(work, "register.json"), encoding="utf-8") as f:
            fn_serial = json.load(f)["fn_serial"]
        for name, doc in (("receipt", receipt), ("correction", fixed)):
            rect = browser.evaluate(
                "(() => { const r = document.querySelector('section.doc[data-number=\"%d\"]')"
                ".getBoundingClientRect(); return {x: r.left, y: r.top + window.scrollY,"
                " width: r.width, height: r.height}; })()" % doc["number"])
            shot = os.path.join(work, "%s.png" % name)
            browser.screenshot(shot, rect)
            decoded = zbar(shot)
            want = expected_qr(doc, fn_serial)
            checks.check(decoded == [want], "the %s's QR code read from the screen is the "
                         "journal's document" % name, "read %s, expected %s" % (decoded, want))
            shutil.copy(shot, os.path.join(args.out, "tape-view-%s.png" % name))
        # The page as a reader sees it: the header over the receipt (the README's picture).
        browser.evaluate(
            "(() => { const r = document.querySelector('section.doc[data-number=\"%d\"]');"
            " document.scrollingElement.scrollTop = r.offsetTop -"
            " document.querySelector('header').offsetHeight - 8; })()" % receipt["number"])
        browser.call("Emulation.setDeviceMetricsOverride",
                     {"width": 560, "height": 1120, "deviceScaleFactor": 1, "mobile": False})
        time.sleep(0.2)
        browser.call("Page.captureScreenshot", {"format": "png"})
        browser.screenshot(os.path.join(args.out, "tape-view-page.png"))
        print("tape-view: screenshots kept in %s" % args.out)
    finally:
        if browser:
            browser.close()
        if fremu:
            fremu.terminate()
            try:
                fremu.wait(10)
            except subprocess.TimeoutExpired:
                fremu.kill()
            fremu.stdout.close()
            fremu.stderr.close()
        shutil.rmtree(work, ignore_errors=True)
    print("tape-view: %d passed, %d failed" % (checks.passed, checks.failed))
    return 0 if checks.failed == 0 else 1


def urlopen(url):
    import urllib.request
    with urllib.request.urlopen(url, timeout=10) as r:
        return r.read().decode("utf-8")


if __name__ == "__main__":
    sys.exit(main())
