// The keyset recordset and the connection over a real SQLite file.
#include "Ayudantes.h"
#include "platform/ado/Recordset.h"
#include "platform/runtime/Failure.h"
#include "platform/ui/MsgBox.h"

#include <QFile>
#include <QTest>
#include <sqlite3.h>

using namespace pruebas;

namespace {
QString cadena(const QString& ruta) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Jet OLEDB:Database Password=;").arg(ruta);
}

long numeroDeFallo(const std::function<void()>& f) {
    try {
        f();
    } catch (const rt::Failure& e) {
        return e.Number();
    }
    return 0;
}

// Whether another program can take the write lock right now.
bool otroPuedeEscribir(const QString& ruta) {
    sqlite3* db = nullptr;
    sqlite3_open(ruta.toUtf8().constData(), &db);
    const bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}
} // namespace

class TestRecordset : public QObject {
    Q_OBJECT
private slots:
    void keyset_ordenCamposYNulos() {
        BaseDePrueba bd;
        bd.articulo("B2", "Beta", 10, QVariant(), 5);
        bd.articulo("A1", "Alfa", 20, 0, QVariant());
        bd.articulo("C3", QString(), 1, 2, 3);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
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
        QCOMPARE(numeroDeFallo([&] { rs.MoveNext(); }), ado::err::SinRegistroActual);
        QCOMPARE(numeroDeFallo([&] { rs.Fields("CODARTI").Value(); }), ado::err::SinRegistroActual);
        QCOMPARE(numeroDeFallo([&] { rs.Fields("NOEXISTE"); }), ado::err::ElementoNoEncontrado);
        rs.Close();
        QCOMPARE(numeroDeFallo([&] { rs.Eof(); }), ado::err::ObjetoCerrado);
    }

