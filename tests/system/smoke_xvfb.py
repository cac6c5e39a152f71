#!/usr/bin/env python3
"""The real program under a virtual X server, driven from the keyboard as an operator would.

  1. A normal run: Alt+A, Return on the summary box; every article gets the prices that the engine
     computes in one statement (tools/sql/set_based_prices.sql), and the window shows its results.
  2. A run that fails at one article: the error dialog opens, Return ("Continuar") goes on, the
     other articles are still updated.
  3. The process killed in the middle of a run: the file passes integrity_check and every article
     is either untouched or completely updated.
  4. The error dialog's captions read in-process on the real X server (the hook relabels the
     buttons before the first paint there too).
  5. Under a window manager (openbox): the progress window centres itself on the frame that the
     manager draws, which exists only once the window is shown.
  6. Under openbox, the windows as a desktop shows them: the window's class is the one its menu
     entry names, it carries the program's icon, and the summary box has a dialog's frame (its
     hints offer closing and moving only) with its title shown whole.
  7. An error report, under openbox: a failing article, the dialog's third button ("Enviar Vesk")
     from the keyboard; the run ends as after "Salir", and a preview window opens behind the main
     window, with the error line, readable on the accessibility bus as a screen reader reads it.
  8. The report mailed: "EMAIL", then "&Enviar mapi", to the SMTP server the program was built for
     (SMOKE_SMTP_SERVER). The program runs in a network namespace of its own in which that
     server's name is this machine and a test server, with a certificate from a test authority
     that only the namespace trusts, stands in for it; the message arrives with the JPEG attached.
With SCREENSHOT=file.png set, the window after the normal run is saved to that file; with
PREVIEW_SCREENSHOT=file.png, the preview window of the report.

  smoke_xvfb.py PROGRAM SAMPLE_DB TESTS_DIR
"""
import argparse
import email
import json
import os
import re
import shutil
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.realpath(__file__))
SUPPORT = os.path.join(HERE, "..", "support")
SERVERS = os.path.join(HERE, "..", "servers")
ROOT = os.path.join(HERE, "..", "..")
DB = "veskgestion.mdb"

MAIN = r"^TALVERA\.    Precios-Costes$"
SUMMARY = "^TALVERA$"
DIALOG = "^Informando errores $"
PREVIEW = "^Previsualizador de errores$"
ERROR_LINE = "frmPrecioCoste cmdActualizar_Click Desbordamiento"

# Articles whose five prices differ between two databases beyond the last of 15 digits, leaving
# out the given article.
DIFFERING = """
SELECT count(*) FROM tblArticulos x JOIN e.tblArticulos y ON x.rowid = y.rowid
 WHERE x.CODARTI IS NOT ? AND (
       abs(x.costesiniva - y.costesiniva) > 1e-12 * abs(y.costesiniva)
    OR abs(x.ultimopreciocoste - y.ultimopreciocoste) > 1e-12 * abs(y.ultimopreciocoste)
    OR abs(x.pvp1 - y.pvp1) > 1e-12 * abs(y.pvp1) OR abs(x.pvp2 - y.pvp2) > 1e-12 * abs(y.pvp2)
    OR abs(x.pvp3 - y.pvp3) > 1e-12 * abs(y.pvp3))"""

# Articles neither untouched (all five at 0, as the sample leaves them) nor completely updated.
HALF_UPDATED = """
SELECT count(*) FROM tblArticulos x JOIN e.tblArticulos y ON x.rowid = y.rowid
 WHERE x.CODARTI <> ?
   AND NOT (x.costesiniva = 0 AND x.ultimopreciocoste = 0 AND x.pvp1 = 0 AND x.pvp2 = 0 AND x.pvp3 = 0)
   AND NOT (abs(x.costesiniva - y.costesiniva) <= 1e-12 * abs(y.costesiniva)
        AND abs(x.pvp1 - y.pvp1) <= 1e-12 * abs(y.pvp1) AND abs(x.pvp2 - y.pvp2) <= 1e-12 * abs(y.pvp2)
        AND abs(x.pvp3 - y.pvp3) <= 1e-12 * abs(y.pvp3)
        AND x.ultimopreciocoste = x.costesiniva)"""

