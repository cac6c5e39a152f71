// The keyset recordset and the connection over a real SQLite file.
#include "Helpers.h"
#include "platform/ado/Errors.h"
#include "platform/ado/Recordset.h"
#include "platform/runtime/Failure.h"
#include "platform/ui/MsgBox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <sqlite3.h>

using namespace testing;

namespace {
QString connectionString(const QString& path) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Jet OLEDB:Database Password=;").arg(path);
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
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, ado::adOpenKeyset,
                ado::adLockOptimistic);
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
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
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
            rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
            QCOMPARE(rs.Fields("NOMARTI").Value().text(), QStringLiteral("Alfa"));
            // Another program changes a column this recordset does not assign.
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
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        // While the program works, the row waits: the file is free for the others.
        QVERIFY(othersCanWrite(database.path));
        QVERIFY(database.value("SELECT pvp1 FROM tblArticulos").isNull());
        ado::Recordset other; // this connection's own reads see it
        other.Open(QStringLiteral("SELECT * FROM tblArticulos WHERE CODARTI='A1'"), cn, 1, 3);
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
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
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
        ui::saveBeforeExit();
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
        cn.setFlushInterval(100);
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
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
        cn.setFlushInterval(3600 * 1000);
        BoxAnswerer c;
        c.otherwise([](QDialog* box) { box->reject(); });
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI DESC"), cn, 1, 3);
        for (int i = 2999; !rs.Eof(); --i, rs.MoveNext()) {
            rs.Fields("pvp1") = double(i);
            rs.Update();
        }
        cn.setFlushInterval(0);
        cn.setFlushSlice(0); // a row a flush point
        rs.MoveFirst();      // A2999, after the first slice wrote A0000
        QCOMPARE(cn.pendingRows(), std::size_t(2999));
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A0000'").toDouble(), 0.0);
        QCOMPARE(database.value("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A0001'").toDouble(), 1.0);
        rs.Fields("pvp1") = 7000.0; // written again while its first write waits for its slice
        rs.Update();

        cn.setFlushSlice(1);
        QElapsedTimer spent;
        spent.start();
        while (cn.pendingRows() && spent.elapsed() < 20000)
            cn.checkpoint();
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
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
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
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
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

    void writes_retriedWhileIdle() {
        // The operator chose to go on without saving; once the other program lets go, the rows
        // are written without any further action.
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        cn.setFlushInterval(100);
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        Locker reader(database.path, Locker::Reader);
        BoxAnswerer c;
        c.press("Cancelar").press("Aceptar");
        ui::MsgBox(QStringLiteral("espera"));
        reader.release();
        QTRY_COMPARE_WITH_TIMEOUT(database.value("SELECT pvp1 FROM tblArticulos").toDouble(), 7.0, 5000);
    }

    void writes_queriesReadThemToo() {
        // Queries that choose rows by their values see this connection's waiting rows.
        TestDatabase database;
        database.article("A1", "Alfa", 1, 1, 1);
        database.article("A2", "Beta", 1, 1, 1);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        ado::Recordset chosen, counted;
        chosen.Open(QStringLiteral("SELECT * FROM tblArticulos WHERE pvp1=7"), cn, 1, 3);
        QCOMPARE(chosen.RecordCount(), 1L);
        counted.Open(QStringLiteral("SELECT count(*) AS n FROM tblArticulos WHERE pvp1=7"), cn, 1, 3);
        QCOMPARE(counted.Fields("n").Value().number(), 1.0);
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
            rs.Open(query, cn, 1, 3);
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
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
        database.sql(QStringLiteral("ALTER TABLE tblArticulos DROP COLUMN pvp3"));
        QCOMPARE(failureNumber([&] { rs.MoveNext(); }), ado::err::ColumnsChanged);
        QCOMPARE(failureNumber([&] { rs.Fields("pvp3").Value(); }), ado::err::ColumnsChanged);
    }

    void literals_apostrophesAndInjection() {
        TestDatabase database;
        database.article("O'NEIL", "Con apóstrofo", 1, 1, 1);
        database.article("X", "Otro", 1, 1, 1);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos where CODARTI='O''NEIL'ORDER BY CODARTI"), cn, 1, 3);
        QCOMPARE(rs.RecordCount(), 1L);
        QCOMPARE(rs.Fields("NOMARTI").Value().text(), QStringLiteral("Con apóstrofo"));
        rs.Close();
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos where CODARTI='X'' OR ''1''=''1'ORDER BY CODARTI"), cn, 1,
                3);
        QCOMPARE(rs.RecordCount(), 0L);
        QVERIFY(rs.Eof() && rs.Bof());
        rs.Close();
        // An apostrophe left single breaks the query, as the engine reports it.
        QCOMPARE(failureNumber([&] {
                     rs.Open(QStringLiteral("SELECT * FROM tblArticulos where CODARTI='O'NEIL'ORDER BY CODARTI"), cn, 1,
                             3);
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
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
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

    void connection_lockedByAnotherProgram() {
        TestDatabase database;
        database.article("A1", "Alfa", 1, 2, 3);
        ado::Connection cn;
        cn.Open(connectionString(database.path));
        Locker other(database.path);
        ado::Recordset rs;
        QCOMPARE(failureNumber([&] { rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3); }),
                 ado::err::Generic);
        other.release();
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        QCOMPARE(rs.RecordCount(), 1L);
    }
};

QTEST_MAIN(TestRecordset)
#include "test_recordset.moc"
