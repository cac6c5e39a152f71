#!/usr/bin/env python3
"""Undoing a run with actualizapvp-deshacer, on real files written by real runs:
  - runs are put back from the newest: an older run under a later one in force is refused;
  - an article another program changed, or deleted, is left alone and named, and the rest come
    back even after the file was compacted (its rows renumbered);
  - a second undo of the same run, a file without history and a damaged history are refused and
    change nothing;
  - a text in a price column comes back as the same text, and an article with a negative row
    number is written, kept and put back like any other;
  - rules of the file that refuse an article (ABORT, ROLLBACK, FAIL) or round its price: what the
    file holds is what is kept, once an article;
  - the history keeps the last 20 runs, the oldest dropped first, the earlier history's among them;
  - --csv writes the run's changes; wrong arguments get the usage and exit 2;
  - Ctrl+C in the middle of an undo leaves the file as it was;
  - a file another program holds is waited for, then undone.

  undo_runs.py RUN_UPDATE SAMPLE_DB UNDO
"""
import argparse
import hashlib
import os
import pty
import select
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crash_kill import DB, complete_run  # noqa: E402
import price_history  # noqa: E402

PRICES = "SELECT rowid, CODARTI, costesiniva, ultimopreciocoste, pvp1, pvp2, pvp3 FROM tblArticulos"
DONE, REFUSED, LEFT_ALONE = 0, 1, 3  # the command's exit statuses