PRICED = "SELECT count(*) FROM tblArticulos WHERE pvp1 > 0"


def fail(message, *logs):
    """Ends the test, showing the given logs (file names) or texts first."""
    for log in logs:
        if os.path.isfile(log):
            with open(log, errors="replace") as f:
                log = f.read()
        sys.stderr.write(log.rstrip("\n") + "\n")
    sys.exit("FAILED: " + message)


def query(path, sql, *args, attach=None):
    """The one value a query gives, with no wait for a lock (a file that stays locked is a
    failure of its own); another database may be attached as e."""
    c = sqlite3.connect(path, timeout=0, isolation_level=None)
    try:
        if attach:
            c.execute("ATTACH ? AS e", (attach,))
        return c.execute(sql, args).fetchone()[0]
    finally:
        c.close()


def output(*command, **kw):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kw).stdout


# The X server, through xdotool and xprop ----------------------------------------------------

def window(pattern, by="--name"):
    """Waits (up to 30 s) for a visible window whose title (or class) matches the pattern."""
    try:
        found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", by, pattern],
                               capture_output=True, text=True, timeout=30).stdout.split()
    except subprocess.TimeoutExpired:
        found = []
    if not found:
        fail("no window '%s' appeared" % pattern)
    return found[0]


def visible(pattern):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", pattern],
                          stdout=subprocess.DEVNULL).returncode == 0


def keys(window_id, *names):
    """Focuses a window and types keys into it."""
    subprocess.run(["xdotool", "windowfocus", "--sync", window_id], check=True)
    subprocess.run(["xdotool", "key", "--clearmodifiers", *names], check=True)


def prop(window_id, name):
    """A window's property as xprop prints it after its "= " (or the root's, for None)."""
    where = ["-root"] if window_id is None else ["-id", window_id]
    return output("xprop", *where, name).split("= ", 1)[-1].strip()


def manager_is_up():
    r = subprocess.run(["xprop", "-root", "_NET_SUPPORTED"], capture_output=True, text=True)
    return "_NET_REQUEST_FRAME_EXTENTS" in r.stdout


class Session:
    """The programs and servers a test starts, stopped by cleanup() whatever happened."""

    def __init__(self, program, sample_db, tests):
        self.program, self.sample_db, self.tests = program, sample_db, tests
        self.work = tempfile.mkdtemp(prefix="zuk-smoke.")
        self.process = None
        self.wm = None
        self.a11y = None
        self.ns = None

    def cleanup(self):
        if self.ns:
            pids = subprocess.run(["ip", "netns", "pids", self.ns], capture_output=True, text=True).stdout
            for pid in pids.split():
                try:
                    os.kill(int(pid), signal.SIGKILL)
                except ProcessLookupError:
                    pass
            subprocess.run(["ip", "netns", "del", self.ns], stderr=subprocess.DEVNULL)
            shutil.rmtree("/etc/netns/" + self.ns, ignore_errors=True)
        if self.process:
            self.kill()
        for p in (self.wm, self.a11y):
            if p and p.poll() is None:
                p.terminate()
                p.wait()
        shutil.rmtree(self.work, ignore_errors=True)

    def log(self, name):
        return os.path.join(self.work, name)

    def prepare(self, name, *sizes, failing=None):
        """A folder with a sample database (sample_db's sizes as arguments), optionally an article
        whose price overflows, and expected.mdb: the same file with the prices the run must give."""
        folder = os.path.join(self.work, name)
        os.makedirs(folder)
        db = os.path.join(folder, DB)
        subprocess.run([self.sample_db, db, *map(str, sizes)], check=True, stdout=subprocess.DEVNULL)
        if failing:
            c = sqlite3.connect(db, isolation_level=None)
            c.execute("INSERT INTO tblArticulos (CODARTI, NOMARTI, margen1, margen2, margen3)"
                      " VALUES (?, 'Enorme', 20, 0, 0)", (failing,))
            c.execute("INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento)"
                      " VALUES (?, '2026-01-01', 1e308, 0)", (failing,))
            c.close()
        expected = os.path.join(folder, "expected.mdb")
        shutil.copy(db, expected)
        with open(os.path.join(ROOT, "tools", "sql", "set_based_prices.sql")) as f:
            c = sqlite3.connect(expected, isolation_level=None)
            c.executescript(f.read())
            c.close()
        return folder

    def start(self, folder, *prefix, env=None):
        """A copy of the program started in the folder of its database, as the shop starts it."""
        copy = shutil.copy(self.program, folder)
        with open(os.path.join(folder, "output.txt"), "w") as out:
            self.process = subprocess.Popen([*prefix, copy], stdout=out, stderr=subprocess.STDOUT, env=env)

    def start_accessible(self, folder):
        self.start(folder, env=dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))

    def wait_for_exit(self):
        for _ in range(100):
            if self.process.poll() is not None:
                self.process = None
                return
            time.sleep(0.1)
        fail("the program did not end")

    def kill(self):
        self.process.kill()
        self.process.wait()
        self.process = None

    def in_tempdir(self, test_program, *functions, log):
        """One of the test programs, run as ctest runs it, with only the given test functions."""
        with open(log, "w") as out:
            return subprocess.run([os.path.join(SUPPORT, "run_in_tempdir.sh"), os.path.join(self.tests, test_program),
                                   *functions], stdout=out, stderr=subprocess.STDOUT).returncode == 0


