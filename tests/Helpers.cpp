#include "Helpers.h"
#include "platform/ui/App.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <sqlite3.h>
#include <stdexcept>

namespace testing {

QString databasePath() { return ui::App::Path() + QStringLiteral("/veskgestion.mdb"); }

namespace {
// Another program's connection: when the file is busy it waits, up to a few seconds, while this
// program goes on (its events run meanwhile, as they would if the other program were apart).
int waitWhileBusy(void*, int tries) {
    if (tries > 1500) return 0;
    QCoreApplication::processEvents();
    QThread::msleep(2);
    return 1;
}

sqlite3* open(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    sqlite3_busy_handler(db, &waitWhileBusy, nullptr);
    return db;
}
} // namespace

TestDatabase::TestDatabase(bool withTables) : path(databasePath()) {
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    if (!withTables) return;
    sql(QStringLiteral(
        "CREATE TABLE tblArticulos (CODARTI TEXT COLLATE NOCASE, NOMARTI TEXT, FAMILIA TEXT, margen1 REAL,"
        " margen2 REAL, margen3 REAL, costesiniva REAL, ultimopreciocoste REAL, pvp1 REAL, pvp2 REAL, pvp3 REAL);"
        "CREATE TABLE tblHistoricoEntradas (NUMENTRADA INTEGER PRIMARY KEY, CODARTI TEXT COLLATE NOCASE,"
        " entro DATETIME, pvp REAL, descuento REAL);"
        "CREATE INDEX i1 ON tblArticulos(CODARTI COLLATE NOCASE);"
        "CREATE INDEX i2 ON tblHistoricoEntradas(CODARTI COLLATE NOCASE, entro);"));
}

TestDatabase::~TestDatabase() {
    QFile f(path);
    f.setPermissions(f.permissions() | QFileDevice::WriteOwner);
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
}

void TestDatabase::sql(const QString& statement) const {
    sqlite3* db = open(path);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, &error);
    const QString text = error ? QString::fromUtf8(error) : QString();
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error(("SQL: " + text + " in " + statement).toStdString());
}

QVariant TestDatabase::value(const QString& query) const {
    sqlite3* db = open(path);
    sqlite3_stmt* st = nullptr;
    QVariant v;
    if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        switch (sqlite3_column_type(st, 0)) {
        case SQLITE_INTEGER: v = static_cast<qlonglong>(sqlite3_column_int64(st, 0)); break;
        case SQLITE_FLOAT: v = sqlite3_column_double(st, 0); break;
        case SQLITE_NULL: v = QVariant(); break;
        default: v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))); break;
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}

namespace {
QString literal(const QVariant& v) {
    if (!v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isNull()))
        return QStringLiteral("NULL");
    if (v.typeId() == QMetaType::QString)
        return QLatin1Char('\'') + v.toString().replace("'", "''") + QLatin1Char('\'');
    return QString::number(v.toDouble(), 'g', 17);
}
} // namespace

void TestDatabase::article(const QString& code, const QString& name, const QVariant& m1, const QVariant& m2,
                           const QVariant& m3) const {
    sql(QStringLiteral("INSERT INTO tblArticulos (CODARTI, NOMARTI, FAMILIA, margen1, margen2, margen3) VALUES "
                       "(%1, %2, 'F', %3, %4, %5)")
            .arg(literal(code), literal(name), literal(m1), literal(m2), literal(m3)));
}

void TestDatabase::entry(const QString& code, const QString& entro, const QVariant& pvp,
                         const QVariant& descuento) const {
    sql(QStringLiteral("INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES (%1, %2, %3, %4)")
            .arg(literal(code), literal(entro), literal(pvp), literal(descuento)));
}