    void keyset_leeLaFilaAlMoverse() {
        // The keys are read at opening; the row is fetched when the cursor reaches it.
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 1, 1);
        bd.articulo("A2", "Beta", 1, 1, 1);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
        bd.sql(QStringLiteral("UPDATE tblArticulos SET NOMARTI='Cambiado' WHERE CODARTI='A2'"));
        bd.articulo("A0", "Nuevo", 1, 1, 1);
        rs.MoveNext();
        QCOMPARE(rs.Fields("NOMARTI").Value().text(), QStringLiteral("Cambiado"));
        QCOMPARE(rs.RecordCount(), 2L);
        bd.sql(QStringLiteral("DELETE FROM tblArticulos WHERE CODARTI='A1'"));
        rs.MoveFirst();
        QCOMPARE(numeroDeFallo([&] { rs.Fields("NOMARTI").Value(); }), ado::err::FilaEliminada);
    }

    void update_escribeSoloLoAsignado() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 2, 3);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        {
            ado::Recordset rs;
            rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
            QCOMPARE(rs.Fields("NOMARTI").Value().text(), QStringLiteral("Alfa"));
            // Another program changes a column this recordset does not assign.
            bd.sql(QStringLiteral("UPDATE tblArticulos SET FAMILIA='G', NOMARTI='Otro'"));
            rs.Fields("pvp1") = 12.5;
            rs.Fields("costesiniva") = rt::FieldValue(QStringLiteral("texto"));
            rs.Update();
            QCOMPARE(rs.Fields("pvp1").Value().number(), 12.5);
        } // released: committed
        QCOMPARE(bd.valor("SELECT pvp1 FROM tblArticulos").toDouble(), 12.5);
        QCOMPARE(bd.valor("SELECT costesiniva FROM tblArticulos").toString(), QStringLiteral("texto"));
        QCOMPARE(bd.valor("SELECT FAMILIA FROM tblArticulos").toString(), QStringLiteral("G"));
        QCOMPARE(bd.valor("SELECT NOMARTI FROM tblArticulos").toString(), QStringLiteral("Otro"));
    }

    void update_sinBloqueoMientrasEsperaAlOperador() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 2, 3);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        QVERIFY(!otroPuedeEscribir(bd.ruta)); // the batch is still open while the program works
        bool visible = false, escribe = false;
        Contestador c;
        c.luego([&](QDialog* caja) {
            visible = bd.valor("SELECT pvp1 FROM tblArticulos").toDouble() == 7.0;
            escribe = otroPuedeEscribir(bd.ruta);
            clicEn(QStringLiteral("Aceptar"))(caja);
        });
        ui::MsgBox(QStringLiteral("espera"));
        QVERIFY(visible);
        QVERIFY(escribe);
    }

    void literales_comillasEInyeccion() {
        BaseDePrueba bd;
        bd.articulo("O'NEIL", "Con apóstrofo", 1, 1, 1);
        bd.articulo("X", "Otro", 1, 1, 1);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
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
        QCOMPARE(numeroDeFallo([&] {
                     rs.Open(QStringLiteral("SELECT * FROM tblArticulos where CODARTI='O'NEIL'ORDER BY CODARTI"), cn, 1,
                             3);
                 }),
                 ado::err::Sintaxis);
    }

    void conexion_archivoQueFaltaNoSeCrea() {
        BaseDePrueba bd(false);
        ado::Connection cn;
        try {
            cn.Open(cadena(bd.ruta));
            QFAIL("opened");
        } catch (const rt::Failure& f) {
            QCOMPARE(f.Number(), ado::err::Generico);
            QVERIFY(f.Description().contains(QStringLiteral("No se pudo encontrar el archivo")));
        }
        QVERIFY(!QFile::exists(bd.ruta));
    }

    void conexion_archivoAjenoQuedaIntacto_data() {
        QTest::addColumn<QByteArray>("contenido");
        QTest::newRow("jet") << QByteArray("\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00", 24);
        QTest::newRow("azar") << QByteArray::fromHex("8badf00ddeadbeef0102030405060708090a0b0c0d0e0f");
        QTest::newRow("vacio") << QByteArray();
    }
    void conexion_archivoAjenoQuedaIntacto() {
        QFETCH(QByteArray, contenido);
        BaseDePrueba bd(false);
        {
            QFile f(bd.ruta);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contenido);
        }
        ado::Connection cn;
        try {
            cn.Open(cadena(bd.ruta));
            QFAIL("opened");
        } catch (const rt::Failure& f) {
            QCOMPARE(f.Number(), ado::err::Generico);
            QVERIFY(f.Description().contains(QStringLiteral("No se reconoce el formato de la base de datos")));
        }
        QFile f(bd.ruta);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), contenido);
    }

    void conexion_proveedorYBarraInvertida() {
        BaseDePrueba bd;
        ado::Connection cn;
        QCOMPARE(numeroDeFallo([&] { cn.Open(QStringLiteral("Provider=SQLOLEDB;Data Source=x;")); }),
                 ado::err::ProveedorNoEncontrado);
        // The backslash the connection string puts before the file name is a path separator.
        QString ruta = bd.ruta;
        const int barra = static_cast<int>(ruta.lastIndexOf('/'));
        ruta[barra] = QLatin1Char('\\');
        cn.Open(cadena(ruta));
        QCOMPARE(cn.State(), 1);
    }

    void conexion_soloLectura() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 2, 3);
        QFile(bd.ruta).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        rs.Fields("pvp1") = 1.0;
        try {
            rs.Update();
            QFAIL("written");
        } catch (const rt::Failure& f) {
            QCOMPARE(f.Number(), ado::err::SoloLectura);
            QCOMPARE(f.Description(),
                     QStringLiteral("No se puede actualizar. Base de datos u objeto de sólo lectura."));
        }
        rs.Close();
        cn.Close();
        QVERIFY(bd.valor("SELECT pvp1 FROM tblArticulos").isNull());
    }

    void conexion_bloqueadaPorOtroPrograma() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 2, 3);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        Bloqueador otro(bd.ruta);
        ado::Recordset rs;
        QCOMPARE(numeroDeFallo([&] { rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3); }),
                 ado::err::Generico);
        otro.soltar();
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        QCOMPARE(rs.RecordCount(), 1L);
    }
};

QTEST_MAIN(TestRecordset)
#include "test_recordset.moc"