def normal_run(s):
    d = s.prepare("normal")
    db = os.path.join(d, DB)
    s.start_accessible(d)
    main = window(MAIN)
    keys(main, "alt+a")
    keys(window(SUMMARY), "Return")
    time.sleep(0.5)
    if query(db, DIFFERING, "", attach=os.path.join(d, "expected.mdb")) != 0:
        fail("prices differ after a normal run")
    if query(db, PRICED) <= 0:
        fail("nothing updated")
    if os.environ.get("SCREENSHOT"):
        subprocess.run(["import", "-window", main, os.environ["SCREENSHOT"]], check=True)
    keys(main, "alt+s")
    s.wait_for_exit()
    print("normal run: right")


def failing_article(s):
    d = s.prepare("failing", failing="M-FALLA")
    s.start_accessible(d)
    main = window(MAIN)
    keys(main, "alt+a")
    keys(window(DIALOG), "Return")
    keys(window(SUMMARY), "Return")
    time.sleep(0.5)
    if query(os.path.join(d, DB), DIFFERING, "M-FALLA", attach=os.path.join(d, "expected.mdb")) != 0:
        fail("the other articles were not updated")
    keys(main, "alt+s")
    s.wait_for_exit()
    print("failing article: dialog, Continuar, the rest updated")


def killed_mid_run(s):
    # An article half-way through the catalogue fails; while its dialog waits for the operator,
    # what the run wrote before is on disk. After "Continuar" the process is killed mid-run.
    code = "A0030000-X"
    d = s.prepare("killed", 60000, 600000, failing=code)
    db, expected = os.path.join(d, DB), os.path.join(d, "expected.mdb")
    before = query(expected, PRICED + " AND CODARTI < ?", code)
    s.start_accessible(d)
    main = window(MAIN)
    keys(main, "alt+a")
    dialog = window(DIALOG)
    written = query(db, PRICED)
    if written < before:
        fail("with the dialog open only %d of %d articles are on disk" % (written, before))
    keys(dialog, "Return")
    time.sleep(0.3)
    s.kill()
    c = sqlite3.connect(db, timeout=0, isolation_level=None)  # opening it rolls a hot journal back
    check = c.execute("PRAGMA integrity_check").fetchall()
    c.close()
    if check != [("ok",)]:
        fail("damaged database")
    half = query(db, HALF_UPDATED, code, attach=expected)
    if half != 0:
        fail("%d articles half-updated" % half)
    at_end = query(db, PRICED)
    if at_end < written:
        fail("articles already written were lost")
    print("killed: integrity ok, no article half-updated (%d on disk at the dialog, %d at the end)"
          % (written, at_end))


def dialog_under_x(s):
    log = s.log("protocol.txt")
    if not s.in_tempdir("test_protocol", "dialog_captionsOrderAndDefault", "dialog_keys", log=log):
        fail("the dialog under X", log)
    print("dialog under X: right captions")


