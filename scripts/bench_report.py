#!/usr/bin/env python3
"""Writes docs/PERFORMANCE.md from the benchmark results of scripts/bench.sh.

Every figure in the page comes from the result files; nothing is typed in by hand.
"""

import argparse
import datetime
import json
import os
import platform
import re

LINE_BAUD = 115200
CPU_SHARE_TARGET_PCT = 1.0
PACED_TARGET_PCT = 5.0
PACED_TARGET_POSITIONS = 100
MEMORY_TARGET_MIB = 64.0
MEMORY_TARGET_POSITIONS = 10000
# Socket system calls one TCP exchange may cost (a status round trip): a call or two
# per step, never one per byte.
LINK_CALLS_TARGET = 10
# Marginal cost of a position on the largest step may exceed that of the step
# before by this factor and still count as linear (noise on a shared machine).
LINEAR_TOLERANCE = 1.5


def load_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def read_text(path):
    try:
        with open(path, encoding="utf-8") as f:
            return f.read().strip()
    except OSError:
        return "n/a"


def machine(results_context, compiler, build_type, results):
    model = "unknown"
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    mem_kib = 0
    try:
        with open("/proc/meminfo", encoding="utf-8") as f:
            for line in f:
                if line.startswith("MemTotal:"):
                    mem_kib = int(line.split()[1])
                    break
    except OSError:
        pass
    return [
        ("CPU", model),
        ("Cores", str(os.cpu_count())),
        ("Memory", f"{mem_kib / 1024 / 1024:.1f} GiB"),
        ("Kernel", f"{platform.system()} {platform.release()} ({platform.machine()})"),
        ("Compiler", compiler),
        ("Build type", build_type),
        ("Run at", results_context.get("date", "")),
        ("Load average (1, 5, 15 min) at start / end",
         f"{read_text(os.path.join(results, 'loadavg_start'))} / "
         f"{read_text(os.path.join(results, 'loadavg_end'))}"),
        ("Report written", datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")),
    ]


def table(headers, rows):
    out = ["| " + " | ".join(headers) + " |", "|" + "|".join("---" for _ in headers) + "|"]
    for row in rows:
        out.append("| " + " | ".join(row) + " |")
    return "\n".join(out)


def fmt(value, digits=2):
    if value is None:
        return "n/a"
    if abs(value) >= 1000:
        return f"{value:,.0f}"
    return f"{value:.{digits}f}"


def met(ok):
    if ok is None:
        return "not measured"
    return "met" if ok else "NOT met"


def ran(entries):
    return [e for e in entries if not e.get("error_occurred")]


def errors(entries):
    return [f"- `{e['name']}`: {e.get('error_message', '')}" for e in entries if e.get("error_occurred")]


def cpu_seconds(entry):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry.get("time_unit", "ns")]
    return entry["cpu_time"] * scale


def device_section(device):
    rows, worst = [], None
    for e in ran(device["benchmarks"]):
        if "bytes_per_exchange" not in e:
            continue
        per_exchange = cpu_seconds(e) / e["exchanges_per_iter"]
        wire = e["bytes_per_exchange"] * 10.0 / LINE_BAUD
        share = per_exchange / wire * 100.0
        worst = share if worst is None else max(worst, share)
        rows.append([f"`{e['name']}`", fmt(per_exchange * 1e6, 3), fmt(e["bytes_per_exchange"], 0),
                     fmt(wire * 1e6, 0), fmt(share, 3)])
    text = ("Each round trip builds the request, does the ENQ/ACK handshake, sends the frame "
            "and parses the answer on a link that answers from memory: the driver's own CPU "
            "time, beside the time the same bytes take on an 8N1 line of 115200 baud "
            "(10 bits a byte).\n\n")
    text += table(["benchmark", "CPU per exchange, µs", "bytes on the line", "wire time, µs",
                   "CPU / wire, %"], rows)
    return text, worst


