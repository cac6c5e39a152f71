// The keyset recordset and the connection over a real SQLite file.
#include "BoxAnswerer.h"
#include "TestDatabase.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Recordset.h"
#include "platform/ado/writes/RowIndex.h"
#include "platform/runtime/Failure.h"
#include "platform/ui/MsgBox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing;

namespace {
QString connectionString(const QString& path) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Jet OLEDB:Database Password=;").arg(path);
}

// The program's connection to the test's database, and a keyset recordset of a query on it.
// A test whose lambdas use them names the members (auto& rs = session.rs): clang 14, which
// the static analysis parses with, cannot capture a structured binding.
struct Session {
    ado::Connection cn;
    ado::Recordset rs;
    Session(const TestDatabase& database, const QString& query) {
        cn.Open(connectionString(database.path));
        rs.Open(query, cn, ado::adOpenKeyset, ado::adLockOptimistic);
    }
};

// Prices every row as a run would: pvp1 from the row's own margin, read first.
void priceEveryRow(ado::Recordset& rs) {
    for (; !rs.Eof(); rs.MoveNext()) {
        rs.Fields("CODARTI").Value();
        rs.Fields("pvp1") = rs.Fields("margen1").Value().number() * 2;
        rs.Update();
    }
}

long failureNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const runtime::Failure& e) {
        return e.Number();
    }
    return 0;
}

} // namespace

class TestRecordset : public QObject {
    Q_OBJECT
private slots:
    void keyset_orderFieldsAndNulls() {
        TestDatabase database;
        database.article("B2", "Beta", 10, QVariant(), 5);
        database.article("A1", "Alfa", 20, 0, QVariant());
        database.article("C3", QString(), 1, 2, 3);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& rs = session.rs;
        QCOMPARE(rs.RecordCount(), 3L);
        QVERIFY(!rs.Eof() && !rs.Bof());
        QCOMPARE(rs.Fields("codarti").Value().text(), QStringLiteral("A1"));
        QVERIFY(rs.Fields("MARGEN3").Value().isNull());
        rs.MoveNext();
        QCOMPARE(rs.Fields("CODARTI").Value().text(), QStringLiteral("B2"));
        QCOMPARE(rs.Fields("margen1").Value().number(), 10.0);
        rs.MoveNext();
        QVERIFY(rs.Fields("NOMARTI").Value().isNull());
        rs.MoveNext();
        QVERIFY(rs.Eof());
        QCOMPARE(failureNumber([&] { rs.MoveNext(); }), ado::err::NoCurrentRecord);
        QCOMPARE(failureNumber([&] { rs.Fields("CODARTI").Value(); }), ado::err::NoCurrentRecord);
        QCOMPARE(failureNumber([&] { rs.Fields("NOEXISTE"); }), ado::err::ItemNotFound);
        rs.Close();
        QCOMPARE(failureNumber([&] { rs.Eof(); }), ado::err::ObjectClosed);
    }

    void keyset_readsRowOnMove() {
        // The keys are read at opening; the row is fetched when the cursor reaches it.
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        database.article("A2", "Beta", 1, 1, 1);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& rs = session.rs;
        database.sql(QStringLiteral("UPDATE tblArticulos SET NOMARTI='Cambiado' WHERE CODARTI='A2'"));
        database.article("A0", "Nuevo", 1, 1, 1);
        rs.MoveNext();
        QCOMPARE(rs.Fields("NOMARTI").Value().text(), QStringLiteral("Cambiado"));
        QCOMPARE(rs.RecordCount(), 2L);
        database.sql(QStringLiteral("DELETE FROM tblArticulos WHERE CODARTI='A1'"));
        QCOMPARE(failureNumber([&] { rs.MoveFirst(); }), ado::err::RowDeleted); // the move that reaches it fails
    }