def centring_under_openbox(s):
    # On a loaded machine the manager can take a while, or give up at its first try: it gets 30 s
    # and a second start, and what it said is shown if it still is not there.
    log = s.log("openbox.txt")
    for _ in range(2):
        with open(log, "a") as out:
            s.wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=out, stderr=subprocess.STDOUT)
        up = False
        for _ in range(150):
            up = manager_is_up()
            if up or s.wm.poll() is not None:
                break
            time.sleep(0.1)
        if up:
            break
        s.wm.terminate()
        s.wm.wait()
        time.sleep(1)
    if not manager_is_up():
        fail("openbox did not start", log)
    log = s.log("centring.txt")
    if not s.in_tempdir("test_centring_progress", "progress_centredOnWindowManagersFrame", log=log):
        fail("centring under openbox", log)
    print("centring under openbox: exact")


def title_width(window_id, bar):
    """The width of the title in a window's frame, as title_text_width.py measures it."""
    subprocess.run(["xdotool", "windowactivate", "--sync", window_id], check=True)
    time.sleep(0.3)
    frame = subprocess.run(["import", "-window", window_id, "-frame", "-depth", "8", "ppm:-"], check=True,
                           capture_output=True).stdout
    return int(subprocess.run([sys.executable, os.path.join(SUPPORT, "title_text_width.py"), str(bar)],
                              input=frame, check=True, capture_output=True).stdout)


def windows_under_openbox(s):
    d = s.prepare("boxes", 40, 200)
    s.start_accessible(d)
    main = window(MAIN)
    klass = prop(main, "WM_CLASS").split(", ")[-1].strip('"')
    with open(os.path.join(ROOT, "packaging", "actualizapvp.desktop")) as f:
        if "StartupWMClass=" + klass not in f.read().splitlines():
            fail("the window's class '%s' is not the one the menu entry names" % klass)
    if "Icon (64 x 64)" not in output("xprop", "-id", main, "_NET_WM_ICON"):
        fail("the window carries no icon of its own")
    keys(main, "alt+a")
    summary = window(SUMMARY)
    # What the box asks of the manager: to be closed and moved, not minimised or maximised.
    # (Openbox keeps its minimise button on every window, whatever the window asks.)
    functions = int(prop(summary, "_MOTIF_WM_HINTS").split(",")[1], 0)
    if not (functions & 0x20 and not functions & 0x18):
        fail("the box's hints ask for more than closing (%d)" % functions)
    if re.search("MAXIMIZE|RESIZE", prop(summary, "_NET_WM_ALLOWED_ACTIONS")):
        fail("the box can be maximised or resized")
    # Its title, as wide in the box's title bar as in a window wide enough for it.
    bar = int(prop(summary, "_NET_FRAME_EXTENTS").split(",")[2])
    reference = subprocess.Popen(["xmessage", "-title", "TALVERA", "-geometry", "500x60", "referencia"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        whole = title_width(window("xmessage", by="--class"), bar)
        shown = title_width(summary, bar)
    finally:
        reference.terminate()
        reference.wait()
    if shown < whole:
        fail("the box's title is cut: %d px shown of %d" % (shown, whole))
    keys(summary, "Return")
    keys(main, "alt+s")
    s.wait_for_exit()
    print("windows under openbox: class and icon of the menu entry, the box's frame and whole title")


def open_report(s, folder, *prefix):
    """The program on a file whose article A0000150-X fails, and "Enviar Vesk" pressed from the
    keyboard in its error dialog: the main window and the report's preview window."""
    if prefix:
        s.start(folder, *prefix)
    else:
        s.start_accessible(folder)
    main = window(MAIN)
    keys(main, "alt+a")
    keys(window(DIALOG), "Tab", "Tab", "Return")  # to "Enviar Vesk", and press it
    return main, window(PREVIEW)


def report_under_openbox(s):
    with open(s.log("at-spi.txt"), "w") as out:
        s.a11y = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], stdout=out,
                                  stderr=subprocess.STDOUT)
    d = s.prepare("report", 300, 1500, failing="A0000150-X")
    main, preview = open_report(s, d)
    time.sleep(0.5)
    # The run left at the failing article: nothing after it was priced, and no summary came.
    after = query(os.path.join(d, DB), PRICED + " AND CODARTI > 'A0000150-X'")
    if after != 0:
        fail("the run went on after 'Enviar Vesk' (%d articles priced)" % after)
    if visible(SUMMARY):
        fail("a summary after 'Enviar Vesk'")
    # Behind the main window: the manager's stacking list runs from the bottom up.
    stacking = [int(w, 0) for w in prop(None, "_NET_CLIENT_LIST_STACKING").split("# ")[-1].split(", ")]
    position = {w: i for i, w in enumerate(stacking)}
    p_preview, p_main = position.get(int(preview), -1), position.get(int(main), -1)
    if not 0 <= p_preview < p_main:
        fail("the preview is not behind the main window (%s)" % stacking)
    # The script runs under the system's Python, which has the accessibility bus's bindings.
    read = subprocess.run([os.path.join(SUPPORT, "accessible_texts.py"), "ZUK", "Previsualizador de errores"],
                          capture_output=True, text=True, env=dict(os.environ, QT_ACCESSIBILITY="1"))
    if read.returncode != 0:
        fail("not on the accessibility bus", read.stderr)
    if not re.search("text\t.*\t" + ERROR_LINE + "$", read.stdout, re.M):
        fail("no error line", read.stdout)
    if not os.path.isdir(os.path.join(d, "imagenerror")):
        fail("no image folder")
    if os.environ.get("PREVIEW_SCREENSHOT"):
        subprocess.run(["xdotool", "windowactivate", "--sync", preview], check=True)
        time.sleep(0.5)
        subprocess.run(["import", "-window", preview, "-frame", os.environ["PREVIEW_SCREENSHOT"]], check=True)
    s.kill()
    print("report: the run left, the preview behind the main window with the error line")


