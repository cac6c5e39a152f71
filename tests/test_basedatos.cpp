// The connection string, the recordset opener with its own messages, and the null-safe reader.
#include "Ayudantes.h"
#include "database/BaseDatos.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"

#include <QFileInfo>

#include <QTest>

using namespace pruebas;
using rt::FieldValue;

namespace {
QString cadena(const QString& ruta) {
    return bd::CadenaConexion(QFileInfo(ruta).path(), QStringLiteral("veskgestion.mdb"), QString());
}
} // namespace

class TestBaseDatos : public QObject {
    Q_OBJECT
private slots:
    void cadenaConexion() {
        QCOMPARE(bd::CadenaConexion(QStringLiteral("C:\\Programa"), QStringLiteral("veskgestion.mdb"), QString()),
                 QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Programa\\veskgestion.mdb;Jet "
                                "OLEDB:Database Password=;"));
        QCOMPARE(
            bd::CadenaConexion(QStringLiteral("C:\\"), QStringLiteral("a.mdb"), QStringLiteral("x")),
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\\\a.mdb;Jet OLEDB:Database Password=x;"));
    }

    void valorSinNulo_texto() {
        FieldValue nulo = FieldValue::Null();
        QCOMPARE(bd::ValorSinNulo(nulo, 0), FieldValue(QString()));
        FieldValue numero(0.1 + 0.2);
        QCOMPARE(bd::ValorSinNulo(numero, 0), FieldValue(QStringLiteral("0.3")));
        FieldValue fecha(rt::Date::fromYmd(2026, 12, 6));
        QCOMPARE(bd::ValorSinNulo(fecha, 0), FieldValue(QStringLiteral("06/12/2026")));
    }

    void valorSinNulo_numero_data() {
        QTest::addColumn<FieldValue>("valor");
        QTest::addColumn<FieldValue>("esperado");
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
    void valorSinNulo_numero() {
        QFETCH(FieldValue, valor);
        QFETCH(FieldValue, esperado);
        QCOMPARE(bd::ValorSinNulo(valor, 1), esperado);
    }

    void valorSinNulo_fechaYOtros() {
        FieldValue nulo = FieldValue::Null();
        const FieldValue r = bd::ValorSinNulo(nulo, 2);
        QVERIFY(r.isDate());
        QCOMPARE(rt::textoFecha(r.date()), QStringLiteral("31/12/1899"));
        QCOMPARE(nulo, r); // the caller's value is replaced too
        FieldValue otro = FieldValue::Null();
        QVERIFY(bd::ValorSinNulo(otro, 7).isEmpty());
        QVERIFY(otro.isNull());
    }

    void valorSinNulo_campoNoCambia() {
        BaseDePrueba base;
        base.articulo("A1", "Alfa", QVariant(), 1, 1);
        ado::Connection cn;
        cn.Open(cadena(base.ruta));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        QVERIFY(bd::ValorSinNulo(rs.Fields("margen1"), 2).isDate());
        QVERIFY(rs.Fields("margen1").Value().isNull());
        QCOMPARE(bd::ValorSinNulo(rs.Fields("margen1"), 1), FieldValue(0.0));
        rs.MoveNext(); // at EOF, reading fails and is skipped
        QVERIFY(bd::ValorSinNulo(rs.Fields("margen1"), 1).isEmpty());
    }

    void abrirRecordset_sinFilas() {
        BaseDePrueba base;
        ado::Connection cn;
        cn.Open(cadena(base.ruta));
        std::unique_ptr<ado::Recordset> rs;
        Contestador c;
        bd::AbrirRecordset(QStringLiteral("SELECT * FROM tblArticulos"), rs, cn, 3);
        QVERIFY(rs && rs->State() == 1 && rs->Eof() && rs->Bof());
        QCOMPARE(c.cajas.size(), std::size_t(0));
    }

    void abrirRecordset_otroFalloAvisaYSigue() {
        BaseDePrueba base;
        ado::Connection cn;
        cn.Open(cadena(base.ruta));
        std::unique_ptr<ado::Recordset> rs;
        Contestador c;
        c.pulsar("Aceptar").pulsar("Aceptar").pulsar("Aceptar");
        bd::AbrirRecordset(QStringLiteral("SELECT * FROM tblNoExiste"), rs, cn, 3);
        // The opening, then the test of step 4 and the move it falls into, each with its message.
        QCOMPARE(c.cajas.size(), std::size_t(3));
        QCOMPARE(c.cajas[0].titulo, QStringLiteral("..:: Z U K ::.."));
        QVERIFY(c.cajas[0].texto.startsWith(QStringLiteral(
            "Error El motor de base de datos no puede encontrar la tabla o consulta de entrada 'tblNoExiste'")));
        QVERIFY(c.cajas[0].texto.endsWith(QStringLiteral(" -2147217865\r\nAVISE AL PROGRAMADOR")));
        QVERIFY(c.cajas[1].texto.contains(QStringLiteral("-2146824584")));
        QCOMPARE(c.cajas[0].botones, QStringList{QStringLiteral("Aceptar")});
        QVERIFY(rs && rs->State() == 0);
    }

    void abrirRecordset_abiertaEnOtroLado_reintentaUnaVez() {
        BaseDePrueba base;
        base.articulo("A1", "Alfa", 1, 1, 1);
        ado::Connection cn;
        cn.Open(cadena(base.ruta));
        std::unique_ptr<ado::Recordset> rs;
        Bloqueador otro(base.ruta);
        Contestador c;
        c.luego([&](QDialog* caja) {
            otro.soltar(); // the operator closes the database in the other program, then presses OK
            clicEn(QStringLiteral("Aceptar"))(caja);
        });
        bd::AbrirRecordset(QStringLiteral("SELECT * FROM tblArticulos"), rs, cn, 3);
        QCOMPARE(c.cajas.size(), std::size_t(1));
        QCOMPARE(c.cajas[0].texto, QStringLiteral("LA BASE DE DATOS ESTÁ ABIERTA, CUANDO SE HAYA CERRADO PULSE 'OK'"));
        QCOMPARE(rs->RecordCount(), 1L);
        QCOMPARE(rs->Fields("CODARTI").Value().text(), QStringLiteral("A1"));
    }

    void abrirRecordset_segundoFalloVaAlLlamante() {
        BaseDePrueba base;
        ado::Connection cn;
        cn.Open(cadena(base.ruta));
        std::unique_ptr<ado::Recordset> rs;
        Bloqueador otro(base.ruta);
        Contestador c;
        c.pulsar("Aceptar");
        try {
            bd::AbrirRecordset(QStringLiteral("SELECT * FROM tblArticulos"), rs, cn, 3);
            QFAIL("no failure reached the caller");
        } catch (const rt::Failure& f) {
            QCOMPARE(f.Number(), ado::err::Generic);
        }
        QCOMPARE(c.cajas.size(), std::size_t(1));
    }
};

QTEST_MAIN(TestBaseDatos)
#include "test_basedatos.moc"
