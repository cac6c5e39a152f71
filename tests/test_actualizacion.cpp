// The cost update run, in the real window, on real database files beside the program.
#include "Ayudantes.h"
#include "forms/main/frmPrecioCoste.h"
#include "platform/runtime/Conversions.h"
#include "platform/ui/Twips.h"
#include "update/ActualizacionCostes.h"

#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>

using namespace pruebas;

namespace {
// number() of the run: a non-negative double keeps at most 15 significant digits.
double quince(double x) { return rt::CDbl(rt::CStr(x)); }

struct Precios {
    QVariant coste, ultimo, pvp1, pvp2, pvp3;
};
Precios precios(const BaseDePrueba& bd, const QString& codigo) {
    const QString w = QStringLiteral(" FROM tblArticulos WHERE CODARTI='%1'").arg(QString(codigo).replace("'", "''"));
    return {bd.valor("SELECT costesiniva" + w), bd.valor("SELECT ultimopreciocoste" + w), bd.valor("SELECT pvp1" + w),
            bd.valor("SELECT pvp2" + w), bd.valor("SELECT pvp3" + w)};
}

const QString kResumen = QStringLiteral("Proceso finalizado.\r\n\r\n-----------------------\r\nTotal articulos:\t%1\r\n"
                                        "Actualizados : \t%2");
} // namespace

class TestActualizacion : public QObject {
    Q_OBJECT
private slots:
    void ejemploYNulos() {
        BaseDePrueba bd;
        bd.articulo("A1", "Ejemplo", 20, 0, QVariant());
        bd.entrada("A1", "2024-01-01", 100, 10);
        bd.articulo("A2", "Precio nulo", 10, 10, 10);
        bd.entrada("A2", "2024-01-01", QVariant(), 5);
        bd.articulo("A3", "Sin descuento ni márgenes", QVariant(), QVariant(), QVariant());
        bd.entrada("A3", "2024-01-01", 50, QVariant());
        frmPrecioCoste f;
        f.show();
        Contestador c;
        c.pulsar("Aceptar");
        f.cmdActualizar->click();
        Precios a1 = precios(bd, "A1");
        QCOMPARE(a1.coste.toDouble(), 90.0);
        QCOMPARE(a1.ultimo.toDouble(), 90.0);
        QCOMPARE(a1.pvp1.toDouble(), 108.0);
        QCOMPARE(a1.pvp2.toDouble(), 90.0);
        QCOMPARE(a1.pvp3.toDouble(), 90.0);
        Precios a2 = precios(bd, "A2");
        QCOMPARE(a2.coste.toDouble(), 0.0);
        QCOMPARE(a2.pvp1.toDouble(), 0.0);
        QCOMPARE(a2.pvp3.toDouble(), 0.0);
        Precios a3 = precios(bd, "A3");
        QCOMPARE(a3.coste.toDouble(), 50.0);
        QCOMPARE(a3.pvp1.toDouble(), 50.0);
        QCOMPARE(a3.pvp2.toDouble(), 50.0);
        // The other columns are carried along untouched.
        QCOMPARE(bd.valor("SELECT FAMILIA FROM tblArticulos WHERE CODARTI='A1'").toString(), QStringLiteral("F"));
        QCOMPARE(c.cajas.size(), std::size_t(1));
        QCOMPARE(c.cajas[0].titulo, QStringLiteral("TALVERA"));
        QCOMPARE(c.cajas[0].texto, kResumen.arg(3).arg(3));
        QCOMPARE(f.lblInfo->text(), QStringLiteral("Proceso finalizado. Total de articulo:3 Actualizados : 3"));
        // Nothing listed: the compact layout stays, the button is back but disabled.
        QCOMPARE(f.Height(), 3200.0);
        QVERIFY(!f.fraNoActualizados->isVisible() && !f.barra->isVisible());
        QVERIFY(f.cmdActualizar->isVisible() && !f.cmdActualizar->isEnabled() && f.cmdSalir->isVisible());
        QCOMPARE(f.barra->Max(), 4.0f);
        QCOMPARE(f.barra->Value(), 3.0f);
        QVERIFY(f.cnDatosCampo && f.cnDatosCampo->State() == 1);
    }