def check_mailed_report(eml, envelope_json):
    """The message as the server saved it: one JPEG of the main window, the error line in the
    text, the subject. Returns a line that says what arrived."""
    with open(eml, "rb") as f:
        message = email.message_from_binary_file(f)
    with open(envelope_json) as f:
        envelope = json.load(f)
    parts = [p for p in message.walk() if p.get_content_type() == "image/jpeg"]
    assert len(parts) == 1, "one JPEG attached"
    jpeg = parts[0].get_payload(decode=True)
    assert jpeg[:2] == b"\xff\xd8", "a JPEG"
    # The picture is the main window's (634 pixels wide inside, with the manager's frame), not the
    # screen's.
    width = height = None
    i = 2
    while i < len(jpeg):
        marker, length = jpeg[i + 1], struct.unpack(">H", jpeg[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC2):
            height, width = struct.unpack(">HH", jpeg[i + 5:i + 9])
            break
        i += 2 + length
    assert width is not None, "the JPEG has no frame header"
    assert 634 <= width < 700 and 200 <= height < 400, (width, height)
    text = [p for p in message.walk() if p.get_content_type() == "text/plain"][0].get_payload(decode=True)
    text = text.decode("utf-8")
    assert ERROR_LINE in text, text
    assert text.startswith("Error generado el "), text
    assert message["Subject"].startswith("Correo gestor errores"), message["Subject"]
    return "report mailed: %s %d bytes of JPEG" % (envelope["rcpt_tos"], len(jpeg))


def report_mailed(s):
    server = urllib.parse.urlsplit(os.environ["SMOKE_SMTP_SERVER"])
    host, port = server.hostname, server.port or 25
    # A network namespace needs privileges and a / that is a mount point: an unprivileged
    # container has neither. The rest of the test has run; this part is skipped, and says why.
    ns = "zuk-smoke-%d" % os.getpid()
    made = subprocess.run(["ip", "netns", "add", ns], capture_output=True, text=True)
    if made.returncode != 0:
        print("SKIPPED: the report mailed to the built-in server: no network namespace can be made here (%s)"
              % (made.stdout + made.stderr).strip())
        return
    s.ns = ns
    subprocess.run(["ip", "netns", "exec", ns, "ip", "link", "set", "lo", "up"], check=True)
    os.makedirs("/etc/netns/%s/ssl/certs" % ns)
    with open("/etc/netns/%s/hosts" % ns, "w") as f:
        f.write("127.0.0.1 %s\n" % host)
    # A test authority, trusted only in the namespace, and the server's certificate from it.
    ca = s.log("ca")
    os.makedirs(ca)
    quiet = dict(check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=ca)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Autoridad de prueba", "-keyout", "ca.key", "-out", "ca.pem"], **quiet)
    subprocess.run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + host,
                    "-keyout", "server.key", "-out", "server.csr"], **quiet)
    with open(os.path.join(ca, "san.cnf"), "w") as f:
        f.write("subjectAltName=DNS:%s\n" % host)
    subprocess.run(["openssl", "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                    "-CAcreateserial", "-days", "2", "-extfile", "san.cnf", "-out", "server.pem"], **quiet)
    shutil.copy(os.path.join(ca, "ca.pem"), "/etc/netns/%s/ssl/certs/ca-certificates.crt" % ns)
    mail, ready, mail_log = s.log("mail"), s.log("mail.port"), s.log("mail.log")
    with open(mail_log, "w") as out:
        subprocess.Popen(["ip", "netns", "exec", ns, "/usr/bin/python3", os.path.join(SERVERS, "smtp_server.py"),
                          "--dir", mail, "--ready", ready, "--port", str(port),
                          "--cert", os.path.join(ca, "server.pem"), "--key", os.path.join(ca, "server.key"),
                          "--user", os.environ["SMOKE_SMTP_USER"], "--password", os.environ["SMOKE_SMTP_PASSWORD"]],
                         stdout=out, stderr=subprocess.STDOUT)
    for _ in range(100):
        if os.path.exists(ready):
            break
        time.sleep(0.1)
    if not os.path.exists(ready):
        fail("the test SMTP server did not start", mail_log)

    d = s.prepare("mailed", 300, 1500, failing="A0000150-X")
    _, preview = open_report(s, d, "ip", "netns", "exec", ns)
    subprocess.run(["xdotool", "windowactivate", "--sync", preview], check=True)
    time.sleep(0.3)
    # "EMAIL" (3480, 480 twips in the window), then "&Enviar mapi" (9600, 6000 in the panel at 0, 840).
    subprocess.run(["xdotool", "mousemove", "--window", preview, "245", "40", "click", "1"], check=True)
    time.sleep(1)
    subprocess.run(["xdotool", "mousemove", "--window", preview, "700", "468", "click", "1"], check=True)
    eml = os.path.join(mail, "1.eml")
    for _ in range(100):
        if os.path.exists(eml):
            break
        time.sleep(0.1)
    if not os.path.exists(eml):
        fail("no report arrived", mail_log, os.path.join(d, "output.txt"))
    try:
        print(check_mailed_report(eml, os.path.join(mail, "1.json")))
    except AssertionError as e:
        fail("the report is not right: %s" % e)
    for _ in range(50):
        if not visible(PREVIEW):
            break
        time.sleep(0.1)
    if visible(PREVIEW):
        fail("the preview stayed open after sending")
    print("report mailed through MAPI, with the JPEG")


def main():
    if not os.environ.get("SMOKE_UNDER_XVFB"):
        os.environ["SMOKE_UNDER_XVFB"] = "1"
        # -noreset: the server would otherwise start over whenever its last client leaves (between
        # two parts), and refuse the next one for that moment.
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24 -nolisten tcp -noreset",
                               "dbus-run-session", "--", sys.executable, os.path.realpath(__file__), *sys.argv[1:]])
    p = argparse.ArgumentParser()
    p.add_argument("program")
    p.add_argument("sample_db")
    p.add_argument("tests_dir")
    a = p.parse_args()
    os.environ["QT_QPA_PLATFORM"] = "xcb"
    os.environ.pop("QT_QPA_PLATFORMTHEME", None)
    s = Session(os.path.realpath(a.program), os.path.realpath(a.sample_db), os.path.realpath(a.tests_dir))
    try:
        for part in (normal_run, failing_article, killed_mid_run, dialog_under_x, centring_under_openbox,
                     windows_under_openbox, report_under_openbox, report_mailed):
            part(s)
            sys.stdout.flush()
    finally:
        s.cleanup()


if __name__ == "__main__":
    main()