bool othersCanWrite(const QString& path) {
    sqlite3* db = open(path);
    const bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

Locker::Locker(const QString& path, Mode mode, bool waitUntilLocked) {
    const QString script = QStringLiteral("import sqlite3, sys\n"
                                          "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                          "if sys.argv[2] == 'x':\n"
                                          "    c.execute('BEGIN EXCLUSIVE')\n"
                                          "else:\n"
                                          "    c.execute('BEGIN')\n"
                                          "    c.execute('SELECT count(*) FROM sqlite_master').fetchone()\n"
                                          "print('bloqueada', flush=True)\n"
                                          "sys.stdin.readline()\n"
                                          "c.execute('COMMIT')\n");
    process_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"), script, path, mode == Exclusive ? QStringLiteral("x") : QStringLiteral("r")});
    // This program goes on meanwhile, as it would beside another program: its events run, and
    // with them the end of its own reads.
    QElapsedTimer waited;
    waited.start();
    while (waitUntilLocked && !process_.waitForReadyRead(10)) {
        QCoreApplication::processEvents();
        if (waited.elapsed() > 10000) throw std::runtime_error("the locking process did not start");
    }
}

Locker::~Locker() { release(); }

void Locker::release() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.write("\n");
    process_.closeWriteChannel();
    process_.waitForFinished(10000);
}

QStringList captionsLeftToRight(QDialog* box) {
    auto buttons = box->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) {
        return a->mapTo(a->window(), QPoint()).x() < b->mapTo(b->window(), QPoint()).x();
    });
    QStringList r;
    for (auto* b : buttons)
        r << b->text();
    return r;
}

BoxAnswerer::BoxAnswerer() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::look);
    timer_.start();
}

BoxAnswerer::~BoxAnswerer() {
    timer_.stop();
    // A box nobody expected, or an answer that no box took, means the test did not see what it meant to.
    if (unexpected > 0)
        QTest::qFail(qPrintable(QStringLiteral("%1 box(es) nobody expected, the first '%2': %3")
                                    .arg(unexpected)
                                    .arg(firstUnexpected_.title, firstUnexpected_.text)),
                     __FILE__, __LINE__);
    else if (!actions_.empty())
        QTest::qFail(qPrintable(QStringLiteral("%1 answer(s) never used").arg(actions_.size())), __FILE__, __LINE__);
}

BoxAnswerer& BoxAnswerer::then(Action action) {
    actions_.push_back(std::move(action));
    return *this;
}

BoxAnswerer& BoxAnswerer::press(const QString& caption) { return then(clickOn(caption)); }

BoxAnswerer& BoxAnswerer::otherwise(Action action) {
    otherwise_ = std::move(action);
    return *this;
}

void BoxAnswerer::look() {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || box->property("atendida").toBool()) return;
    box->setProperty("atendida", true);
    Box c;
    c.title = box->windowTitle();
    if (auto* m = qobject_cast<ui::MessageBox*>(box)) c.text = m->prompt();
    c.buttons = captionsLeftToRight(box);
    for (auto* b : box->findChildren<QPushButton*>())
        if (b->isDefault()) c.defaultButton = b->text();
    boxes.push_back(c);
    if (actions_.empty() && otherwise_) actions_.push_back(otherwise_);
    if (actions_.empty()) {
        if (unexpected++ == 0) firstUnexpected_ = c;
        auto buttons = box->findChildren<QPushButton*>();
        if (!buttons.isEmpty()) buttons.front()->click();
        return;
    }
    Action a = std::move(actions_.front());
    actions_.pop_front();
    // Acting from inside the timer's slot would nest the next box's loop here: act afterwards.
    QPointer<QDialog> p = box;
    QTimer::singleShot(0, box, [a, p] {
        if (p) a(p);
    });
}

BoxAnswerer::Action clickOn(const QString& caption) {
    return [caption](QDialog* box) {
        for (auto* b : box->findChildren<QPushButton*>()) {
            if (b->text() == caption) {
                b->click();
                return;
            }
        }
        // Recorded as a failure of the test; the box is closed all the same, so the test goes on.
        QTest::qFail(qPrintable(QStringLiteral("no button '%1' in the box '%2'").arg(caption, box->windowTitle())),
                     __FILE__, __LINE__);
        if (auto buttons = box->findChildren<QPushButton*>(); !buttons.isEmpty()) buttons.front()->click();
    };
}

BoxAnswerer::Action pressKey(int key) {
    return [key](QDialog* box) { QTest::keyClick(box, static_cast<Qt::Key>(key)); };
}

BoxAnswerer::Action closeWindow() {
    return [](QDialog* box) { box->close(); };
}

} // namespace testing