    void redondeoAQuinceCifras() {
        // The cost is stored as computed; the sale prices pass through their 15-digit text form.
        BaseDePrueba bd;
        bd.articulo("R1", "Redondeo", 0, 10, 33);
        bd.entrada("R1", "2024-01-01", 10, 33);
        bd.articulo("R2", "Tercio", 10, 0, 0);
        bd.entrada("R2", "2024-01-01", 1.0 / 3.0, 0);
        frmPrecioCoste f;
        Contestador c;
        c.pulsar("Aceptar");
        f.cmdActualizar->click();
        const double coste = 10 * (1 - 33.0 / 100);
        QVERIFY(coste != 6.7);
        Precios r1 = precios(bd, "R1");
        QCOMPARE(r1.coste.toDouble(), coste);
        QCOMPARE(r1.pvp1.toDouble(), 6.7);
        QCOMPARE(r1.pvp2.toDouble(), quince(coste + coste * 10 / 100));
        QCOMPARE(r1.pvp3.toDouble(), quince(coste + coste * 33 / 100));
        Precios r2 = precios(bd, "R2");
        QCOMPARE(r2.coste.toDouble(), 0.333333333333333); // number() of the entry's price
        QCOMPARE(r2.pvp1.toDouble(), quince(0.333333333333333 + 0.333333333333333 * 10 / 100));
    }

