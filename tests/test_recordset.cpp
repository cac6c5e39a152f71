// The keyset recordset and the connection over a real SQLite file.
#include "Ayudantes.h"
#include "platform/ado/Errors.h"
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
        QCOMPARE(numeroDeFallo([&] { rs.MoveNext(); }), ado::err::NoCurrentRecord);
        QCOMPARE(numeroDeFallo([&] { rs.Fields("CODARTI").Value(); }), ado::err::NoCurrentRecord);
        QCOMPARE(numeroDeFallo([&] { rs.Fields("NOEXISTE"); }), ado::err::ItemNotFound);
        rs.Close();
        QCOMPARE(numeroDeFallo([&] { rs.Eof(); }), ado::err::ObjectClosed);
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
        QCOMPARE(numeroDeFallo([&] { rs.MoveFirst(); }), ado::err::RowDeleted); // the move that reaches it fails
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

    void escrituras_esperanSinBloquearYSeGuardanAlEsperar() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 2, 3);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        // While the program works, the row waits: the file is free for the others.
        QVERIFY(otroPuedeEscribir(bd.ruta));
        QVERIFY(bd.valor("SELECT pvp1 FROM tblArticulos").isNull());
        ado::Recordset otro; // this connection's own reads see it
        otro.Open(QStringLiteral("SELECT * FROM tblArticulos WHERE CODARTI='A1'"), cn, 1, 3);
        QCOMPARE(otro.Fields("pvp1").Value().number(), 7.0);
        QCOMPARE(otro.Fields("margen3").Value().number(), 3.0);
        // Before the program waits for the operator, it is in the file.
        bool enDisco = false;
        Contestador c;
        c.luego([&](QDialog* caja) {
            enDisco = bd.valor("SELECT pvp1 FROM tblArticulos").toDouble() == 7.0;
            clicEn(QStringLiteral("Aceptar"))(caja);
        });
        ui::MsgBox(QStringLiteral("espera"));
        QVERIFY(enDisco);
        QVERIFY(otroPuedeEscribir(bd.ruta));
    }

    void escrituras_otroProgramaNoDejaGuardar() {
        // A reader that keeps its transaction open: no write can be committed. The operator hears
        // it before the box, may try again or go on, and nothing is lost or locked meanwhile.
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 2, 3);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        rs.Fields("pvp1") = 7.0;
        rs.Update();
        Bloqueador lector(bd.ruta, Bloqueador::Lector);
        bool libre = false;
        Contestador c;
        c.pulsar("Reintentar")
            .luego([&](QDialog* caja) {
                libre = otroPuedeEscribir(bd.ruta); // chosen to go on: nothing is held
                clicEn(QStringLiteral("Cancelar"))(caja);
            })
            .pulsar("Aceptar");
        ui::MsgBox(QStringLiteral("resumen"));
        QCOMPARE(c.cajas.size(), std::size_t(3));
        for (int i : {0, 1}) {
            QCOMPARE(c.cajas[i].titulo, QStringLiteral("ZUK"));
            QCOMPARE(c.cajas[i].botones, (QStringList{"Reintentar", "Cancelar"}));
            QVERIFY(c.cajas[i].texto.startsWith(
                QStringLiteral("No se pudieron guardar en la base de datos los cambios de 1 registros. No se pudo usar '")));
            QVERIFY(c.cajas[i].texto.contains(QStringLiteral("el archivo ya está en uso.")));
        }
        QCOMPARE(c.cajas[2].texto, QStringLiteral("resumen"));
        QVERIFY(libre);
        QVERIFY(bd.valor("SELECT pvp1 FROM tblArticulos").isNull());
        QCOMPARE(cn.pendingRows(), std::size_t(1));

        // At the end of the program the operator is asked again; once the reader lets go, it is saved.
        c.luego([&](QDialog* caja) {
            lector.soltar();
            clicEn(QStringLiteral("Reintentar"))(caja);
        });
        ui::guardarAntesDeSalir();
        QCOMPARE(c.cajas.size(), std::size_t(4));
        QVERIFY(c.cajas[3].texto.endsWith(QStringLiteral("Si pulsa 'Cancelar', el programa termina y esos cambios se pierden.")));
        QCOMPARE(bd.valor("SELECT pvp1 FROM tblArticulos").toDouble(), 7.0);
        QCOMPARE(cn.pendingRows(), std::size_t(0));
    }

    void escrituras_sinPrisaPeroATiempo() {
        // A write is flushed on time even if the rows that follow write nothing; a flush that meets
        // another program's lock does not fail the step that triggered it.
        BaseDePrueba bd;
        for (const char* codigo : {"A1", "A2", "A3", "A4"})
            bd.articulo(codigo, "x", 1, 1, 1);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        cn.setFlushInterval(100);
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
        rs.Fields("pvp1") = 1.0;
        rs.Update();
        QTest::qWait(150);
        rs.MoveNext(); // no write here
        QCOMPARE(bd.valor("SELECT pvp1 FROM tblArticulos WHERE CODARTI='A1'").toDouble(), 1.0);

        Bloqueador lector(bd.ruta, Bloqueador::Lector);
        rs.Fields("pvp1") = 2.0;
        rs.Update();
        QTest::qWait(150);
        rs.MoveNext(); // the flush fails: the move does not
        rs.Fields("pvp1") = 3.0;
        rs.Update();
        QCOMPARE(cn.pendingRows(), std::size_t(2));
        lector.soltar();
        rs.Close(); // released: flushed
        QCOMPARE(bd.valor("SELECT sum(pvp1) FROM tblArticulos").toDouble(), 6.0);
    }

    void movimiento_unBloqueoFallaAlMoverNoAlLeer() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 1, 1);
        bd.articulo("A2", "Beta", 1, 1, 1);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
        Bloqueador otro(bd.ruta);
        QCOMPARE(numeroDeFallo([&] { rs.MoveNext(); }), ado::err::Generic);
        otro.soltar();
        QCOMPARE(rs.Fields("NOMARTI").Value().text(), QStringLiteral("Beta")); // read again once free
    }

    void esquema_cadaFalloConSuNumero_data() {
        QTest::addColumn<QString>("preparar");
        QTest::addColumn<QString>("consulta");
        QTest::addColumn<long>("numero");
        QTest::addColumn<QString>("motivo");
        QTest::newRow("tabla") << "" << "SELECT * FROM tblNoExiste" << ado::err::TableNotFound << "tblNoExiste";
        QTest::newRow("columna") << "" << "SELECT * FROM tblArticulos WHERE NOEXISTE='x'" << ado::err::ColumnNotFound
                                 << "no such column: NOEXISTE";
        QTest::newRow("vista") << "CREATE VIEW vArt AS SELECT * FROM tblArticulos" << "SELECT * FROM vArt"
                               << ado::err::NotSupported << "vArt";
        QTest::newRow("sin rowid") << "CREATE TABLE tSin (k TEXT PRIMARY KEY, x REAL) WITHOUT ROWID"
                                   << "SELECT * FROM tSin" << ado::err::NotSupported << "tSin";
        QTest::newRow("sintaxis") << "" << "SELECT * FROM tblArticulos WHERE" << ado::err::Syntax << "incomplete input";
    }
    void esquema_cadaFalloConSuNumero() {
        // Only a file held by another program is the generic failure ("the database is open").
        QFETCH(QString, preparar);
        QFETCH(QString, consulta);
        QFETCH(long, numero);
        QFETCH(QString, motivo);
        BaseDePrueba bd;
        if (!preparar.isEmpty()) bd.sql(preparar);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        ado::Recordset rs;
        try {
            rs.Open(consulta, cn, 1, 3);
            QFAIL("opened");
        } catch (const rt::Failure& f) {
            QCOMPARE(f.Number(), numero);
            QVERIFY2(f.Description().contains(motivo), qPrintable(f.Description()));
        }
    }

    void esquema_columnaBorradaDuranteLaPasada() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 1, 1, 1);
        bd.articulo("A2", "Beta", 1, 1, 1);
        ado::Connection cn;
        cn.Open(cadena(bd.ruta));
        ado::Recordset rs;
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"), cn, 1, 3);
        bd.sql(QStringLiteral("ALTER TABLE tblArticulos DROP COLUMN pvp3"));
        QCOMPARE(numeroDeFallo([&] { rs.MoveNext(); }), ado::err::ColumnsChanged);
        QCOMPARE(numeroDeFallo([&] { rs.Fields("pvp3").Value(); }), ado::err::ColumnsChanged);
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
                 ado::err::Syntax);
    }

    void conexion_archivoQueFaltaNoSeCrea() {
        BaseDePrueba bd(false);
        ado::Connection cn;
        try {
            cn.Open(cadena(bd.ruta));
            QFAIL("opened");
        } catch (const rt::Failure& f) {
            QCOMPARE(f.Number(), ado::err::FileNotFound);
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
            QCOMPARE(f.Number(), ado::err::UnrecognizedFormat);
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
                 ado::err::ProviderNotFound);
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
            QCOMPARE(f.Number(), ado::err::ReadOnly);
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
                 ado::err::Generic);
        otro.soltar();
        rs.Open(QStringLiteral("SELECT * FROM tblArticulos"), cn, 1, 3);
        QCOMPARE(rs.RecordCount(), 1L);
    }
};

QTEST_MAIN(TestRecordset)
#include "test_recordset.moc"
