// The connection string, the recordset opener with its own messages, and the null-safe reader.
#include "BoxAnswerer.h"
#include "TestDatabase.h"
#include "database/DatabaseAccess.h"
#include "platform/ado/ConnectionString.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"

#include <QFileInfo>

#include <QTest>

using namespace testing;
using runtime::FieldValue;

namespace {
QString connectionString(const QString& path) {
    return database::CadenaConexion(QFileInfo(path).path(), QStringLiteral("veskgestion.mdb"), QString());
}
} // namespace

class TestDatabaseAccess : public QObject {
    Q_OBJECT
private slots:
    void cadenaConexion() {
        QCOMPARE(database::CadenaConexion(QStringLiteral("C:\\Programa"), QStringLiteral("veskgestion.mdb"), QString()),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Programa\\veskgestion.mdb;Jet "
                                "OLEDB:Database Password=;"));
        QCOMPARE(
            database::CadenaConexion(QStringLiteral("C:\\"), QStringLiteral("a.mdb"), QStringLiteral("x")),
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\\\a.mdb;Jet OLEDB:Database Password=x;"));
    }

    void cadenaConexion_readBackWhole_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << "/opt/actualizapvp"
                               << "";
        QTest::newRow("a ; in the folder") << "/home/tienda;2"
                                           << "";
        QTest::newRow("a ; and = in the folder") << "/srv/a;b=c"
                                                 << "";
        QTest::newRow("a ; in the password") << "/opt/x"
                                             << "cla;ve;";
        QTest::newRow("blanks and accents") << "/home/Peña/mis datos"
                                            << "ñ";
    }
    void cadenaConexion_readBackWhole() {
        // What the string is made of is what the provider reads from it.
        QFETCH(QString, folder);
        QFETCH(QString, password);
        const auto parts =
            ado::parseConnectionString(database::CadenaConexion(folder, QStringLiteral("veskgestion.mdb"), password));
        QCOMPARE(parts.provider, QStringLiteral("Microsoft.Jet.OLEDB.4.0"));
        QCOMPARE(parts.dataSource, folder + QStringLiteral("\\veskgestion.mdb"));
        QCOMPARE(parts.password, password);
    }

    void valorSinNulo_text() {
        FieldValue null = FieldValue::Null();
        QCOMPARE(database::ValorSinNulo(null, 0), FieldValue(QString()));
        FieldValue number(0.1 + 0.2);
        QCOMPARE(database::ValorSinNulo(number, 0), FieldValue(QStringLiteral("0.3")));
        FieldValue date(runtime::Date::fromYmd(2026, 12, 6));
        QCOMPARE(database::ValorSinNulo(date, 0), FieldValue(QStringLiteral("06/12/2026")));
    }

    void valorSinNulo_number_data() {
        QTest::addColumn<FieldValue>("value");
        QTest::addColumn<FieldValue>("expected");
        QTest::newRow("nulo") << FieldValue::Null() << FieldValue(0.0);
        QTest::newRow("12.5") << FieldValue(12.5) << FieldValue(12.5);
        QTest::newRow("negativo") << FieldValue(-3.0) << FieldValue(-3.0);
        QTest::newRow("quince cifras") << FieldValue(0.1 + 0.2) << FieldValue(0.3);
        QTest::newRow("texto numerico") << FieldValue(QStringLiteral("7.25")) << FieldValue(7.25);
        QTest::newRow("texto vacio") << FieldValue(QString()) << FieldValue(0.0);
        QTest::newRow("texto no numerico") << FieldValue(QStringLiteral("abc")) << FieldValue();
        QTest::newRow("texto negativo") << FieldValue(QStringLiteral("-4")) << FieldValue(-4.0);
        QTest::newRow("enorme") << FieldValue(1e300) << FieldValue(1e300);
        QTest::newRow("vacio") << FieldValue() << FieldValue(0.0);
    }
    void valorSinNulo_number() {
        QFETCH(FieldValue, value);
        QFETCH(FieldValue, expected);
        QCOMPARE(database::ValorSinNulo(value, 1), expected);
    }

    void valorSinNulo_dateAndOthers() {
        FieldValue null = FieldValue::Null();
        const FieldValue r = database::ValorSinNulo(null, 2);
        QVERIFY(r.isDate());
        QCOMPARE(runtime::dateText(r.date()), QStringLiteral("31/12/1899"));
        QCOMPARE(null, r); // the caller's value is replaced too
        FieldValue other = FieldValue::Null();
        QVERIFY(database::ValorSinNulo(other, 7).isEmpty());
        QVERIFY(other.isNull());
    }

    void valorSinNulo_fieldUnchanged() {
        TestDatabase base;
        base.article("A1", "Alfa", QVariant(), 1, 1);
        ado::Connection cn;
        cn.Open(connectionString(base.path));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, ado::adOpenKeyset, ado::adLockOptimistic);
        QVERIFY(database::ValorSinNulo(rs.Fields("margen1"), 2).isDate());
        QVERIFY(rs.Fields("margen1").Value().isNull());
        QCOMPARE(database::ValorSinNulo(rs.Fields("margen1"), 1), FieldValue(0.0));
        rs.MoveNext(); // at EOF, reading fails and is skipped
        QVERIFY(database::ValorSinNulo(rs.Fields("margen1"), 1).isEmpty());
    }

    void abrirRecordset_noRows() {
        TestDatabase base;
        ado::Connection cn;
        cn.Open(connectionString(base.path));
        std::unique_ptr<ado::Recordset> rs;
        BoxAnswerer c;
        database::AbrirRecordset(QStringLiteral("SELECT * FROM tblArticulos"), rs, cn, 3);
        QVERIFY(rs && rs->State() == 1 && rs->Eof() && rs->Bof());
        QCOMPARE(c.boxes.size(), std::size_t(0));
    }

    void abrirRecordset_otherFailure_tellsAndGoesOn() {
        TestDatabase base;
        ado::Connection cn;
        cn.Open(connectionString(base.path));
        std::unique_ptr<ado::Recordset> rs;
        BoxAnswerer c;
        c.press("Aceptar").press("Aceptar").press("Aceptar");
        database::AbrirRecordset(QStringLiteral("SELECT * FROM tblNoExiste"), rs, cn, 3);
        // The opening, then the test of step 4 and the move it falls into, each with its message.
        QCOMPARE(c.boxes.size(), std::size_t(3));
        QCOMPARE(c.boxes[0].title, QStringLiteral("..:: Z U K ::.."));
        QVERIFY(c.boxes[0].text.startsWith(QStringLiteral(
            "Error El motor de base de datos no puede encontrar la tabla o consulta de entrada 'tblNoExiste'")));
        QVERIFY(c.boxes[0].text.endsWith(QStringLiteral(" -2147217865\r\nAVISE AL PROGRAMADOR")));
        QVERIFY(c.boxes[1].text.contains(QStringLiteral("-2146824584")));
        QCOMPARE(c.boxes[0].buttons, QStringList{QStringLiteral("Aceptar")});
        QVERIFY(rs && rs->State() == 0);
    }

    void abrirRecordset_openElsewhere_retriesOnce() {
        TestDatabase base;
        base.article("A1", "Alfa", 1, 1, 1);
        ado::Connection cn;
        cn.Open(connectionString(base.path));
        std::unique_ptr<ado::Recordset> rs;
        Locker other(base.path);
        BoxAnswerer c;
        c.then([&](QDialog* box) {
            other.release(); // the operator closes the database in the other program, then presses OK
            clickOn(QStringLiteral("Aceptar"))(box);
        });
        database::AbrirRecordset(QStringLiteral("SELECT * FROM tblArticulos"), rs, cn, 3);
        QCOMPARE(c.boxes.size(), std::size_t(1));
        QCOMPARE(c.boxes[0].text, QStringLiteral("LA BASE DE DATOS ESTÁ ABIERTA, CUANDO SE HAYA CERRADO PULSE 'OK'"));
        QCOMPARE(rs->RecordCount(), 1L);
        QCOMPARE(rs->Fields("CODARTI").Value().text(), QStringLiteral("A1"));
    }

    void abrirRecordset_secondFailure_goesToCaller() {
        TestDatabase base;
        ado::Connection cn;
        cn.Open(connectionString(base.path));
        std::unique_ptr<ado::Recordset> rs;
        Locker other(base.path);
        BoxAnswerer c;
        c.press("Aceptar");
        try {
            database::AbrirRecordset(QStringLiteral("SELECT * FROM tblArticulos"), rs, cn, 3);
            QFAIL("no failure reached the caller");
        } catch (const runtime::Failure& f) {
            QCOMPARE(f.Number(), ado::err::Generic);
        }
        QCOMPARE(c.boxes.size(), std::size_t(1));
    }
};

QTEST_MAIN(TestDatabaseAccess)
#include "test_database.moc"