    void update_writesOnlyWhatWasAssigned() {
        TestDatabase database;
        database.article("A1", "Alfa", 1, 2, 3);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        {
            ado::Recordset rs;
            rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, ado::adOpenKeyset, ado::adLockOptimistic);
            QCOMPARE(rs.Fields("CODARTI").Value().text(), QStringLiteral("A1"));
            // Another program changes columns this recordset neither assigns nor read.
            database.sql(QStringLiteral("UPDATE tblArticulos SET FAMILIA='G', NOMARTI='Otro'"));
            rs.Fields("pvp1") = 12.5;
            rs.Fields("costesiniva") = runtime::FieldValue(QStringLiteral("texto"));
            rs.Update();
            QCOMPARE(rs.Fields("pvp1").Value().number(), 12.5);
        } // released: committed
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos").toDouble(), 12.5);
        QCOMPARE(database.value("SELECT costesiniva FROM tblArticulos").toString(), QStringLiteral("texto"));
        QCOMPARE(database.value("SELECT FAMILIA FROM tblArticulos").toString(), QStringLiteral("G"));
        QCOMPARE(database.value("SELECT NOMARTI FROM tblArticulos").toString(), QStringLiteral("Otro"));
    }

    void writes_waitWithoutLockingAndAreSavedBeforeWaiting() {
        TestDatabase database;
        database.article("A1", "Alfa", 1, 2, 3);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos"));
        auto& [cn, rs] = session;
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        // While the program works, the row waits: the file is free for the others.
        QVERIFY(othersCanWrite(database.path));
        QVERIFY(database.value("SELECT pvp1 FROM tblArticulos").isNull());
        ado::Recordset other; // this connection's own reads see it
        other.Open(QStringLiteral("SELECT * FROM tblArticulos WHERE CODARTI='A1'"), cn, ado::adOpenKeyset,
                   ado::adLockOptimistic);
        QCOMPARE(other.Fields("pvp1").Value().number(), 7.0);
        QCOMPARE(other.Fields("margen3").Value().number(), 3.0);
        // Before the program waits for the operator, it is in the file.
        bool onDisk = false;
        BoxAnswerer c;
        c.then([&](QDialog* box) {
            onDisk = database.value("SELECT pvp1 FROM tblArticulos").toDouble() == 7.0;
            clickOn(QStringLiteral("Aceptar"))(box);
        });
        ui::MsgBox(QStringLiteral("espera"));
        QVERIFY(onDisk);
        QVERIFY(othersCanWrite(database.path));
    }

    void writes_anotherProgramKeepsThemFromBeingSaved() {
        // A reader that keeps its transaction open: no write can be committed. The operator hears
        // it before the box, may try again or go on, and nothing is lost or locked meanwhile.
        TestDatabase database;
        database.article("A1", "Alfa", 1, 2, 3);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos"));
        auto& [cn, rs] = session;
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        Locker reader(database.path, Locker::Reader);
        bool free = false;
        BoxAnswerer c;
        c.press("Reintentar")
            .then([&](QDialog* box) {
                free = othersCanWrite(database.path); // chosen to go on: nothing is held
                clickOn(QStringLiteral("Cancelar"))(box);
            })
            .press("Aceptar");
        ui::MsgBox(QStringLiteral("resumen"));
        QCOMPARE(c.boxes.size(), std::size_t(3));
        for (int i : {0, 1}) {
            QCOMPARE(c.boxes[i].title, QStringLiteral("ZUK"));
            QCOMPARE(c.boxes[i].buttons, (QStringList{"Reintentar", "Cancelar"}));
            QVERIFY(c.boxes[i].text.startsWith(QStringLiteral(
                "No se pudieron guardar en la base de datos los cambios de 1 registros. No se pudo usar '")));
            QVERIFY(c.boxes[i].text.contains(QStringLiteral("el archivo ya está en uso.")));
        }
        QCOMPARE(c.boxes[2].text, QStringLiteral("resumen"));
        QVERIFY(free);
        QVERIFY(database.value("SELECT pvp1 FROM tblArticulos").isNull());
        QCOMPARE(cn.pendingRows(), std::size_t(1));

        // At the end of the program the operator is asked again; once the reader lets go, it is saved.
        c.then([&](QDialog* box) {
            reader.release();
            clickOn(QStringLiteral("Reintentar"))(box);
        });
        ui::beforeOperatorWait(true);
        QCOMPARE(c.boxes.size(), std::size_t(4));
        QVERIFY(c.boxes[3].text.endsWith(
            QStringLiteral("Si pulsa 'Cancelar', el programa termina y esos cambios se pierden.")));
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos").toDouble(), 7.0);
        QCOMPARE(cn.pendingRows(), std::size_t(0));
    }

    void writes_flushedOnTime() {
        // A write is flushed on time even if the rows that follow write nothing; a flush that meets
        // another program's lock does not fail the step that triggered it.
        TestDatabase database;
        for (const char* code : {"A1", "A2", "A3", "A4"})
            database.article(code, "x", 1, 1, 1);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        cn.writes().setFlushInterval(100);
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, ado::adOpenKeyset,
                ado::adLockOptimistic);
        rs.Fields("pvp1") = 1.0;
        rs.Update();
        QTest::qWait(150);
        rs.MoveNext(); // no write here
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A1'").toDouble(), 1.0);

        Locker reader(database.path, Locker::Reader);
        rs.Fields("pvp1") = 2.0;
        rs.Update();
        QTest::qWait(150);
        rs.MoveNext(); // the flush fails: the move does not
        rs.Fields("pvp1") = 3.0;
        rs.Update();
        QCOMPARE(cn.pendingRows(), std::size_t(2));
        reader.release();
        rs.Close(); // released: flushed
        QCOMPARE(database.value("SELECT sum(pvp1) FROM tblArticulos").toDouble(), 6.0);
    }

    void writes_slicedFlushLosesNothing() {
        // A flush point during work writes for a short while and lets the program go on; the next
        // ones go on in file order. A row written again before its slice is written with its last
        // values and counts as this program's own change; thousands of rows arrive whole.
        TestDatabase database;
        database.sql(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<2999) "
                                    "INSERT INTO tblArticulos (CODARTI, pvp1) SELECT printf('A%04d', i), 1 FROM n;"));
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        cn.writes().setFlushInterval(3600 * 1000);
        BoxAnswerer c;
        c.otherwise([](QDialog* box) { box->reject(); });
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI DESC"), cn, ado::adOpenKeyset,
                ado::adLockOptimistic);
        for (int i = 2999; !rs.Eof(); --i, rs.MoveNext()) {
            rs.Fields("pvp1") = double(i);
            rs.Update();
        }
        cn.writes().setFlushInterval(0);
        cn.writes().setFlushSlice(0); // a row a flush point
        rs.MoveFirst();               // A2999, after the first slice wrote A0000
        QCOMPARE(cn.pendingRows(), std::size_t(2999));
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A0000'").toDouble(), 0.0);
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A0001'").toDouble(), 1.0);
        rs.Fields("pvp1") = 7000.0; // written again while its first write waits for its slice
        rs.Update();

        cn.writes().setFlushSlice(1);
        QElapsedTimer spent;
        spent.start();
        while (cn.pendingRows() && spent.elapsed() < 20000)
            cn.flushPoint();
        QCOMPARE(cn.pendingRows(), std::size_t(0));
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A2999'").toDouble(), 7000.0);
        QCOMPARE(database.value("SELECT sum(pvp1) FROM tblArticulos WHERE CODARTI<>'A2999'").toDouble(),
                 2998.0 * 2999 / 2);
        QVERIFY(c.boxes.empty()); // none counted as changed by another program
    }

    void move_lockFailsTheMoveNotTheRead() {
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        database.article("A2", "Beta", 1, 1, 1);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& rs = session.rs;
        Locker other(database.path);
        QCOMPARE(failureNumber([&] { rs.MoveNext(); }), ado::err::Generic);
        // Still locked: taking the field fails in the caller's step, before any quiet reader sees it.
        QCOMPARE(failureNumber([&] { rs.Fields("NOMARTI"); }), ado::err::Generic);
        other.release();
        QCOMPARE(rs.Fields("NOMARTI").Value().text(), QStringLiteral("Beta")); // read again once free
    }

    void writes_neverOverwriteWhatAnotherProgramChanged() {
        // A row is written only where the file still holds what was read: a price another program
        // set meanwhile stays, a deleted row stays deleted, and a new row that took a deleted
        // row's key is left alone. The operator hears how many were left out.
        TestDatabase database;
        for (const char* code : {"A1", "A2", "A3", "A4"})
            database.article(code, code, 1, 1, 1);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& [cn, rs] = session;
        for (int i = 0; i < 4; ++i, rs.MoveNext()) {
            rs.Fields("pvp1") = 9.0;
            rs.Update();
        }
        database.sql(QStringLiteral("UPDATE tblArticulos SET pvp1=5 WHERE CODARTI='A1';"
                                    "DELETE FROM tblArticulos WHERE CODARTI='A2';"
                                    "DELETE FROM tblArticulos WHERE CODARTI='A4';"
                                    "INSERT INTO tblArticulos (CODARTI, pvp1) VALUES ('NUEVO', 1);"));
        QCOMPARE(database.value("SELECT rowid FROM tblArticulos WHERE CODARTI='NUEVO'").toInt(), 4); // A4's key
        BoxAnswerer c;
        c.press("Aceptar").press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QCOMPARE(c.boxes[0].text, QStringLiteral("Se guardaron en la base de datos los cambios de 1 registros, pero no "
                                                 "los de otros 3: otro programa los modificó o los borró después de "
                                                 "que este programa los leyera."));
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A1'").toDouble(), 5.0);
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A3'").toDouble(), 9.0);
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='NUEVO'").toDouble(), 1.0);
        QCOMPARE(database.value("SELECT count(*) FROM tblArticulos").toInt(), 3);
    }

    void writes_retriedOnTimeAfterCancel() {
        // The operator chose to go on without saving. While the other program holds on, the rows
        // are tried again on time, however early a timer fires; once it lets go, they are written
        // within a retry's time, with no further action. The lock is taken first, so that no
        // flush can slip in before it.
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        Locker reader(database.path, Locker::Reader);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        cn.writes().setFlushInterval(100);
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, ado::adOpenKeyset, ado::adLockOptimistic);
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        BoxAnswerer c;
        c.press("Cancelar").press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        QVERIFY(cn.writes().retryInMs() >= 0);
        QTest::qWait(2 * ado::WriteBehind::kRetryMs + 500); // tries that fail, each arming the next
        QCOMPARE(cn.pendingRows(), std::size_t(1));
        QVERIFY(cn.writes().retryInMs() >= 0 && cn.writes().retryInMs() <= ado::WriteBehind::kRetryMs);
        reader.release();
        QTRY_COMPARE_WITH_TIMEOUT(database.value("SELECT pvp1 FROM tblArticulos").toDouble(), 7.0,
                                  ado::WriteBehind::kRetryMs + 1000);
        QCOMPARE(cn.writes().retryInMs(), -1); // nothing waits: nothing armed
    }

    void writes_onlyWhereTheRowIsStillTheOneRead_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("at"); // articles priced when the other program acts; -1: all
        QTest::addColumn<QString>("otherProgram");
        QTest::addColumn<QString>("check"); // true afterwards
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("leftOut");
        // A new article that takes a deleted one's row id, with the same (empty) prices.
        QTest::newRow("row id reused") << QString() << -1
                                       << "DELETE FROM tblArticulos WHERE CODARTI='A6';"
                                          "INSERT INTO tblArticulos (CODARTI) VALUES ('NUEVO');"
                                       << "(SELECT rowid FROM tblArticulos WHERE CODARTI='NUEVO')=6 AND "
                                          "(SELECT pvp1 FROM tblArticulos WHERE CODARTI='NUEVO') IS NULL"
                                       << 5 << 1;
        // VACUUM renumbers the rows of a table without an index, whose row ids have gaps: A4 now
        // lies where A3's waiting write points, and so on; only A1's write stands.
        QTest::newRow("renumbered by VACUUM")
            << "DROP INDEX idxArticulosCodigo; DELETE FROM tblArticulos WHERE CODARTI='A2';" << -1 << "VACUUM;"
            << "(SELECT rowid FROM tblArticulos WHERE CODARTI='A4')=3" << 1 << 4;
        // The same half way, with A5 read before it and A6 after: A1's write stands; A3's, A4's
        // and A5's are left out; A6 is priced, although it now lies where A5's write points.
        QTest::newRow("renumbered by VACUUM half way")
            << "DROP INDEX idxArticulosCodigo; DELETE FROM tblArticulos WHERE CODARTI='A2';" << 3 << "VACUUM;"
            << "(SELECT rowid FROM tblArticulos WHERE CODARTI='A6')=5 AND "
               "(SELECT pvp1=2*margen1 FROM tblArticulos WHERE CODARTI='A6')"
            << 2 << 3;
        // A margin the price was computed from changed: the price is not written.
        QTest::newRow("margin changed") << QString() << -1 << "UPDATE tblArticulos SET margen1=9 WHERE CODARTI='A2';"
                                        << "(SELECT pvp1 FROM tblArticulos WHERE CODARTI='A2') IS NULL" << 5 << 1;
    }
    void writes_onlyWhereTheRowIsStillTheOneRead() {
        QFETCH(QString, setup);
        QFETCH(int, at);
        QFETCH(QString, otherProgram);
        QFETCH(QString, check);
        QFETCH(int, written);
        QFETCH(int, leftOut);
        TestDatabase database;
        for (int i = 1; i <= 6; ++i)
            database.article(QStringLiteral("A%1").arg(i), QString(), i, 0, 0);
        if (!setup.isEmpty()) database.sql(setup);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& [cn, rs] = session;
        for (int i = 0; i < at; ++i, rs.MoveNext()) {
            rs.Fields("CODARTI").Value();
            rs.Fields("pvp1") = rs.Fields("margen1").Value().number() * 2;
            rs.Update();
        }
        if (at >= 0) {
            cn.endReading();
            database.sql(otherProgram);
        }
        priceEveryRow(rs);
        if (at < 0) database.sql(otherProgram);
        BoxAnswerer c;
        c.press("Aceptar").press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        QCOMPARE(c.boxes[0].text, QStringLiteral("Se guardaron en la base de datos los cambios de %1 registros, pero "
                                                 "no los de otros %2: otro programa los modificó o los borró después "
                                                 "de que este programa los leyera.")
                                      .arg(written)
                                      .arg(leftOut));
        QCOMPARE(database.value("SELECT " + check).toInt(), 1);
        // Whatever was written is the article's own price.
        QCOMPARE(database.value("SELECT count(*) FROM tblArticulos WHERE pvp1 IS NOT NULL AND pvp1<>2*margen1").toInt(),
                 0);
    }

    void keyset_findsItsPlaceAfterRenumbering() {
        // Another program compacts the file while the cursor is half way: its row ids now name
        // other rows. The cursor finds its place again by the rows' codes: every article is read
        // once, none is skipped.
        TestDatabase database;
        database.sql(QStringLiteral("DROP INDEX idxArticulosCodigo;"));
        for (int i = 1; i <= 8; ++i)
            database.article(QStringLiteral("A%1").arg(i), QString(), i, 0, 0);
        database.sql(QStringLiteral("DELETE FROM tblArticulos WHERE CODARTI IN ('A2', 'A5');"));
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& [cn, rs] = session;
        QStringList seen;
        for (int i = 0; i < 2; ++i, rs.MoveNext())
            seen << rs.Fields("CODARTI").Value().text();
        cn.endReading();
        database.sql(QStringLiteral("VACUUM;"));
        QCOMPARE(database.value("SELECT rowid FROM tblArticulos WHERE CODARTI='A4'").toInt(), 3); // renumbered
        for (; !rs.Eof(); rs.MoveNext())
            seen << rs.Fields("CODARTI").Value().text();
        QCOMPARE(seen, (QStringList{"A1", "A3", "A4", "A6", "A7", "A8"}));
    }

    void keyset_keepsItsPlaceAmongEqualCodesWhenAnotherQueryOpens() {
        // Two articles share a code. With the cursor on the second, the program opens a query it
        // has not opened before: the cursor goes on after that row, and does not read it again.
        TestDatabase database;
        for (const char* code : {"A1", "B", "B", "C"})
            database.article(QString::fromLatin1(code), QString(), 1, 0, 0);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& [cn, rs] = session;
        QStringList seen{rs.Fields("CODARTI").Value().text()};
        for (int i = 0; i < 2; ++i) {
            rs.MoveNext();
            seen << rs.Fields("CODARTI").Value().text();
        }
        ado::Recordset entries;
        entries.Open(QStringLiteral("SELECT * FROM tblHistoricoEntradas WHERE CODARTI='B' ORDER BY entro DESC"), cn,
                     ado::adOpenKeyset, ado::adLockOptimistic);
        for (rs.MoveNext(); !rs.Eof(); rs.MoveNext())
            seen << rs.Fields("CODARTI").Value().text();
        QCOMPARE(seen, (QStringList{"A1", "B", "B", "C"}));
    }

    void writes_aSecondWriteChecksWhatItsReaderUsed() {
        // The row waits with a price computed from margen1; a second write computes another from
        // margen2, which another program then changes: the row is left alone, and told.
        TestDatabase database;
        database.article("A1", "Alfa", 10, 20, 0);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos"));
        auto& [cn, rs] = session;
        rs.Fields("pvp1") = rs.Fields("margen1").Value().number();
        rs.Update();
        rs.Fields("pvp2") = rs.Fields("margen2").Value().number();
        rs.Update();
        database.sql(QStringLiteral("UPDATE tblArticulos SET margen2 = 99"));
        BoxAnswerer c;
        c.press("Aceptar").press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        QVERIFY(c.boxes[0].text.contains(QStringLiteral("pero no los de otros 1")));
        QVERIFY(database.value("SELECT pvp2 FROM tblArticulos").isNull());
    }

    void writes_refusalToldEvenWhenTheLastFlushCannotBeDone() {
        // A slice sets a refused row aside; the flush before the next wait meets another
        // program's lock and the operator goes on: the refused article is told all the same.
        TestDatabase database(false);
        database.sql(QStringLiteral("CREATE TABLE precios (CODARTI TEXT, margen1 REAL, pvp1 REAL CHECK (pvp1 >= 0));"
                                    "INSERT INTO precios VALUES ('A1', 1, NULL), ('A2', -1, NULL), ('A3', 3, NULL);"));
        Session session(database, QStringLiteral("SELECT * FROM precios ORDER BY CODARTI"));
        auto& [cn, rs] = session;
        cn.writes().setFlushInterval(3600 * 1000);
        priceEveryRow(rs);
        cn.writes().setFlushInterval(0);
        cn.writes().setFlushSlice(0); // a row a slice: A1 written, then A2 set aside
        cn.flushPoint();
        cn.flushPoint();
        QCOMPARE(cn.refusedRows(), std::size_t(1));
        QCOMPARE(cn.pendingRows(), std::size_t(1));
        cn.writes().setFlushSlice(3600 * 1000); // no slice before the lock is taken
        Locker reader(database.path, Locker::Reader);
        BoxAnswerer c;
        c.press("Cancelar").press("Aceptar").press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        QCOMPARE(c.boxes.size(), std::size_t(3));
        QVERIFY2(c.boxes[1].text.contains(QStringLiteral("CODARTI 'A2': CHECK constraint failed")),
                 qPrintable(c.boxes[1].text));
    }

    void writes_refusedRowSetAsideOthersWritten_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<double>("badMargin");
        QTest::addColumn<QString>("reason");
        const QString plain = QStringLiteral("CREATE TABLE precios (CODARTI TEXT, margen1 REAL, pvp1 REAL);");
        QTest::newRow("check") << "CREATE TABLE precios (CODARTI TEXT, margen1 REAL, pvp1 REAL CHECK (pvp1 >= 0));"
                               << -1.0 << "CHECK constraint failed: pvp1 >= 0";
        QTest::newRow("trigger, abort") << plain + "CREATE TRIGGER no BEFORE UPDATE ON precios WHEN NEW.pvp1 < 0 "
                                                   "BEGIN SELECT RAISE(ABORT, 'precio negativo'); END;"
                                        << -1.0 << "precio negativo";
        // ROLLBACK undoes the rows written before it in the same transaction: they are written again.
        QTest::newRow("trigger, rollback") << plain + "CREATE TRIGGER no BEFORE UPDATE ON precios WHEN NEW.pvp1 < 0 "
                                                      "BEGIN SELECT RAISE(ROLLBACK, 'precio negativo'); END;"
                                           << -1.0 << "precio negativo";
        QTest::newRow("type") << "CREATE TABLE precios (CODARTI TEXT, margen1 REAL, pvp1 INTEGER) STRICT;" << 1.25
                              << "cannot store REAL value in INTEGER column precios.pvp1";
    }
    void writes_refusedRowSetAsideOthersWritten() {
        QFETCH(QString, table);
        QFETCH(double, badMargin);
        QFETCH(QString, reason);
        TestDatabase database(false);
        database.sql(table + QStringLiteral("INSERT INTO precios VALUES ('A1', 1, NULL), ('A2', %1, NULL), "
                                            "('A3', 3, NULL), ('A4', 4, NULL);")
                                 .arg(badMargin));
        Session session(database, QStringLiteral("SELECT * FROM precios ORDER BY CODARTI"));
        auto& [cn, rs] = session;
        priceEveryRow(rs);
        // Found at the flush before a wait: one box names the article and the engine's reason.
        BoxAnswerer c;
        c.press("Aceptar").press("Aceptar").press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        QCOMPARE(c.boxes[0].text, "La base de datos rechazó el cambio de un registro, que no se guardó:\r\n"
                                  "CODARTI 'A2': " +
                                      reason);
        QCOMPARE(
            database.value("SELECT group_concat(coalesce(CAST(pvp1 AS INTEGER), 'x'), ' ') FROM precios").toString(),
            QStringLiteral("2 x 6 8"));
        QCOMPARE(cn.refusedRows(), std::size_t(1));
        QCOMPARE(cn.pendingRows(), std::size_t(0)); // nothing left to block the next flushes

        // Found by the flush that Update itself set off: that is Update's failure.
        cn.writes().setFlushInterval(0);
        rs.MoveFirst();
        rs.MoveNext();
        rs.Fields("pvp1") = badMargin * 2;
        try {
            rs.Update();
            QFAIL("the refused row was not told");
        } catch (const runtime::Failure& f) {
            QCOMPARE(f.Number(), ado::err::Integrity);
            QCOMPARE(f.Description(), "La base de datos rechazó el cambio de CODARTI 'A2' (" + reason + ").");
        }
        QCOMPARE(cn.refusedRows(), std::size_t(2));
        ui::MsgBox(QStringLiteral("espera")); // told once: no box before this one
        QCOMPARE(c.boxes.size(), std::size_t(3));
    }

    void writes_changedElsewhereToldOnceWithTheTotal() {
        // Slice after slice finds rows another program changed: the operator hears it once, at
        // the next wait, with the total.
        TestDatabase database;
        database.sql(
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM n WHERE i<299) "
                           "INSERT INTO tblArticulos (CODARTI, margen1) SELECT printf('A%03d', i), 1 FROM n;"));
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        cn.writes().setFlushInterval(3600 * 1000);
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, ado::adOpenKeyset,
                ado::adLockOptimistic);
        priceEveryRow(rs);
        database.sql(QStringLiteral("UPDATE tblArticulos SET pvp1=5 WHERE rowid % 6 = 0;")); // 50 rows
        cn.writes().setFlushInterval(0);
        cn.writes().setFlushSlice(0); // a row a slice
        while (cn.pendingRows())
            cn.flushPoint();
        BoxAnswerer c;
        c.press("Aceptar").press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QVERIFY(c.boxes[0].text.startsWith(
            QStringLiteral("Se guardaron en la base de datos los cambios de 250 registros, pero no los de otros 50:")));
    }

    void writes_ownAndOddValuesAreNotAnotherProgramsChange_data() {
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("stored"); // what the file holds before
        QTest::addColumn<bool>("writtenTwice");
        QTest::newRow("written twice, flushed between") << "pvp1"
                                                        << "NULL" << true;
        QTest::newRow("written twice into a text column") << "FAMILIA"
                                                          << "NULL" << true;
        QTest::newRow("a blob in the price") << "pvp1"
                                             << "x'00ff'" << false;
        QTest::newRow("a text that is not UTF-8") << "pvp1"
                                                  << "CAST(x'ff61' AS TEXT)" << false;
        QTest::newRow("a huge integer") << "pvp1"
                                        << "9007199254740993" << false;
    }
    void writes_ownAndOddValuesAreNotAnotherProgramsChange() {
        QFETCH(QString, column);
        QFETCH(QString, stored);
        QFETCH(bool, writtenTwice);
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        database.sql(QStringLiteral("UPDATE tblArticulos SET %1=%2").arg(column, stored));
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos"));
        auto& [cn, rs] = session;
        rs.Fields(column).Value();
        rs.Fields(column) = 108.0;
        rs.Update();
        if (writtenTwice) {
            cn.flush();
            rs.Fields(column) = 109.0;
            rs.Update();
        }
        BoxAnswerer c; // no box says another program changed it
        c.press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        QCOMPARE(database.value("SELECT CAST(" + column + " AS REAL) FROM tblArticulos").toDouble(),
                 writtenTwice ? 109.0 : 108.0);
    }

    void writes_rewritesTakeNoMoreMemory() {
        // The same row written again and again while the file is held: its values are replaced
        // where they are.
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        Locker reader(database.path, Locker::Reader);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos"));
        auto& [cn, rs] = session;
        std::size_t held = 0;
        for (int i = 0; i < 20000; ++i) {
            rs.Fields("pvp1") = double(i);
            rs.Fields("NOMARTI") = QStringLiteral("nombre %1").arg(i);
            rs.Update();
            if (i == 0) held = cn.pending().valuesHeld();
        }
        QCOMPARE(cn.pending().valuesHeld(), held);
        QCOMPARE(cn.pendingRows(), std::size_t(1));
        reader.release();
        cn.flush();
        QCOMPARE(database.value("SELECT NOMARTI || ' ' || pvp1 FROM tblArticulos").toString(),
                 QStringLiteral("nombre 19999 19999.0"));
    }

    // The pending rows' index: rows whose probes collide, clusters that wrap around the end of
    // the array, erases inside a cluster (the rows after the hole shift back) and growth.
    void rowIndex_findsEveryRowAfterErases_data() {
        QTest::addColumn<QList<qlonglong>>("rowids");
        QTest::addColumn<QList<qlonglong>>("erased");
        ado::RowIndex probe; // the home cells of a first-size index
        probe.insert(0, 0);
        const std::size_t last = ado::RowIndex::kFirstCapacity - 1;
        auto homedAt = [&](std::size_t cell, int count, qlonglong from = 1) {
            QList<qlonglong> ids;
            for (qlonglong id = from; ids.size() < count; ++id)
                if (probe.home(id) == cell) ids << id;
            return ids;
        };
        const QList<qlonglong> cluster = homedAt(100, 5);
        QTest::newRow("a cluster, its first and middle rows erased")
            << cluster << QList<qlonglong>{cluster[0], cluster[2]};
        const QList<qlonglong> atEnd = homedAt(last, 4), atStart = homedAt(0, 2, 2);
        QTest::newRow("a cluster wrapping around the end")
            << atEnd + atStart << QList<qlonglong>{atEnd[0], atEnd[3], atStart[0]};
        const QList<qlonglong> across = homedAt(last, 1) + homedAt(0, 2, 2);
        QTest::newRow("a hole in the last cell, the next row at home in the first")
            << across << QList<qlonglong>{across[0], across[1]};
        const QList<qlonglong> mixed = homedAt(10, 2) + homedAt(11, 2) + homedAt(12, 1);
        QTest::newRow("neighbouring clusters") << mixed << QList<qlonglong>{mixed[1], mixed[2]};
        QList<qlonglong> many, everyThird;
        for (qlonglong id = 1; id <= 3000; ++id) {
            many << id * 7919;
            if (id % 3 == 0) everyThird << id * 7919;
        }
        QTest::newRow("growth past two sizes") << many << everyThird;
    }
    void rowIndex_findsEveryRowAfterErases() {
        QFETCH(QList<qlonglong>, rowids);
        QFETCH(QList<qlonglong>, erased);
        ado::RowIndex index;
        auto check = [&](const QSet<qlonglong>& gone) {
            QCOMPARE(index.size(), static_cast<std::size_t>(rowids.size() - gone.size()));
            for (int i = 0; i < rowids.size(); ++i) {
                const uint32_t* slot = index.find(rowids[i]);
                if (gone.contains(rowids[i])) {
                    QVERIFY2(!slot, qPrintable(QString::number(rowids[i])));
                } else {
                    QVERIFY2(slot, qPrintable(QString::number(rowids[i])));
                    QCOMPARE(*slot, static_cast<uint32_t>(i));
                }
            }
        };
        for (int i = 0; i < rowids.size(); ++i)
            index.insert(rowids[i], static_cast<uint32_t>(i));
        check({});
        QSet<qlonglong> gone;
        for (qlonglong id : erased) {
            QVERIFY(index.erase(id));
            QVERIFY(!index.erase(id));
            gone << id;
            check(gone);
        }
        for (qlonglong id : erased) // back in the cells the shifts left
            index.insert(id, static_cast<uint32_t>(rowids.indexOf(id)));
        check({});
        index.clear();
        QVERIFY(index.empty() && !index.find(rowids[0]));
    }

    void writes_queriesReadThemToo() {
        // Queries that choose rows by their values see this connection's waiting rows.
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        database.article("A2", "Beta", 1, 1, 1);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& [cn, rs] = session;
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        ado::Recordset chosen, counted;
        chosen.Open(QStringLiteral("SELECT * FROM tblArticulos WHERE pvp1=7"), cn, ado::adOpenKeyset,
                    ado::adLockOptimistic);
        QCOMPARE(chosen.RecordCount(), 1L);
        counted.Open(QStringLiteral("SELECT count(*) AS n FROM tblArticulos WHERE pvp1=7"), cn, ado::adOpenKeyset,
                     ado::adLockOptimistic);
        QCOMPARE(counted.Fields("n").Value().number(), 1.0);
        // Another table's rows, chosen by a subquery over the waiting ones.
        database.entry("A1", "2024-01-01", 1, 0);
        database.entry("A2", "2024-01-01", 1, 0);
        rs.MoveNext();
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        ado::Recordset entries;
        entries.Open(QStringLiteral("SELECT * FROM tblHistoricoEntradas WHERE CODARTI IN "
                                    "(SELECT CODARTI FROM tblArticulos WHERE pvp1=7)"),
                     cn, ado::adOpenKeyset, ado::adLockOptimistic);
        QCOMPARE(entries.RecordCount(), 2L);
    }

    void schema_eachFaultItsOwnNumber_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("query");
        QTest::addColumn<long>("number");
        QTest::addColumn<QString>("reason");
        QTest::newRow("tabla") << ""
                               << "SELECT * FROM tblNoExiste" << ado::err::TableNotFound << "tblNoExiste";
        QTest::newRow("columna") << ""
                                 << "SELECT * FROM tblArticulos WHERE NOEXISTE='x'" << ado::err::ColumnNotFound
                                 << "no such column: NOEXISTE";
        QTest::newRow("vista") << "CREATE VIEW vArt AS SELECT * FROM tblArticulos"
                               << "SELECT * FROM vArt" << ado::err::NotSupported << "vArt";
        QTest::newRow("sin rowid") << "CREATE TABLE tSin (k TEXT PRIMARY KEY, x REAL) WITHOUT ROWID"
                                   << "SELECT * FROM tSin" << ado::err::NotSupported << "tSin";
        QTest::newRow("sintaxis") << ""
                                  << "SELECT * FROM tblArticulos WHERE" << ado::err::Syntax << "incomplete input";
    }
    void schema_eachFaultItsOwnNumber() {
        // Only a file held by another program is the generic failure ("the database is open").
        QFETCH(QString, setup);
        QFETCH(QString, query);
        QFETCH(long, number);
        QFETCH(QString, reason);
        TestDatabase database;
        if (!setup.isEmpty()) database.sql(setup);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        try {
            rs.Open(query, cn, ado::adOpenKeyset, ado::adLockOptimistic);
            QFAIL("opened");
        } catch (const runtime::Failure& f) {
            QCOMPARE(f.Number(), number);
            QVERIFY2(f.Description().contains(reason), qPrintable(f.Description()));
        }
    }

    void schema_columnDroppedDuringPass() {
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        database.article("A2", "Beta", 1, 1, 1);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"));
        auto& rs = session.rs;
        database.sql(QStringLiteral("ALTER TABLE tblArticulos DROP COLUMN pvp3"));
        QCOMPARE(failureNumber([&] { rs.MoveNext(); }), ado::err::ColumnsChanged);
        QCOMPARE(failureNumber([&] { rs.Fields("pvp3").Value(); }), ado::err::ColumnsChanged);
    }

    void literals_apostrophesAndInjection() {
        TestDatabase database;
        database.article("O'NEIL", "Con apóstrofo", 1, 1, 1);
        database.article("X", "Otro", 1, 1, 1);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos where CODARTI='O''NEIL'ORDER BY CODARTI"));
        auto& cn = session.cn;
        auto& rs = session.rs;
        QCOMPARE(rs.RecordCount(), 1L);
        QCOMPARE(rs.Fields("NOMARTI").Value().text(), QStringLiteral("Con apóstrofo"));
        rs.Close();
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos where CODARTI='X'' OR ''1''=''1'ORDER BY CODARTI"), cn,
                ado::adOpenKeyset, ado::adLockOptimistic);
        QCOMPARE(rs.RecordCount(), 0L);
        QVERIFY(rs.Eof() && rs.Bof());
        rs.Close();
        // An apostrophe left single breaks the query, as the engine reports it.
        QCOMPARE(failureNumber([&] {
                     rs.Open(QStringLiteral("SELECT * FROM tblArticulos where CODARTI='O'NEIL'ORDER BY CODARTI"), cn,
                             ado::adOpenKeyset, ado::adLockOptimistic);
                 }),
                 ado::err::Syntax);
    }

    void connection_missingFileNotCreated() {
        TestDatabase database(false);
        ado::Connection cn;
        try {
            cn.Open(connectionString(database.path));
            QFAIL("opened");
        } catch (const runtime::Failure& f) {
            QCOMPARE(f.Number(), ado::err::FileNotFound);
            QVERIFY(f.Description().contains(QStringLiteral("No se pudo encontrar el archivo")));
        }
        QVERIFY(!QFile::exists(database.path));
    }

    void connection_foreignFileUntouched_data() {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("jet") << QByteArray("\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00", 24);
        QTest::newRow("azar") << QByteArray::fromHex("8badf00ddeadbeef0102030405060708090a0b0c0d0e0f");
        QTest::newRow("vacio") << QByteArray();
    }
    void connection_foreignFileUntouched() {
        QFETCH(QByteArray, contents);
        TestDatabase database(false);
        {
            QFile f(database.path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contents);
        }
        ado::Connection cn;
        try {
            cn.Open(connectionString(database.path));
            QFAIL("opened");
        } catch (const runtime::Failure& f) {
            QCOMPARE(f.Number(), ado::err::UnrecognizedFormat);
            QVERIFY(f.Description().contains(QStringLiteral("No se reconoce el formato de la base de datos")));
        }
        QFile f(database.path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), contents);
    }

    void connection_providerAndBackslash() {
        TestDatabase database;
        ado::Connection cn;
        QCOMPARE(failureNumber([&] { cn.Open(QStringLiteral("Provider=SQLOLEDB;Data Source=x;")); }),
                 ado::err::ProviderNotFound);
        // The backslash the connection string puts before the file name is a path separator.
        QString path = database.path;
        const int barra = static_cast<int>(path.lastIndexOf('/'));
        path[barra] = QLatin1Char('\\');
        cn.Open(connectionString(path));
        QCOMPARE(cn.State(), 1);
    }

    void connection_readOnly() {
        TestDatabase database;
        database.article("A1", "Alfa", 1, 2, 3);
        QFile(database.path).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        Session session(database, QStringLiteral("SELECT * FROM tblArticulos"));
        auto& [cn, rs] = session;
        rs.Fields("pvp1") = 1.0;
        try {
            rs.Update();
            QFAIL("written");
        } catch (const runtime::Failure& f) {
            QCOMPARE(f.Number(), ado::err::ReadOnly);
            QCOMPARE(f.Description(),
                     QStringLiteral("No se puede actualizar. Base de datos u objeto de sólo lectura."));
        }
        rs.Close();
        cn.Close();
        QVERIFY(database.value("SELECT pvp1 FROM tblArticulos").isNull());
    }

    void connection_readOnlyForThisUser_data() {
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<QString>("why");
        QTest::newRow("the file") << 0644 << "este usuario no tiene permiso para escribir en '";
        QTest::newRow("its folder, for the journal")
            << 0666 << "este usuario no tiene permiso para crear archivos en la carpeta '";
    }
    void connection_readOnlyForThisUser() {
        // A shop user outside the file's group: known at opening, and the first Update says so,
        // naming the permission.
        QFETCH(int, fileMode);
        QFETCH(QString, why);
        if (geteuid() != 0) QSKIP("needs root, to act as another user");
        TestDatabase database;
        database.article("A1", "Alfa", 1, 2, 3);
        const QByteArray folder = QFile::encodeName(QFileInfo(database.path).absolutePath());
        QCOMPARE(chmod(folder.constData(), 0755), 0);
        QCOMPARE(chmod(QFile::encodeName(database.path).constData(), static_cast<mode_t>(fileMode)), 0);
        const uid_t nobody = 65534;
        QCOMPARE(setegid(nobody), 0);
        QCOMPARE(seteuid(nobody), 0);
        auto back = qScopeGuard([&] {
            QVERIFY(seteuid(0) == 0 && setegid(0) == 0);
            chmod(folder.constData(), 0700);
        });
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        QVERIFY(cn.readOnly());
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, ado::adOpenKeyset, ado::adLockOptimistic);
        rs.Fields("pvp1") = 1.0;
        try {
            rs.Update();
            QFAIL("written");
        } catch (const runtime::Failure& f) {
            QCOMPARE(f.Number(), ado::err::ReadOnly);
            QVERIFY2(
                f.Description().startsWith("No se puede actualizar. Base de datos u objeto de sólo lectura. (" + why),
                qPrintable(f.Description()));
        }
    }

    void connection_networkFileSystemsKnown_data() {
        QTest::addColumn<qulonglong>("type");
        QTest::addColumn<QString>("name");
        QTest::newRow("NFS") << 0x6969ull << "NFS";
        QTest::newRow("SMB") << 0x517Bull << "SMB/CIFS";
        QTest::newRow("CIFS") << 0xFF534D42ull << "SMB/CIFS";
        QTest::newRow("SMB2") << 0xFE534D42ull << "SMB/CIFS";
        QTest::newRow("FUSE") << 0x65735546ull << "FUSE";
        QTest::newRow("9p") << 0x01021997ull << "9p";
        QTest::newRow("AFS") << 0x6B414653ull << "AFS";
        QTest::newRow("ext4") << 0xEF53ull << "";
        QTest::newRow("tmpfs") << 0x01021994ull << "";
        QTest::newRow("Btrfs") << 0x9123683Eull << "";
    }
    void connection_networkFileSystemsKnown() {
        // The database on a network file system is warned of; on this machine's own disks not.
        QFETCH(qulonglong, type);
        QFETCH(QString, name);
        QCOMPARE(ado::networkFileSystem(static_cast<unsigned long>(type)), name);
    }

    void connection_lockedByAnotherProgram() {
        TestDatabase database;
        database.article("A1", "Alfa", 1, 2, 3);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        Locker other(database.path);
        ado::Recordset rs;
        QCOMPARE(failureNumber([&] {
                     rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, ado::adOpenKeyset,
                             ado::adLockOptimistic);
                 }),
                 ado::err::Generic);
        other.release();
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, ado::adOpenKeyset, ado::adLockOptimistic);
        QCOMPARE(rs.RecordCount(), 1L);
    }
};

QTEST_MAIN(TestRecordset)
#include "test_recordset.moc"
