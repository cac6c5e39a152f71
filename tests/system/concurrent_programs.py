#!/usr/bin/env python3
"""The run beside three other programs on the same file:
  - a writer that, every few milliseconds, changes the articles' other columns and adds a row to a
    table of its own, each change its own transaction;
  - a fifth of the way through the pass, a reader that keeps a read transaction open for seconds;
  - three fifths through, a program that holds an exclusive lock for longer than the run's busy
    timeout.
Then: every write of the writer got through within its own busy timeout (none lost); the run's
prices are those of a run alone; what the run reports as updated is on disk; the operator was
told while the file stayed locked.

  concurrent_programs.py RUN_UPDATE SAMPLE_DB [--articles N]
"""
import argparse
import os
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crash_kill import DB, Run, complete_run, prices  # noqa: E402

WRITER_BUSY_S = 10.0  # the writer's own busy timeout
READ_HOLD_S = 2.5  # both longer than the run's busy timeout, 1.5 s
EXCLUSIVE_HOLD_S = 2.0
# The operator answers each box after this long: told that the file is in use, they press "OK",
# "Reintentar" or "Continuar" once the other program has let go of it.
PATIENCE_MS = int((max(READ_HOLD_S, EXCLUSIVE_HOLD_S) + 1.0) * 1000)
HOLD_CEILING_S = 6.0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("run_update")
    p.add_argument("sample_db")
    p.add_argument("--articles", type=int, default=50000)
    a = p.parse_args()
    work = tempfile.mkdtemp(prefix="zuk-concurrent.")
    try:
        base = os.path.join(work, "base.mdb")
        subprocess.run([a.sample_db, base, str(a.articles)], check=True, stdout=subprocess.DEVNULL)
        with sqlite3.connect(base) as c:
            c.execute("CREATE TABLE tblMovimientos (id INTEGER PRIMARY KEY, articulo INTEGER, hora REAL)")
            stock_before = c.execute("SELECT total(STOCK) FROM tblArticulos").fetchone()[0]
        before = prices(base)
        alone = os.path.join(work, "alone")
        os.mkdir(alone)
        shutil.copy(base, os.path.join(alone, DB))
        complete_run(a.run_update, alone)
        expected = prices(os.path.join(alone, DB))

        folder = os.path.join(work, "shared")
        os.mkdir(folder)
        path = os.path.join(folder, DB)
        shutil.copy(base, path)
        stop = threading.Event()
        holds = []
        tally = {"attempted": 0, "committed": 0, "lost": 0, "slowest": 0.0, "errors": []}

        def writer():
            c = sqlite3.connect(path, timeout=WRITER_BUSY_S, isolation_level=None)
            n = 0
            while not stop.is_set():
                n += 1
                rowid = 1 + (n * 7919) % a.articles
                tally["attempted"] += 1
                t = time.monotonic()
                try:
                    c.execute("BEGIN IMMEDIATE")
                    c.execute("UPDATE tblArticulos SET STOCK = STOCK + 1, NOMARTI = NOMARTI WHERE rowid = ?", (rowid,))
                    c.execute("INSERT INTO tblMovimientos (articulo, hora) VALUES (?, ?)", (rowid, t))
                    c.execute("COMMIT")
                    tally["committed"] += 1
                except sqlite3.Error as e:
                    tally["lost"] += 1
                    tally["errors"].append(str(e))
                    if c.in_transaction:
                        c.execute("ROLLBACK")
                tally["slowest"] = max(tally["slowest"], time.monotonic() - t)
                time.sleep(0.003)
            c.close()

        def reached(percent):
            line = "progress: %d%%" % percent
            while line not in run.lines and run.process.poll() is None:
                time.sleep(0.005)

        def boxes_seen():
            return sum(1 for l in run.lines if l.startswith("box: "))

        def hold_until_told(at_least_s):
            # Held at least that long, and then until the run has told the operator (whose box the
            # run's output shows), but never so long that the writer's own busy timeout runs out:
            # on a loaded machine the run may reach the file later than on an idle one.
            told = boxes_seen()
            start = time.monotonic()
            while time.monotonic() - start < at_least_s or (
                    boxes_seen() == told and time.monotonic() - start < HOLD_CEILING_S and run.process.poll() is None):
                time.sleep(0.01)
            holds.append((time.monotonic() - start, boxes_seen() > told))

        def reader_then_locker():
            # A fifth of the way through the pass, a reader; three fifths through, an exclusive lock.
            c = sqlite3.connect(path, timeout=WRITER_BUSY_S, isolation_level=None)
            reached(20)
            c.execute("BEGIN")
            c.execute("SELECT count(*) FROM tblArticulos").fetchone()
            hold_until_told(READ_HOLD_S)
            c.execute("COMMIT")
            reached(60)
            c.execute("BEGIN EXCLUSIVE")
            hold_until_told(EXCLUSIVE_HOLD_S)
            c.execute("COMMIT")
            c.close()

        threads = [threading.Thread(target=writer, daemon=True), threading.Thread(target=reader_then_locker, daemon=True)]
        threads[0].start()
        run = Run(a.run_update, folder, PATIENCE_MS)
        threads[1].start()
        code = run.finish(timeout=180)
        threads[1].join()
        time.sleep(0.1)
        stop.set()
        threads[0].join()

        faults = []
        boxes = [l[5:] for l in run.lines if l.startswith("box: ")]
        boxes_text = "\n  ".join(b[:110] for b in boxes)
        done = [l for l in run.lines if l.startswith("done: ")]
        if code != 0 or not done:
            faults.append("the run did not complete (exit %d)" % code)
        with sqlite3.connect(path) as c:
            check = c.execute("PRAGMA integrity_check").fetchone()[0]
            moves = c.execute("SELECT count(*) FROM tblMovimientos").fetchone()[0]
            stock = c.execute("SELECT total(STOCK) FROM tblArticulos").fetchone()[0]
        after = prices(path)
        on_disk = sum(1 for r in after if after[r] == expected[r] != before[r])
        wrong = sum(1 for r in after if after[r] != expected[r] and after[r] != before[r])
        reported = int(re.search(r"Actualizados : (\d+)", done[0]).group(1)) if done else -1
        if check != "ok":
            faults.append("integrity_check: " + check)
        if tally["lost"] or moves != tally["committed"] or stock - stock_before != tally["committed"]:
            faults.append("the writer lost writes: %d refused, %d rows of its own, stock grew by %d"
                          % (tally["lost"], moves, stock - stock_before))
        if tally["slowest"] >= WRITER_BUSY_S:
            faults.append("a write of the writer waited %.1f s" % tally["slowest"])
        if wrong:
            faults.append("%d articles with prices a run alone does not give" % wrong)
        if reported != on_disk:
            faults.append("the run reports %d articles updated, %d are on disk" % (reported, on_disk))
        if on_disk != sum(1 for r in expected if expected[r] != before[r]):
            faults.append("the run updated %d articles, alone it updates %d"
                          % (on_disk, sum(1 for r in expected if expected[r] != before[r])))
        if len(boxes) < 3:
            faults.append("the operator was not told, twice, that the file stayed locked")

        print("%d articles; the summary came after %.1f s; the boxes the operator saw:\n  %s"
              % (a.articles, run.box_at or -1, boxes_text))
        print("the reader held its transaction %s; the exclusive lock was held %s"
              % tuple("%.1f s (%s)" % (t, "the operator was told" if told else "nobody was told")
                      for t, told in holds + [(0.0, False)] * (2 - len(holds))))
        print("writer: %d writes attempted, %d lost, the slowest waited %.2f s (its busy timeout %.0f s)"
              % (tally["attempted"], tally["lost"], tally["slowest"], WRITER_BUSY_S))
        print("run: %d articles reported updated, %d on disk" % (reported, on_disk))
        for f in faults:
            print("FAILED: " + f)
        if faults:
            print("the run's output:\n  " + "\n  ".join(run.lines))
            sys.exit(1)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