    void variasEntradas_laUltima() {
        BaseDePrueba bd;
        bd.articulo("V1", "Varias", 0, 0, 0);
        bd.entrada("V1", "2023-05-01 10:00:00", 10, 0);
        bd.entrada("V1", "2024-02-01 09:00:00", 30, 0);
        bd.entrada("V1", "2024-01-15 18:00:00", 20, 0);
        frmPrecioCoste f;
        Contestador c;
        c.pulsar("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(precios(bd, "V1").coste.toDouble(), 30.0);
    }

    void listado_ordenYDisposicionDeResultados() {
        BaseDePrueba bd;
        bd.articulo("C3", "Tercero", 1, 1, 1);
        bd.articulo("A1", "Primero", 1, 1, 1);
        bd.articulo("B2", "Con entrada", 1, 1, 1);
        bd.articulo("B1", QString(), 1, 1, 1);
        bd.entrada("B2", "2024-01-01", 10, 0);
        for (int i = 0; i < 40; ++i)
            bd.articulo(QStringLiteral("D%1").arg(i, 2, 10, QLatin1Char('0')), "Otro", 1, 1, 1);
        frmPrecioCoste f;
        f.show();
        Contestador c;
        c.pulsar("Aceptar");
        f.cmdActualizar->click();
        auto* l = f.lstNoActualizados;
        QCOMPARE(l->Count(), 43);
        QCOMPARE(l->texto(0), QStringLiteral("A1"));
        QCOMPARE(l->texto(0, 1), QStringLiteral("Primero"));
        QCOMPARE(l->texto(1), QStringLiteral("B1"));
        QCOMPARE(l->texto(1, 1), QString()); // a Null name gives an empty text
        QCOMPARE(l->texto(2), QStringLiteral("C3"));
        QCOMPARE(f.lblArticulos->text(), QStringLiteral("Total de artículos no actualizados ( sin entradas) 43"));
        QCOMPARE(c.cajas[0].texto, kResumen.arg(44).arg(1));
        QCOMPARE(f.Height(), 6375.0);
        QCOMPARE(f.cmdSalir->y(), ui::aPixelesY(5040));
        QVERIFY(f.fraNoActualizados->isVisible());
        QCOMPARE(f.fraNoActualizados->pos(), QPoint(ui::aPixelesX(120), ui::aPixelesY(600)));
        QVERIFY(precios(bd, "A1").coste.toDouble() == 0.0 || precios(bd, "A1").coste.isNull());
        QCOMPARE(l->verticalScrollBar()->value(), 0); // the list shows its first rows
        // "Volver" returns to the compact layout with the run's totals and the button disabled.
        f.btnVolver->click();
        QCOMPARE(f.Height(), 3200.0);
        QVERIFY(!f.cmdActualizar->isEnabled() && f.cmdActualizar->isVisible());
        QCOMPARE(f.lblInfo->text(), QStringLiteral("Proceso finalizado. Total de articulo:44 Actualizados : 1"));
    }

    void tablaVacia() {
        BaseDePrueba bd;
        frmPrecioCoste f;
        Contestador c;
        c.pulsar("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(f.barra->Max(), 1.0f);
        QCOMPARE(c.cajas[0].texto, kResumen.arg(0).arg(0));
        QCOMPARE(f.lblInfo->text(), QStringLiteral("Proceso finalizado. Total de articulo:0 Actualizados : 0"));
        QCOMPARE(f.Height(), 3200.0);
        QCOMPARE(f.lstNoActualizados->Count(), 0);
    }

    void progresoDuranteLaPasada() {
        BaseDePrueba bd;
        for (int i = 0; i < 4; ++i)
            bd.articulo(QStringLiteral("P%1").arg(i), "x", 0, 0, 0);
        frmPrecioCoste f;
        QStringList vistos;
        Contestador c;
        c.luego([&](QDialog* caja) {
            vistos << f.lblInfo->text();
            clicEn("Aceptar")(caja);
        });
        connect(f.barra, &QProgressBar::valueChanged, this, [&] { vistos << f.lblInfo->text(); });
        f.cmdActualizar->click();
        // After the last article the text shows 100 % of 4, before the summary replaces it.
        QCOMPARE(vistos.last(), actualizacion::kTextoProgreso + QStringLiteral("    100%"));
        QCOMPARE(f.barra->Value(), 4.0f);
    }

    void codigosConComillasEInyeccion() {
        BaseDePrueba bd;
        bd.articulo("O'NEIL", "Apóstrofo", 0, 0, 0);
        bd.entrada("O'NEIL", "2024-01-01", 12, 0);
        bd.articulo("X' OR '1'='1", "Inyección", 0, 0, 0);
        bd.articulo("Z", "Otro", 0, 0, 0);
        bd.entrada("Z", "2024-06-01", 99, 0);
        frmPrecioCoste f;
        Contestador c;
        c.pulsar("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.cajas.size(), std::size_t(1)); // no failure on the way
        QCOMPARE(precios(bd, "O'NEIL").coste.toDouble(), 12.0);
        // Its own (absent) entries: listed, not priced from another article's.
        QCOMPARE(precios(bd, "X' OR '1'='1").coste.toDouble(), 0.0);
        QCOMPARE(f.lstNoActualizados->Count(), 1);
        QCOMPARE(f.lstNoActualizados->texto(0), QStringLiteral("X' OR '1'='1"));
        QCOMPARE(precios(bd, "Z").coste.toDouble(), 99.0);
    }

    void textoYNumerosEnormes() {
        BaseDePrueba bd;
        bd.articulo("E1", "Enorme", 20, 0, 0); // first in order: m had nothing before
        bd.entrada("E1", "2024-01-01", 1e308, 0);
        bd.articulo("E2", "Texto", QStringLiteral("12"), QStringLiteral("doce"), 0);
        bd.entrada("E2", "2024-01-01", 100, QStringLiteral("abc"));
        bd.articulo("E3", "Precio en texto", 0, 0, 0);
        bd.entrada("E3", "2024-01-01", QStringLiteral("cien"), 0);
        frmPrecioCoste f;
        Contestador c;
        c.pulsar("Continuar").pulsar("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.cajas.size(), std::size_t(2));
        QCOMPARE(c.cajas[0].titulo, QStringLiteral("Informando errores "));
        QCOMPARE(c.cajas[0].texto, QStringLiteral("Ocurrió un error:\r\nMódulo: frmPrecioCoste\r\nFunción: "
                                                  "cmdActualizar_click\r\nDescripción: Desbordamiento"));
        // Step 25 failed; "Continuar" went on with 26 with the margin amount it had (0).
        Precios e1 = precios(bd, "E1");
        QCOMPARE(e1.coste.toDouble(), 1e308);
        QCOMPARE(e1.pvp1.toDouble(), 1e308);
        QCOMPARE(e1.pvp2.toDouble(), 1e308);
        // Text that holds a number is read; text that does not counts as 0.
        Precios e2 = precios(bd, "E2");
        QCOMPARE(e2.coste.toDouble(), 100.0);
        QCOMPARE(e2.pvp1.toDouble(), 112.0);
        QCOMPARE(e2.pvp2.toDouble(), 100.0);
        QCOMPARE(precios(bd, "E3").coste.toDouble(), 0.0);
        QCOMPARE(c.cajas[1].texto, kResumen.arg(3).arg(3));
    }

    void bloqueada_seLiberaYSigue() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 0, 0, 0);
        bd.entrada("A1", "2024-01-01", 5, 0);
        Bloqueador otro(bd.ruta);
        frmPrecioCoste f;
        Contestador c;
        c.luego([&](QDialog* caja) {
            otro.soltar();
            clicEn("Aceptar")(caja);
        });
        c.pulsar("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.cajas[0].titulo, QStringLiteral("..:: Z U K ::.."));
        QCOMPARE(c.cajas[0].texto, QStringLiteral("LA BASE DE DATOS ESTÁ ABIERTA, CUANDO SE HAYA CERRADO PULSE 'OK'"));
        QCOMPARE(c.cajas[1].texto, kResumen.arg(1).arg(1));
        QCOMPARE(precios(bd, "A1").coste.toDouble(), 5.0);
    }

    void bloqueada_segundoFalloAlDialogoYSalir() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 0, 0, 0);
        Bloqueador otro(bd.ruta);
        frmPrecioCoste f;
        f.show();
        Contestador c;
        c.pulsar("Aceptar").pulsar("Salir");
        f.cmdActualizar->click();
        QCOMPARE(c.cajas.size(), std::size_t(2));
        QCOMPARE(c.cajas[1].titulo, QStringLiteral("Informando errores "));
        QVERIFY(c.cajas[1].texto.endsWith(QStringLiteral("el archivo ya está en uso.")));
        // "Salir" restores nothing: the window stays as the run left it.
        QVERIFY(!f.cmdSalir->isVisible() && !f.cmdActualizar->isVisible() && f.barra->isVisible());
    }

    void baseQueFalta_oAjena() {
        {
            BaseDePrueba bd(false);
            frmPrecioCoste f;
            Contestador c;
            c.pulsar("Salir");
            f.cmdActualizar->click();
            QCOMPARE(c.cajas.size(), std::size_t(1));
            QVERIFY(c.cajas[0].texto.contains(QStringLiteral("Descripción: No se pudo encontrar el archivo '")));
            QVERIFY(!QFile::exists(bd.ruta));
        }
        {
            BaseDePrueba bd(false);
            QFile ajeno(bd.ruta);
            QVERIFY(ajeno.open(QIODevice::WriteOnly));
            ajeno.write("\x00\x01\x00\x00Standard Jet DB", 19);
            ajeno.close();
            frmPrecioCoste f;
            Contestador c;
            c.pulsar("Salir");
            f.cmdActualizar->click();
            QVERIFY(c.cajas[0].texto.contains(QStringLiteral("No se reconoce el formato de la base de datos")));
            QCOMPARE(QFileInfo(bd.ruta).size(), 19);
        }
    }

    void soloLectura_avisaYNoToca() {
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 0, 0, 0);
        bd.entrada("A1", "2024-01-01", 5, 0);
        QFile(bd.ruta).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        frmPrecioCoste f;
        Contestador c;
        c.pulsar("Salir");
        f.cmdActualizar->click();
        QCOMPARE(c.cajas.size(), std::size_t(1));
        QVERIFY(c.cajas[0].texto.endsWith(QStringLiteral("Base de datos u objeto de sólo lectura.")));
        QVERIFY(precios(bd, "A1").coste.isNull());
    }

