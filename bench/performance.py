#!/usr/bin/python3
"""Runs every bench executable, collects their RESULT and CAUSE lines and
writes docs/performance.md. A bench that fails or hangs gets a row saying so
and the others still run."""
import datetime
import os
import platform
import subprocess
import sys
import time
from pathlib import Path

TIMEOUT_S = 420  # the network bench sends 500 files four times at 20 ms
# The SIP bench holds a 10-minute call.
TIMEOUTS_S = {"bench_sipline": 900}
HEADER = ("figure", "ours", "reference", "ratio", "target", "met?")


def machine():
    cpu = "unknown CPU"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    mem_kib = 0
    for line in Path("/proc/meminfo").read_text().splitlines():
        if line.startswith("MemTotal:"):
            mem_kib = int(line.split()[1])
    short = f"{os.cpu_count()} × {cpu}"
    full = (f"{short}, {mem_kib / 1048576:.1f} GiB RAM, Linux {platform.release()}, "
            f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M UTC}")
    return short, full


def run_bench(exe):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    start = time.monotonic()
    try:
        proc = subprocess.run([str(exe)], env=env, capture_output=True, text=True,
                              timeout=TIMEOUTS_S.get(exe.name, TIMEOUT_S))
        out, err, rc = proc.stdout, proc.stderr, proc.returncode
    except subprocess.TimeoutExpired as e:
        out = e.stdout.decode() if isinstance(e.stdout, bytes) else (e.stdout or "")
        err, rc = f"timed out after {TIMEOUTS_S.get(exe.name, TIMEOUT_S)} s", None
    seconds = time.monotonic() - start
    sys.stdout.write(out)
    sys.stderr.write(err if rc is None else "")
    rows, causes = [], {}
    for line in out.splitlines():
        fields = line.split("\t")
        if fields[0] == "RESULT" and len(fields) == 7:
            rows.append(fields[1:])
        elif fields[0] == "CAUSE" and len(fields) == 3:
            causes.setdefault(fields[1], []).append(fields[2])
    if rc != 0 or not rows:
        why = ("timed out" if rc is None else f"killed by signal {-rc}" if rc < 0
               else f"exit code {rc}" if rc else "no figures printed")
        last = [l for l in err.splitlines() if l.strip()][-1:] or [""]
        rows.append([f"{exe.name} (whole bench)", f"FAILED: {why} {last[0]}".strip(),
                     "—", "—", "—", "no"])
    print(f"-- {exe.name}: {len(rows)} row(s), {seconds:.0f} s", flush=True)
    return rows, causes


def cell(text):
    return text.replace("|", "\\|")


def main():
    build, docs = Path(sys.argv[1]), Path(sys.argv[2])
    benches = sorted(p for p in (build / "bench").glob("bench_*")
                     if p.is_file() and os.access(p, os.X_OK))
    host, host_full = machine()
    rows, causes = [], {}
    for exe in benches:
        r, c = run_bench(exe)
        rows += r
        for k, v in c.items():
            causes.setdefault(k, []).extend(v)
    lines = ["# Performance", "",
             "Written by `./run bench` (RelWithDebInfo build, `QT_QPA_PLATFORM=offscreen`). "
             "Each figure is the median of several runs, measured against its reference in "
             "the same process or the same run.", "",
             "| " + " | ".join(HEADER + ("machine",)) + " |",
             "|" + "---|" * (len(HEADER) + 1)]
    for r in rows:
        lines.append("| " + " | ".join(cell(x) for x in r) + f" | {cell(host)} |")
    lines += ["", f"Machine: {host_full}.", ""]
    missed = [r for r in rows if r[5] != "yes"]
    if missed:
        lines += ["## Missed targets", ""]
        for r in missed:
            if r[1].startswith("FAILED"):
                why = "not measured, " + r[1]
            else:
                why = "; ".join(causes.get(r[0], [])) or "no cause measured by the bench"
            lines.append(f"- {r[0]}: {why}.")
    else:
        lines.append("Every target is met.")
    docs.parent.mkdir(parents=True, exist_ok=True)
    docs.write_text("\n".join(lines) + "\n")
    print(f"wrote {docs}: {len(rows)} figure(s), {len(missed)} missed")


if __name__ == "__main__":
    main()
