#!/usr/bin/env python3
"""The run killed with SIGKILL at seeded points, some while it reads and computes, some while it
writes its transaction, some while the summary box waits. After every kill:
  - the file passes PRAGMA integrity_check;
  - every article is exactly as before the run or exactly as the run computes it (cost, last cost
    and the three prices together), never partly written;
  - once the summary box is up, every article is written (what the box counts is on disk);
  - the entries are unchanged;
  - the history of prices agrees with the prices: each article's history rows, run after run,
    start from its price before the run and end at its price now, and an article whose price
    changed has them (no price without its history, no history of a price not written);
  - a second run completes and leaves the prices of an uninterrupted run.

  crash_kill.py RUN_UPDATE SAMPLE_DB [--articles N] [--kills K] [--seed S]
"""
import argparse
import hashlib
import os
import random
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

import price_history

DB = "veskgestion.mdb"
PRICES = "SELECT rowid, costesiniva, ultimopreciocoste, pvp1, pvp2, pvp3 FROM tblArticulos"


def prices(path):
    with sqlite3.connect(path) as c:
        return {r[0]: r[1:] for r in c.execute(PRICES)}


def entries_digest(path):
    h = hashlib.sha256()
    with sqlite3.connect(path) as c:
        for row in c.execute("SELECT * FROM tblHistoricoEntradas ORDER BY NUMENTRADA"):
            h.update(repr(row).encode())
    return h.hexdigest()


def history_problems(path, before):
    """Where the kept history and the prices disagree: an empty list when they agree."""
    now = prices(path)
    with sqlite3.connect(path) as c:
        rows = price_history.changes(c)
        orphans = price_history.orphans(c)
    reached = dict(before)
    problems = []
    for _, article, _, old, new in rows:
        if reached.get(article) != old:
            problems.append("article %d: its history starts from a price it did not hold" % article)
        reached[article] = new
    wrong = [r for r in now if reached.get(r) != now[r]]
    if wrong:
        problems.append("%d articles' prices are not where their history ends (rowid %d)" % (len(wrong), wrong[0]))
    if orphans:
        problems.append("%d history rows of no run" % orphans)
    return problems


class Run:
    """run_update started from a folder, where it finds its database as the program finds its own
    beside the executable; its output lines are read as they come."""

    def __init__(self, program, folder, wait_ms):
        copy = os.path.join(folder, os.path.basename(program))
        if not os.path.exists(copy):
            shutil.copy(program, copy)
        program = copy
        self.started = time.monotonic()
        self.box_at = None
        self.lines = []
        self.process = subprocess.Popen([program, str(wait_ms)], cwd=folder, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line.rstrip("\n"))
            if line.startswith("box: TALVERA") and self.box_at is None:
                self.box_at = time.monotonic() - self.started

    def finish(self, timeout=600):
        code = self.process.wait(timeout)
        self.reader.join()
        return code

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.finish()


def complete_run(program, folder):
    run = Run(program, folder, 0)
    code = run.finish()
    if code != 0 or not any(l.startswith("done:") for l in run.lines):
        sys.exit("FAILED: a run did not complete (exit %d):\n%s" % (code, "\n".join(run.lines)))
    return run


def main():
    p = argparse.ArgumentParser()
    p.add_argument("run_update")
    p.add_argument("sample_db")
    p.add_argument("--articles", type=int, default=10000)
    p.add_argument("--kills", type=int, default=20)
    p.add_argument("--seed", type=int, default=20261207)
    a = p.parse_args()
    rnd = random.Random(a.seed)
    work = tempfile.mkdtemp(prefix="zuk-crash.")
    try:
        base = os.path.join(work, "base.mdb")
        subprocess.run([a.sample_db, base, str(a.articles)], check=True, stdout=subprocess.DEVNULL)
        before, entries = prices(base), entries_digest(base)

        # The prices of an uninterrupted run, and how long it takes to reach its summary.
        reference = os.path.join(work, "reference")
        os.mkdir(reference)
        shutil.copy(base, os.path.join(reference, DB))
        run = complete_run(a.run_update, reference)
        expected = prices(os.path.join(reference, DB))
        if history_problems(os.path.join(reference, DB), before):
            sys.exit("FAILED: an uninterrupted run: " + "; ".join(history_problems(os.path.join(reference, DB), before)))
        to_box = run.box_at or 1.0
        box_wait_ms = max(400, int(to_box * 1000))
        span = to_box + box_wait_ms / 1000.0 * 0.9
        print("%d articles; an uninterrupted run reaches its summary in %.2f s; %d kills, seed %d"
              % (a.articles, to_box, a.kills, a.seed))

        phases = {"reading and computing": 0, "writing (journal left)": 0, "summary box waiting": 0}
        faults = []
        folder = os.path.join(work, "killed")
        os.mkdir(folder)
        for k in range(a.kills):
            path = os.path.join(folder, DB)
            journal = path + "-journal"
            shutil.copy(base, path)
            run = Run(a.run_update, folder, box_wait_ms)
            if k % 4 == 3:
                # Aimed at the commit: the moment the journal appears, plus a few milliseconds.
                deadline = time.monotonic() + span + 30
                while not os.path.exists(journal) and run.process.poll() is None and time.monotonic() < deadline:
                    time.sleep(0.0002)
                time.sleep(rnd.uniform(0, 0.02))
            else:
                # Spread over the run and the wait of its summary box.
                slot = (k - k // 4) / (a.kills - a.kills // 4)
                time.sleep(span * (slot + rnd.uniform(0, 1.0 / (a.kills - a.kills // 4))))
            run.kill()
            hot = os.path.exists(journal) and os.path.getsize(journal) > 0
            boxed = run.box_at is not None
            phase = "writing (journal left)" if hot else "summary box waiting" if boxed else "reading and computing"
            phases[phase] += 1

            with sqlite3.connect(path) as c:  # opening it rolls a hot journal back
                check = c.execute("PRAGMA integrity_check").fetchone()[0]
            after = prices(path)
            half = [r for r in after if after[r] != before[r] and after[r] != expected[r]]
            written = sum(1 for r in after if after[r] == expected[r] != before[r])
            problems = []
            if check != "ok":
                problems.append("integrity_check: " + check)
            if half:
                problems.append("%d articles partly written (rowid %d)" % (len(half), half[0]))
            if boxed and not hot and written != sum(1 for r in expected if expected[r] != before[r]):
                problems.append("the summary was up with only %d articles written" % written)
            if entries_digest(path) != entries:
                problems.append("the entries changed")
            problems += history_problems(path, before)
            complete_run(a.run_update, folder)
            if prices(path) != expected:
                problems.append("the second run does not give the prices of an uninterrupted run")
            problems += ["after the second run: " + p for p in history_problems(path, before)]
            print("kill %2d: %-24s %6d articles written at the kill  %s"
                  % (k + 1, phase, written, "; ".join(problems) or "consistent"))
            if problems:
                faults.append(k + 1)

        print("phases: " + ", ".join("%s %d" % kv for kv in phases.items()))
        print("kills survived with nothing half-written: %d of %d" % (a.kills - len(faults), a.kills))
        if faults:
            sys.exit("FAILED")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