    void bloqueoDuranteLaPasada_llegaAlDialogoYNadaSePierde() {
        // Another program takes the file while the first article is being finished: the move to
        // the next one fails and reaches the run's dialog; nothing is read as empty, nothing lost.
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 0, 0, 0);
        bd.entrada("A1", "2024-01-01", 5, 0);
        bd.articulo("A2", "Beta", 0, 0, 0);
        bd.entrada("A2", "2024-01-01", 7, 0);
        frmPrecioCoste f;
        std::unique_ptr<Bloqueador> otro;
        connect(f.barra, &QProgressBar::valueChanged, this, [&] {
            if (!otro) otro = std::make_unique<Bloqueador>(bd.ruta);
        });
        Contestador c;
        c.luego([&](QDialog* caja) { // the writes of article 1 cannot be saved before the dialog
             otro->soltar();
             clicEn(QStringLiteral("Reintentar"))(caja);
         })
            .pulsar("Continuar")
            .pulsar("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.cajas.size(), std::size_t(3));
        QCOMPARE(c.cajas[1].titulo, QStringLiteral("Informando errores "));
        QVERIFY(c.cajas[1].texto.endsWith(QStringLiteral("el archivo ya está en uso.")));
        QCOMPARE(c.cajas[2].texto, kResumen.arg(2).arg(2));
        QCOMPARE(f.lstNoActualizados->Count(), 0);
        QCOMPARE(precios(bd, "A1").coste.toDouble(), 5.0);
        QCOMPARE(precios(bd, "A2").coste.toDouble(), 7.0);
    }

