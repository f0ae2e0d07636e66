#!/usr/bin/env python3
"""Rendering benchmark: a site of PAGES pages that scripts build in the browser,
crawled by sm with --render=on (tabs as by default, one per core, and more),
beside the same pages pre-rendered by the server and crawled without rendering;
and --render=auto on that ordinary (server-built) site beside --render=off.
Served by nginx on 127.0.0.1. Prints pages found, pages per second, and the peak
memory (proportional set size) of sm together with every process it started
(the browser's included), sampled every 50 ms.
Usage: run.py [SM_BINARY] [PAGES]"""
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SM = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                     os.path.join(HERE, "../../build/bin/sm"))
PAGES = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
AUTO_TURNS = 7


def descendants_pss_kb(root):
    """Summed proportional set size (shared pages split among their users, so the
    browser's processes are not counted many times over) of root and of every
    process below it."""
    children, rss = {}, {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open(f"/proc/{entry}/smaps_rollup") as f:
                pss = next(int(line.split()[1]) for line in f if line.startswith("Pss:"))
        except (OSError, IndexError, ValueError, StopIteration):
            continue
        pid, parent = int(entry), int(fields[1])
        children.setdefault(parent, []).append(pid)
        rss[pid] = pss
    total, todo = 0, [root]
    while todo:
        pid = todo.pop()
        total += rss.get(pid, 0)
        todo += children.get(pid, [])
    return total


def crawl(work, port, kind, options):
    out = os.path.join(work, "map.tmp")
    facts = os.path.join(work, "facts.jsonl")
    command = [SM, f"Search_URL=127.0.0.1:{port}/{kind}/index.html", "--quiet",
               "--no-external", f"--output={out}", f"--facts={facts}"] + options
    began = time.monotonic()
    process = subprocess.Popen(command, stderr=subprocess.PIPE, text=True)
    peak = 0
    while process.poll() is None:
        peak = max(peak, descendants_pss_kb(process.pid))
        time.sleep(0.05)
    wall = time.monotonic() - began
    log = process.stderr.read()
    pages = sum(1 for line in open(facts) if '"k":"page"' in line)
    rendered = sum(1 for line in open(facts) if '"rendered":true' in line)
    return wall, pages, rendered, peak // 1024, log


def main():
    work = tempfile.mkdtemp(prefix="vantora-bench-render.")
    os.chmod(work, 0o755)
    port = 20000 + random.randrange(20000)
    nginx = None
    try:
        subprocess.run([sys.executable, os.path.join(HERE, "gen_site.py"),
                        os.path.join(work, "site"), str(PAGES)], check=True)
        with open(os.path.join(work, "nginx.conf"), "w") as f:
            f.write(f"""worker_processes 1; pid {work}/nginx.pid; error_log {work}/error.log;
events {{ worker_connections 1024; }}
http {{ access_log off; default_type text/html; types {{ text/html html; }}
  keepalive_requests 100000;
  server {{ listen 127.0.0.1:{port}; root {work}/site; }} }}
""")
        subprocess.run(["nginx", "-c", f"{work}/nginx.conf", "-p", work], check=True)
        time.sleep(0.3)
        cores = os.cpu_count()
        runs = [
            ("script-built, --render=on", "script", ["--render=on"]),
            ("script-built, --render=on --render-tabs=8", "script",
             ["--render=on", "--render-tabs=8"]),
            ("script-built, --render=off", "script", []),
        ]
        # A server-built crawl takes well under a second: off and auto are run
        # in turns, several times, and compared by their medians.
        for turn in range(1, AUTO_TURNS + 1):
            runs += [(f"pre-rendered, --render=off ({turn})", "rendered", []),
                     (f"pre-rendered, --render=auto ({turn})", "rendered", ["--render=auto"])]
        print(f"Site of {PAGES} pages on 127.0.0.1:{port}, {cores} cores; sm {SM}")
        print(f"  {'run':44} {'pages':>6} {'rendered':>8} {'wall s':>7} {'pages/s':>8} "
              f"{'peak MB':>8}")
        results = {}
        for label, kind, options in runs:
            wall, pages, rendered, peak, log = crawl(work, port, kind, options)
            results[label] = pages / wall
            print(f"  {label:44} {pages:6} {rendered:8} {wall:7.2f} {pages / wall:8.1f} "
                  f"{peak:8}")
            for line in log.splitlines():
                if "Chromium" in line or "rendered" in line:
                    print("      " + line)
        off = statistics.median(v for k, v in results.items() if "--render=off (" in k)
        auto = statistics.median(v for k, v in results.items() if "--render=auto (" in k)
        print(f"  auto on the server-built site: {100 * (off - auto) / off:+.1f} % slower "
              f"than off (medians of {AUTO_TURNS} runs each, in turns)")
    finally:
        pid_file = os.path.join(work, "nginx.pid")
        if os.path.exists(pid_file):
            subprocess.run(["kill", open(pid_file).read().strip()])
        time.sleep(0.2)
        shutil.rmtree(work, ignore_errors=True)


main()