def link_section(link):
    rows, calls = [], None
    for e in ran(link["benchmarks"]):
        wire = e["bytes_per_exchange"] * 10.0 / LINE_BAUD
        wall = e["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[e.get("time_unit", "ns")]
        calls = e["socket_calls_per_exchange"] if calls is None else max(calls, e["socket_calls_per_exchange"])
        rows.append([f"`{e['name']}`", fmt(wall * 1e6, 1), fmt(e["driver_cpu_us_per_exchange"], 1),
                     fmt(e["socket_calls_per_exchange"], 1), fmt(e["bytes_per_exchange"], 0),
                     fmt(wire * 1e6, 0), fmt(wall / wire * 100.0, 2)])
    text = ("A status round trip over a real TCP connection on loopback, against a peer thread "
            "that answers each request in one write as soon as it is in: the wall time of one "
            "exchange (both sides and the loopback), the driver thread's CPU time, and the "
            "socket system calls the driver thread makes (recv, send, setsockopt, poll, ioctl, "
            "counted through the linker's --wrap). The calls per exchange move when the link "
            "starts to make a call per byte, whatever the machine's speed that day; "
            "`scripts/bench-compare.sh COMMIT...` runs this benchmark and a receipt through "
            "frhost on earlier commits beside the work tree (see \"Against earlier commits\" "
            "below when the page was written with `FR_BENCH_BASE`).\n\n")
    text += table(["benchmark", "wall per exchange, µs", "driver CPU per exchange, µs",
                   "socket calls per exchange", "bytes on the line", "wire time, µs",
                   "wall / wire, %"], rows)
    return text, calls


def loopback_rows(receipt, write_log):
    found = [e for e in ran(receipt["benchmarks"])
             if e["name"].startswith("BM_ReceiptLoopback") and int(e["write_log"]) == write_log]
    return sorted(found, key=lambda e: e["positions"])


def linear_check(entries, key):
    """Marginal cost per position on the last step against the step before."""
    pts = [(e["positions"], e[key]) for e in entries]
    if len(pts) < 3:
        return None, None
    (n0, c0), (n1, c1), (n2, c2) = pts[-3:]
    before = (c1 - c0) / (n1 - n0)
    last = (c2 - c1) / (n2 - n1)
    if before <= 0:
        return None, None
    return last / before, (n0, n1, n2)


def loopback_section(receipt):
    entries = loopback_rows(receipt, 0)
    rows = []
    for e in entries:
        n = e["positions"]
        cpu_ms = e["driver_cpu_ms"]
        rows.append([fmt(n, 0), fmt(e["exchanges"], 0), fmt(e["bytes"], 0), fmt(e["wall_ms"]),
                     fmt(e["wall_less_pause_ms"]), fmt(cpu_ms), fmt(cpu_ms * 1e3 / n, 1),
                     fmt(cpu_ms * 1e3 / e["exchanges"], 1), fmt(e["wire_ms_115200"]),
                     fmt(cpu_ms / e["wire_ms_115200"] * 100.0, 3)])
    text = ("One ProcessCheck through the component object (FindMethod, CallAsFunc with the "
            "parameter array) against the emulator in the same process on loopback TCP, "
            "WriteLog off. \"Wall less pause\" is the call's wall time less the 500 ms pause "
            "the driver must make before reading a document's result; it includes the "
            "emulator's own work and the loopback round trips. \"Driver CPU\" is the CPU time "
            "of the calling thread alone (the emulator runs on its own threads). Bytes and "
            "exchanges are counted from the driver's log of the same receipt.\n\n")
    text += table(["positions", "exchanges", "bytes", "wall, ms", "wall less pause, ms",
                   "driver CPU, ms", "CPU per position, µs", "CPU per exchange, µs",
                   "wire time at 115200, ms", "CPU / wire, %"], rows)
    ratio, steps = linear_check(entries, "driver_cpu_ms")
    bytes_ratio, _ = linear_check(entries, "bytes")
    if steps:
        text += (f"\n\nGrowth: the driver CPU one more position costs between {fmt(steps[1], 0)} "
                 f"and {fmt(steps[2], 0)} positions is {fmt(ratio)} times what it costs between "
                 f"{fmt(steps[0], 0)} and {fmt(steps[1], 0)}; for the bytes on the line the "
                 f"factor is {fmt(bytes_ratio)}.")
    share = max((e["driver_cpu_ms"] / e["wire_ms_115200"] * 100.0 for e in entries), default=None)
    return text, ratio, bytes_ratio, share


def log_section(receipt):
    off = {e["positions"]: e for e in loopback_rows(receipt, 0)}
    on = {e["positions"]: e for e in loopback_rows(receipt, 1)}
    rows = []
    for n in sorted(set(off) & set(on)):
        a, b = off[n], on[n]
        extra = b["driver_cpu_ms"] - a["driver_cpu_ms"]
        rows.append([fmt(n, 0), fmt(a["driver_cpu_ms"]), fmt(b["driver_cpu_ms"]),
                     fmt(extra * 1e3 / b["exchanges"], 1),
                     fmt(extra / a["driver_cpu_ms"] * 100.0, 1),
                     fmt(a["wall_less_pause_ms"]), fmt(b["wall_less_pause_ms"])])
    text = ("The same loopback receipts with WriteLog off and on. With WriteLog on the driver "
            "appends every host call, every operation and every byte sent and received to "
            "its daily log file, opening and closing the file for each line.\n\n")
    text += table(["positions", "driver CPU, log off, ms", "driver CPU, log on, ms",
                   "log's CPU per exchange, µs", "log's share, %", "wall less pause, off, ms",
                   "wall less pause, on, ms"], rows)
    return text


def paced_section(receipt):
    entries = sorted((e for e in ran(receipt["benchmarks"]) if e["name"].startswith("BM_ReceiptPaced")),
                     key=lambda e: e["positions"])
    rows = []
    for e in entries:
        rows.append([fmt(e["positions"], 0), fmt(e["exchanges"], 0), fmt(e["bytes"], 0),
                     fmt(e["bound_ms"]), fmt(e["end_to_end_ms"]), fmt(e["over_bound_pct"]),
                     fmt((e["end_to_end_ms"] - e["bound_ms"]) / e["exchanges"]),
                     fmt(e["driver_cpu_ms"])])
    text = (f"One ProcessCheck over the serial link (COM port opened through a link to the "
            f"emulator's pseudo-terminal) with the emulator pacing the line like an 8N1 line "
            f"of {LINE_BAUD} baud. The bound is the wire time of the bytes the receipt "
            f"exchanged (counted from the driver's log, WriteLog on) plus the one 500 ms "
            f"pause before the document's result is read.\n\n")
    text += table(["positions", "exchanges", "bytes", "bound, ms", "end to end, ms",
                   "over the bound, %", "time over the bound per exchange, ms",
                   "driver CPU, ms"], rows)
    target = next((e for e in entries if e["positions"] == PACED_TARGET_POSITIONS), None)
    return text, (target["over_bound_pct"] if target else None)


def memory_section(results):
    rows, target = [], None
    path = os.path.join(results, "memory.jsonl")
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line:
                continue
            m = json.loads(line)
            peak = m["peak_kib"] / 1024.0
            base = m["baseline_kib"] / 1024.0
            rows.append([fmt(m["positions"], 0), fmt(base, 1), fmt(peak, 1), fmt(peak - base, 1)])
            if m["positions"] == MEMORY_TARGET_POSITIONS:
                target = peak
    text = ("The peak resident set (getrusage ru_maxrss) of a process that opens the driver "
            "over loopback TCP, opens a shift and prints one receipt; the emulator runs in a "
            "child process and does not count. One process per size. \"Before\" is the peak "
            "once the driver is connected and the host's package text is built.\n\n")
    text += table(["positions", "peak before the receipt, MiB", "peak, MiB", "growth, MiB"], rows)
    return text, target


HISTORY_HEADING = "## Whole runs of make test"


def kept_history(path):
    """The hand-kept history of whole test runs at the end of the old report, as it
    stands: the bench measures exchanges, the history the suite's own time."""
    try:
        with open(path, encoding="utf-8") as f:
            old = f.read()
    except OSError:
        return ""
    at = old.find("\n" + HISTORY_HEADING + "\n")
    return "\n" + old[at + 1:] if at >= 0 else ""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--results", required=True)
    ap.add_argument("--compiler", required=True)
    ap.add_argument("--build-type", required=True)
    ap.add_argument("--output", required=True)
    args = ap.parse_args()

    device = load_json(os.path.join(args.results, "device.json"))
    receipt = load_json(os.path.join(args.results, "receipt.json"))
    link = load_json(os.path.join(args.results, "link.json"))
    link_text, link_calls = link_section(link)
    compare = read_text(os.path.join(args.results, "compare.md"))

    device_text, device_worst = device_section(device)
    loop_text, cpu_ratio, bytes_ratio, loop_share = loopback_section(receipt)
    paced_text, paced_over = paced_section(receipt)
    memory_text, memory_peak = memory_section(args.results)
    failed = errors(device["benchmarks"]) + errors(link["benchmarks"]) + errors(receipt["benchmarks"])

    linear_ok = None if cpu_ratio is None else (cpu_ratio <= LINEAR_TOLERANCE and
                                                 bytes_ratio is not None and
                                                 bytes_ratio <= LINEAR_TOLERANCE)
    targets = [
        [f"driver CPU per exchange <= {CPU_SHARE_TARGET_PCT:g} % of its wire time at {LINE_BAUD} "
         "baud (in-memory link, worst round trip)",
         "n/a" if device_worst is None else f"{fmt(device_worst, 3)} %",
         met(None if device_worst is None else device_worst <= CPU_SHARE_TARGET_PCT)],
        [f"socket system calls per TCP exchange (status round trip on loopback) <= {LINK_CALLS_TARGET}",
         "n/a" if link_calls is None else fmt(link_calls, 1),
         met(None if link_calls is None else link_calls <= LINK_CALLS_TARGET)],
        [f"a {PACED_TARGET_POSITIONS}-position receipt over the paced {LINE_BAUD} line within "
         f"{PACED_TARGET_PCT:g} % of the bound",
         "n/a" if paced_over is None else f"{fmt(paced_over)} % over",
         met(None if paced_over is None else paced_over <= PACED_TARGET_PCT)],
        ["cost linear in positions (marginal driver CPU and bytes per position on the last "
         f"step within {LINEAR_TOLERANCE:g}x of the step before)",
         "n/a" if cpu_ratio is None else f"CPU {fmt(cpu_ratio)}x, bytes {fmt(bytes_ratio)}x",
         met(linear_ok)],
        [f"a {MEMORY_TARGET_POSITIONS:,}-position package within {MEMORY_TARGET_MIB:g} MiB of "
         "peak memory",
         "n/a" if memory_peak is None else f"{fmt(memory_peak, 1)} MiB",
         met(None if memory_peak is None else memory_peak <= MEMORY_TARGET_MIB)],
    ]

    parts = [
        "# Performance",
        "",
        "Written by `make bench` (scripts/bench.sh and scripts/bench_report.py) from the "
        "measured runs below; do not edit the figures by hand, run `make bench` again.",
        "",
        "## Machine",
        "",
        table(["", ""], machine(receipt.get("context", {}), args.compiler, args.build_type,
                       args.results)),
        "",
        "## Targets",
        "",
        table(["target", "measured", "result"], targets),
        "",
    ]
    if loop_share is not None:
        parts += [f"On whole receipts over loopback the driver's CPU is at most {fmt(loop_share, 3)} % "
                  f"of the receipt's wire time at {LINE_BAUD} baud.", ""]
    if failed:
        parts += ["Benchmarks that failed in this run:", ""] + failed + [""]
    parts += [
        "## CPU per exchange on an in-memory link",
        "",
        device_text,
        "",
        "## One exchange of the TCP link on loopback",
        "",
        link_text,
        "",
        "## Receipts on loopback TCP",
        "",
        loop_text,
        "",
        "## The log's cost",
        "",
        log_section(receipt),
        "",
        f"## Receipts over the pseudo-terminal paced at {LINE_BAUD} baud",
        "",
        paced_text,
        "",
        "## Peak memory",
        "",
        memory_text,
        "",
    ]
    if compare != "n/a":
        parts += [
            "## Against earlier commits",
            "",
            "Written by `scripts/bench-compare.sh` in the same run (`FR_BENCH_BASE`): each "
            "commit built in the bench preset in a worktree of its own, the runs alternating. "
            "The receipt's \"driver's own\" time is the ProcessCheck call through frhost (from "
            "its JSON request line to its reply line, so the host's share is in it) less the "
            "500 ms pause, against this tree's emulator in a process of its own; \"own / "
            "wire\" sets it beside the time the receipt's bytes take at 115200 baud.",
            "",
            compare,
            "",
        ]
    text = "\n".join(parts)
    text = re.sub(r"\n{3,}", "\n\n", text)
    text += kept_history(args.output)
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with open(args.output, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