    void lectorQueNoSuelta_avisaAntesDelResumen() {
        // A reader keeps its transaction open through the run: the prices cannot be saved. The
        // operator hears it before the summary, and what the summary counts is on disk.
        BaseDePrueba bd;
        bd.articulo("A1", "Alfa", 0, 0, 0);
        bd.entrada("A1", "2024-01-01", 5, 0);
        bd.articulo("A2", "Beta", 0, 0, 0);
        bd.entrada("A2", "2024-01-01", 7, 0);
        Bloqueador lector(bd.ruta, Bloqueador::Lector);
        frmPrecioCoste f;
        bool resumenEnDisco = false;
        Contestador c;
        c.luego([&](QDialog* caja) {
             lector.soltar();
             clicEn(QStringLiteral("Reintentar"))(caja);
         }).luego([&](QDialog* caja) {
            resumenEnDisco = precios(bd, "A1").coste.toDouble() == 5.0 && precios(bd, "A2").coste.toDouble() == 7.0;
            clicEn(QStringLiteral("Aceptar"))(caja);
        });
        f.cmdActualizar->click();
        QCOMPARE(c.cajas.size(), std::size_t(2));
        QVERIFY(c.cajas[0].texto.startsWith(QStringLiteral("No se pudieron guardar en la base de datos los cambios de 2 ")));
        QCOMPARE(c.cajas[1].texto, kResumen.arg(2).arg(2));
        QVERIFY(resumenEnDisco);
    }

    void codigosSinDistinguirMayusculas() {
        // Codes compare as the original engine compared them: "abc" finds its entries stored as
        // "ABC", and the list goes abc, alfa, Beta.
        BaseDePrueba bd;
        for (const char* codigo : {"Beta", "ZETA", "alfa", "abc", "Ñu"})
            bd.articulo(codigo, codigo, 0, 0, 0);
        bd.entrada("ABC", "2024-01-01", 3, 0);
        bd.entrada("zeta", "2024-01-01", 4, 0);
        frmPrecioCoste f;
        Contestador c;
        c.pulsar("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(precios(bd, "abc").coste.toDouble(), 3.0);
        QCOMPARE(precios(bd, "ZETA").coste.toDouble(), 4.0);
        QCOMPARE(f.lstNoActualizados->Count(), 3);
        QCOMPARE(f.lstNoActualizados->texto(0), QStringLiteral("alfa"));
        QCOMPARE(f.lstNoActualizados->texto(1), QStringLiteral("Beta"));
        QCOMPARE(f.lstNoActualizados->texto(2), QStringLiteral("Ñu"));
    }

    void ventanaCerradaDuranteLaPasada() {
        // The run stops after the current article, keeps what it wrote, and the window closes.
        BaseDePrueba bd;
        for (int i = 0; i < 5; ++i) {
            bd.articulo(QStringLiteral("K%1").arg(i), "x", 0, 0, 0);
            bd.entrada(QStringLiteral("K%1").arg(i), "2024-01-01", 10 + i, 0);
        }
        frmPrecioCoste f;
        f.show();
        Contestador c;
        QTimer::singleShot(0, &f, [&] { f.close(); });
        f.cmdActualizar->click();
        QVERIFY(!f.isVisible());
        QCOMPARE(c.cajas.size(), std::size_t(0));
        QCOMPARE(precios(bd, "K0").coste.toDouble(), 10.0);
        QVERIFY(precios(bd, "K1").coste.isNull());
    }
};

QTEST_MAIN(TestActualizacion)
#include "test_actualizacion.moc"