class Case:
    def __init__(self, args, work, name, articles=300):
        self.args = args
        self.folder = os.path.join(work, name)
        os.mkdir(self.folder)
        self.path = os.path.join(self.folder, DB)
        subprocess.run([args.sample_db, self.path, str(articles)], check=True, stdout=subprocess.DEVNULL)

    def run(self):
        complete_run(self.args.run_update, self.folder)

    def undo(self, *arguments, **kw):
        p = subprocess.run([self.args.undo, *arguments], capture_output=True, text=True, **kw)
        return p.returncode, p.stdout, p.stderr

    def sql(self, statements):
        with sqlite3.connect(self.path) as c:
            c.executescript(statements)

    def query(self, sql, *params):
        with sqlite3.connect(self.path) as c:
            return c.execute(sql, params).fetchall()

    def priced(self, n):
        """The code of the nth article (in the file's order) that has purchase entries."""
        return self.query("SELECT CODARTI FROM tblArticulos WHERE CODARTI IN (SELECT CODARTI FROM "
                          "tblHistoricoEntradas) ORDER BY rowid LIMIT 1 OFFSET ?", n)[0][0]

    def changes(self, run=None):
        """(run, article, code, old prices, new prices) of the changes the file keeps."""
        with sqlite3.connect(self.path) as c:
            return price_history.changes(c, run)

    def prices(self):
        """By code: the five values, each with its type."""
        with sqlite3.connect(self.path) as c:
            rows = c.execute("SELECT CODARTI, costesiniva, typeof(costesiniva), ultimopreciocoste, pvp1, pvp2, "
                             "typeof(pvp2), pvp3 FROM tblArticulos").fetchall()
        return {r[0]: r[1:] for r in rows}

    def digest(self):
        with open(self.path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()


def check(condition, what):
    if not condition:
        raise AssertionError(what)


def after_a_later_run(case):
    before = case.prices()
    case.run()
    first = case.prices()
    # Newer purchases for ten articles: the second run changes them again, and writes the same
    # prices as the first for the others.
    changed = sorted(change[2] for change in case.changes(1))[:10]
    for code in changed:
        case.sql("INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES ('%s', '2099-01-01', 777, 0)"
                 % code)
    case.run()
    second, untouched = case.prices(), case.digest()
    # The second run is in force over every article it wrote: the first is not put back.
    code, out, err = case.undo(case.path, "1")
    check(code == REFUSED and "la actualización 2, posterior, sigue en vigor" in err,
          "undo of run 1 under run 2: exit %d\n%s%s" % (code, out, err))
    check(case.digest() == untouched, "a refused undo changed the file")
    code, out, err = case.undo(case.path, "2")
    check(code == DONE and "10 artículos vuelven" in out, "undo of run 2: exit %d\n%s%s" % (code, out, err))
    check(case.prices() == first, "run 2's undo did not bring back run 1's prices")
    code, out, err = case.undo(case.path, "1")
    check(code == DONE, "undo of run 1 after run 2's: exit %d\n%s%s" % (code, out, err))
    check(case.prices() == before, "run 1's undo did not bring back the prices before it")
    check(second != first, "the second run changed nothing")
    listing = case.undo(case.path)[1].splitlines()
    check(len(listing) == 2 and all("(deshecha el " in line for line in listing), "listing: %s" % listing)


def another_program_changed(case):
    before = case.prices()
    case.run()
    codes = [change[2] for change in sorted(case.changes(1), key=lambda change: change[1])[:3]]
    edited, deleted = codes[0], codes[2]
    # By hand: one price edited, one article deleted, and the file compacted (the rows after the
    # deleted one are renumbered).
    case.sql("UPDATE tblArticulos SET pvp2 = pvp2 + 1 WHERE CODARTI = '%s'; DELETE FROM tblArticulos WHERE CODARTI = "
             "'%s';" % (edited, deleted))
    case.sql("VACUUM")
    code, out, err = case.undo(case.path, "1")
    check(code == LEFT_ALONE, "exit %d\n%s%s" % (code, out, err))
    check("'%s': sus precios cambiaron después de esa actualización" % edited in out, "edited not named:\n" + out)
    check("'%s': ya no está en la base de datos" % deleted in out, "deleted not named:\n" + out)
    now = case.prices()
    check(now[edited] != before[edited], "the edited article was put back")
    check(all(now[c] == before[c] for c in now if c != edited), "the others did not all come back")


def twice_and_without_history(case):
    untouched = case.digest()
    code, out, err = case.undo(case.path)
    check(code == REFUSED and "no guarda historia de precios" in err, "without history: %d %s" % (code, err))
    code, out, err = case.undo(case.path, "1")
    check(code == REFUSED and case.digest() == untouched, "an undo changed a file without history")
    case.run()
    check(case.undo(case.path, "1")[0] == DONE, "first undo")
    undone = case.digest()
    code, out, err = case.undo(case.path, "1")
    check(code == REFUSED and "ya se deshizo" in err, "second undo: %d %s" % (code, err))
    code, out, err = case.undo(case.path, "9")
    check(code == REFUSED and "no guarda la actualización 9" in err, "unknown run: %d %s" % (code, err))
    check(case.digest() == undone, "a refused undo changed the file")


def a_damaged_history(case):
    # A piece of the history cut short at the end of a record still reads as records: the count
    # it was stored with tells it is damaged, and nothing is put back or written out.
    case.run()
    with sqlite3.connect(case.path) as c:
        key, blob = c.execute("SELECT id, changes FROM actualizapvp_changes ORDER BY id LIMIT 1").fetchone()
        c.execute("UPDATE actualizapvp_changes SET changes = ? WHERE id = ?",
                  (price_history.encode(list(price_history.records(blob))[:-1]), key))
    untouched = case.digest()
    for arguments in ([case.path, "1"], ["--csv", case.path, "1"]):
        code, out, err = case.undo(*arguments)
        check(code == REFUSED and "dañada" in err, "%s: exit %d %s" % (arguments, code, err))
    check(case.digest() == untouched, "a damaged history changed the file")


def unusual_articles(case):
    # An article with a text in a price column, and one with a negative row number: each is
    # priced, its change kept, and put back exactly as it was (the text as the same text).
    text, negative = case.priced(0), case.priced(1)
    case.sql("UPDATE tblArticulos SET pvp2 = 'a consultar' WHERE CODARTI = '%s'; "
             "UPDATE tblArticulos SET rowid = -5 WHERE CODARTI = '%s'" % (text, negative))
    before = case.prices()
    case.run()
    check(case.prices()[text][5] == "real", "the run did not price the article")
    check(case.prices()[negative] != before[negative], "the article was not priced")
    check([change[1] for change in case.changes(1) if change[2] == negative] == [-5], "its change was not kept")
    check(case.undo(case.path, "1")[0] == DONE, "undo")
    check(case.prices()[text] == before[text], "the text did not come back as it was: %s" % (case.prices()[text],))
    check(case.prices() == before, "it did not come back")


def rules_of_the_file(case):
    # Rules of the file act on one article after the engine changed its row: refusing it by undoing
    # the statement (ABORT), the whole transaction (ROLLBACK), or keeping what was written (FAIL);
    # or rounding the price it was given. Whatever the file holds is what is kept, once an article.
    code = case.priced(5)
    other = case.query("SELECT CODARTI FROM tblArticulos WHERE CODARTI NOT IN (SELECT CODARTI FROM "
                       "tblHistoricoEntradas) LIMIT 1")[0][0]  # not written by the run itself
    refuse = "SELECT RAISE(%s, 'precio no autorizado')"
    rounding = "UPDATE tblArticulos SET pvp1 = round(NEW.pvp1) + 0.5 WHERE rowid = NEW.rowid"
    another = "UPDATE tblArticulos SET pvp2 = coalesce(pvp2, 0) + 10 WHERE CODARTI = '%s'" % other
    rules = {"ABORT": refuse % "ABORT", "ROLLBACK": refuse % "ROLLBACK", "FAIL": refuse % "FAIL",
             "rounding": rounding,
             # Two rows changed in turn, twice each, then refused with FAIL: the file keeps both.
             "FAIL after changes": "; ".join((another, rounding, another, refuse % "FAIL"))}
    for how, action in rules.items():
        case.sql("DROP TRIGGER IF EXISTS rule; CREATE TRIGGER rule AFTER UPDATE OF pvp1 ON tblArticulos "
                 "WHEN NEW.CODARTI = '%s' AND NEW.pvp1 <> round(NEW.pvp1) + 0.5 BEGIN %s; END" % (code, action))
        case.sql("UPDATE tblHistoricoEntradas SET pvp = pvp + 1.37")  # new prices for every article
        before = case.prices()
        case.run()
        run = max(change[0] for change in case.changes())
        changes = case.changes(run)
        kept = [change[2] for change in changes]
        now = case.prices()
        check((now[code] == before[code]) == (how in ("ABORT", "ROLLBACK")), "%s: the article as written" % how)
        check(len(kept) == len(set(kept)) and sorted(kept) == sorted(c for c in now if now[c] != before[c]),
              "%s: the changes kept are not the articles written" % how)
        if how in ("rounding", "FAIL after changes"):
            check([change[4][2] for change in changes if change[2] == code] == [now[code][3]],
                  "%s: the price kept is not the one the file holds" % how)
            case.sql("DROP TRIGGER rule")  # or it would act on the prices put back too
            check(case.undo(case.path, str(run))[0] == DONE and case.prices() == before, "%s: undo" % how)


def bounded(case):
    case.run()
    # Nineteen older runs as a shop's file would have them, each with a change: the first ten
    # kept by the earlier version, one row an article, the others a piece each.
    _, article, code, _, _ = case.changes(1)[0]
    case.sql("CREATE TABLE actualizapvp_prices (id INTEGER PRIMARY KEY, code, %s, %s)"
             % (", ".join("old_" + p for p in price_history.PRICES), ", ".join("new_" + p for p in price_history.PRICES)))
    for n in range(2, 21):
        case.sql("INSERT INTO actualizapvp_runs (run, moment, user, articles) VALUES (%d, '2026-01-%02d 10:00:00', "
                 "'tienda', 1)" % (n, n))
        with sqlite3.connect(case.path) as c:
            if n <= 10:
                c.execute("INSERT INTO actualizapvp_prices (id, code, new_pvp1) VALUES (?, ?, 1)",
                          ((n << 40) | article, code))
            else:
                c.execute("INSERT INTO actualizapvp_changes VALUES (?, 1, ?)",
                          ((n << 40) | 1, price_history.encode([(article, code, (None,) * 5, (1.0,) * 5)])))
    case.run()
    runs = [r[0] for r in case.query("SELECT run FROM actualizapvp_runs ORDER BY run")]
    check(runs == list(range(2, 22)), "kept runs: %s" % runs)
    check(not case.changes(1), "run 1's changes stayed")
    check(len(case.changes(2)) == 1 and len(case.changes(20)) == 1, "the earlier runs' changes went")
    listing = case.undo(case.path)[1].splitlines()
    check(len(listing) == 20 and listing[0].startswith("2  ") and listing[-1].startswith("21  "),
          "listing: %s" % listing[:2])


def csv_and_arguments(case):
    case.sql("INSERT INTO tblArticulos (CODARTI, NOMARTI, margen1, margen2, margen3) VALUES ('X;1', '=Con \"comillas\"', "
             "10, 0, 0); INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES ('X;1', "
             "'2026-01-01', 12.5, 0);")
    case.run()
    code, out, err = case.undo("--csv", case.path, "1")
    lines = out.splitlines()
    check(code == 0 and lines[0].startswith("codigo;nombre;coste_antes;coste_despues;"), "csv: %d %s" % (code, err))
    changed = len(case.changes(1))
    check(len(lines) == changed + 1, "csv: %d lines for %d changes" % (len(lines), changed))
    check('"X;1";"\'=Con ""comillas""";;12,5;;12,5;;13,75;;12,5;;12,5' in lines, "csv quoting:\n" + "\n".join(lines[-3:]))
    for arguments in ([], ["--csv", case.path], [case.path, "uno"], [case.path, "0"], ["--todo", case.path],
                      [case.path, "1", "2"]):
        code, out, err = case.undo(*arguments)
        check(code == 2 and "Uso: actualizapvp-deshacer" in err, "arguments %s: exit %d" % (arguments, code))
    code, out, err = case.undo("--help")
    check(code == 0 and out.startswith("Uso: actualizapvp-deshacer"), "--help")


def interrupted(case):
    case.run()
    # A long run: 300,000 more articles, each with its change.
    case.sql("""
        INSERT INTO tblArticulos (CODARTI, NOMARTI, costesiniva, ultimopreciocoste, pvp1, pvp2, pvp3)
          WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000)
          SELECT 'Z' || i, 'Relleno', 2, 2, 3, 3, 3 FROM n;""")
    added = case.query("SELECT rowid, CODARTI FROM tblArticulos WHERE CODARTI LIKE 'Z%'")
    with sqlite3.connect(case.path) as c:
        for piece in range(0, len(added), 10000):
            c.execute("INSERT INTO actualizapvp_changes VALUES ((1 << 40) | (1000 + ?), 10000, ?)",
                      (piece, price_history.encode([(rowid, code, (1.0,) * 5, (2.0, 2.0, 3.0, 3.0, 3.0))
                                                    for rowid, code in added[piece:piece + 10000]])))
    untouched = case.digest()
    pid, fd = pty.fork()
    if pid == 0:  # on a terminal: the progress bar is drawn
        os.execv(case.args.undo, [case.args.undo, case.path, "1"])
    seen = b""
    deadline = time.monotonic() + 60
    while b"Deshaciendo" not in seen and time.monotonic() < deadline:
        if select.select([fd], [], [], 0.5)[0]:
            try:
                seen += os.read(fd, 4096)
            except OSError:
                break
    os.kill(pid, signal.SIGINT)
    while True:
        try:
            if not os.read(fd, 4096):
                break
        except OSError:
            break
    status = os.waitpid(pid, 0)[1]
    check(b"Deshaciendo" in seen, "no progress on a terminal: %r" % seen[-200:])
    check(os.waitstatus_to_exitcode(status) == 130, "exit %d after Ctrl+C" % os.waitstatus_to_exitcode(status))
    check(case.digest() == untouched, "the file changed")


def waits_for_a_lock(case):
    case.run()
    holder = sqlite3.connect(case.path, isolation_level=None, check_same_thread=False)
    holder.execute("BEGIN EXCLUSIVE")
    threading.Timer(6.0, holder.commit).start()  # longer than opening waits by itself
    started = time.monotonic()
    code, out, err = case.undo(case.path, "1")
    waited = time.monotonic() - started
    holder.close()
    check(code == DONE and "la usa otro programa" in err and waited >= 5.5,
          "exit %d after %.1f s: %s" % (code, waited, err))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("run_update")
    p.add_argument("sample_db")
    p.add_argument("undo")
    args = p.parse_args()
    work = tempfile.mkdtemp(prefix="zuk-undo.")
    failed = []
    try:
        for test in (after_a_later_run, another_program_changed, twice_and_without_history, a_damaged_history,
                     unusual_articles, rules_of_the_file, bounded, csv_and_arguments, interrupted,
                     waits_for_a_lock):
            case = Case(args, work, test.__name__)
            started = time.monotonic()
            try:
                test(case)
                print("%-28s passed (%.1f s)" % (test.__name__, time.monotonic() - started))
            except AssertionError as e:
                failed.append(test.__name__)
                print("%-28s FAILED: %s" % (test.__name__, e))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failed:
        sys.exit("FAILED: " + ", ".join(failed))


if __name__ == "__main__":
    main()
