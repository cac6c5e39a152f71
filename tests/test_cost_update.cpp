// The cost update run, in the real window, on real database files beside the program.
#include "BoxAnswerer.h"
#include "TestDatabase.h"
#include "forms/main/frmPrecioCoste.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"
#include "platform/ui/Twips.h"
#include "update/CostUpdate.h"
#include "update/UpdateWindow.h"

#include <QFile>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <memory>

using namespace testing;
using forms::frmPrecioCoste;

namespace {
// number() of the run: a non-negative double keeps at most 15 significant digits.
double fifteen(double x) { return runtime::CDbl(runtime::CStr(x)); }

struct Prices {
    QVariant cost, last, pvp1, pvp2, pvp3;
};
Prices pricesOf(const TestDatabase& database, const QString& code) {
    const QString w = QStringLiteral(" FROM tblArticulos WHERE CODARTI='%1'").arg(QString(code).replace("'", "''"));
    return {database.value("SELECT costesiniva" + w), database.value("SELECT ultimopreciocoste" + w),
            database.value("SELECT pvp1" + w), database.value("SELECT pvp2" + w), database.value("SELECT pvp3" + w)};
}

const QString kSummary = QStringLiteral("Proceso finalizado.\r\n\r\n-----------------------\r\nTotal articulos:\t%1\r\n"
                                        "Actualizados : \t%2");
// The run's window as a test sees it: it notes each operation the run asks of it, and refuses
// (as a control refuses a value) the one named, the first time it is asked.
class ScriptedWindow : public update::UpdateWindow {
public:
    explicit ScriptedWindow(QString refuse) : refuse_(std::move(refuse)) {}
    QStringList done;
    int rows = 0;
    float value = 0;

    void cmdSalirVisible(bool) override { act("cmdSalirVisible"); }
    void cmdSalirTop(double) override { act("cmdSalirTop"); }
    void cmdActualizarEnabled(bool) override { act("cmdActualizarEnabled"); }
    void cmdActualizarVisible(bool) override { act("cmdActualizarVisible"); }
    void fraNoActualizadosVisible(bool) override { act("fraNoActualizadosVisible"); }
    void fraNoActualizadosTop(double) override { act("fraNoActualizadosTop"); }
    void fraNoActualizadosLeft(double) override { act("fraNoActualizadosLeft"); }
    void lstNoActualizadosClear() override { act("lstNoActualizadosClear"); }
    int lstNoActualizadosAdd(const QString&) override {
        act("lstNoActualizadosAdd");
        return rows++;
    }
    void lstNoActualizadosSubItem(int, const QString&) override { act("lstNoActualizadosSubItem"); }
    int lstNoActualizadosCount() const override { return rows; }
    void lblInfoCaption(const QString&) override { act("lblInfoCaption"); }
    void lblArticulosCaption(const QString&) override { act("lblArticulosCaption"); }
    void barraVisible(bool) override { act("barraVisible"); }
    void barraMin(float) override { act("barraMin"); }
    void barraMax(float) override { act("barraMax"); }
    float barraValue() const override { return value; }
    void barraValue(float v) override {
        act("barraValue");
        value = v;
    }
    void Height(double) override { act("Height"); }
    void progreso(int32_t, int32_t, bool&, QString&) override { act("progreso"); }
    std::unique_ptr<ado::Connection>& cnDatos() override { return cn_; }
    bool closed() const override { return false; }

private:
    void act(const char* operation) {
        if (refuse_ == QLatin1String(operation) && !refused_) {
            refused_ = true;
            runtime::raise(runtime::err::InvalidPropertyValue);
        }
        done << QLatin1String(operation);
    }
    QString refuse_;
    bool refused_ = false;
    std::unique_ptr<ado::Connection> cn_;
};

} // namespace

class TestCostUpdate : public QObject {
    Q_OBJECT
private slots:
    void prices_data() {
        QTest::addColumn<QVariantList>("margins");
        QTest::addColumn<QVariantList>("entries");   // entro, pvp, descuento, ...
        QTest::addColumn<QList<double>>("expected"); // cost, pvp1, pvp2, pvp3
        const QVariant null;
        QTest::newRow("100 less 10 %, margins 20, 0 and Null")
            << QVariantList{20, 0, null} << QVariantList{"2024-01-01", 100, 10} << QList<double>{90, 108, 90, 90};
        QTest::newRow("a Null price") << QVariantList{10, 10, 10} << QVariantList{"2024-01-01", null, 5}
                                      << QList<double>{0, 0, 0, 0};
        QTest::newRow("no discount, no margins")
            << QVariantList{null, null, null} << QVariantList{"2024-01-01", 50, null} << QList<double>{50, 50, 50, 50};
        // The cost is stored as computed; the sale prices pass through their 15-digit text form.
        const double cost = 10 * (1 - 33.0 / 100);
        QTest::newRow("the cost as computed, the prices to 15 digits")
            << QVariantList{0, 10, 33} << QVariantList{"2024-01-01", 10, 33}
            << QList<double>{cost, 6.7, fifteen(cost + cost * 10 / 100), fifteen(cost + cost * 33 / 100)};
        const double third = 0.333333333333333; // number() of the entry's price
        QTest::newRow("the entry's price read to 15 digits")
            << QVariantList{10, 0, 0} << QVariantList{"2024-01-01", 1.0 / 3.0, 0}
            << QList<double>{third, fifteen(third + third * 10 / 100), third, third};
        QTest::newRow("the latest of several entries")
            << QVariantList{0, 0, 0}
            << QVariantList{"2023-05-01 10:00:00", 10, 0, "2024-02-01 09:00:00", 30, 0, "2024-01-15 18:00:00", 20, 0}
            << QList<double>{30, 30, 30, 30};
        // Text that holds a number is read; text that does not counts as 0.
        QTest::newRow("texts holding numbers, or not")
            << QVariantList{"12", "doce", 0} << QVariantList{"2024-01-01", 100, "abc"}
            << QList<double>{100, 112, 100, 100};
        QTest::newRow("a price that is no number")
            << QVariantList{0, 0, 0} << QVariantList{"2024-01-01", "cien", 0} << QList<double>{0, 0, 0, 0};
    }
    void prices() {
        QFETCH(QVariantList, margins);
        QFETCH(QVariantList, entries);
        QFETCH(QList<double>, expected);
        TestDatabase database;
        database.article("A1", "Artículo", margins[0], margins[1], margins[2]);
        for (qsizetype i = 0; i + 2 < entries.size(); i += 3)
            database.entry("A1", entries[i].toString(), entries[i + 1], entries[i + 2]);
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Aceptar");
        f.cmdActualizar->click();
        const Prices p = pricesOf(database, "A1");
        QCOMPARE((QList<double>{p.cost.toDouble(), p.pvp1.toDouble(), p.pvp2.toDouble(), p.pvp3.toDouble()}), expected);
        QCOMPARE(p.last.toDouble(), expected[0]);
        QCOMPARE(c.boxes[0].text, kSummary.arg(1).arg(1));
    }

    void run_windowAndSummary() {
        TestDatabase database;
        database.article("A1", "Ejemplo", 20, 0, QVariant());
        database.entry("A1", "2024-01-01", 100, 10);
        database.article("A2", "Precio nulo", 10, 10, 10);
        database.entry("A2", "2024-01-01", QVariant(), 5);
        database.article("A3", "Sin descuento ni márgenes", QVariant(), QVariant(), QVariant());
        database.entry("A3", "2024-01-01", 50, QVariant());
        frmPrecioCoste f;
        f.show();
        BoxAnswerer c;
        c.press("Aceptar");
        f.cmdActualizar->click();
        // The other columns are carried along untouched.
        QCOMPARE(database.value("SELECT FAMILIA FROM tblArticulos WHERE CODARTI='A1'").toString(), QStringLiteral("F"));
        QCOMPARE(c.boxes.size(), std::size_t(1));
        QCOMPARE(c.boxes[0].title, QStringLiteral("TALVERA"));
        QCOMPARE(c.boxes[0].text, kSummary.arg(3).arg(3));
        QCOMPARE(f.lblInfo->text(), QStringLiteral("Proceso finalizado. Total de articulo:3 Actualizados : 3"));
        // Nothing listed: the compact layout stays, the button is back but disabled.
        QCOMPARE(f.Height(), 3200.0);
        QVERIFY(!f.fraNoActualizados->isVisible() && !f.barra->isVisible());
        QVERIFY(f.cmdActualizar->isVisible() && !f.cmdActualizar->isEnabled() && f.cmdSalir->isVisible());
        QCOMPARE(f.barra->Max(), 4.0f);
        QCOMPARE(f.barra->Value(), 3.0f);
        QVERIFY(f.cnDatos_ && f.cnDatos_->State() == 1);
    }

    void listing_orderAndResultsLayout() {
        TestDatabase database;
        database.article("C3", "Tercero", 1, 1, 1);
        database.article("A1", "Primero", 1, 1, 1);
        database.article("B2", "Con entrada", 1, 1, 1);
        database.article("B1", QString(), 1, 1, 1);
        database.entry("B2", "2024-01-01", 10, 0);
        for (int i = 0; i < 40; ++i)
            database.article(QStringLiteral("D%1").arg(i, 2, 10, QLatin1Char('0')), "Otro", 1, 1, 1);
        frmPrecioCoste f;
        f.show();
        BoxAnswerer c;
        c.press("Aceptar");
        f.cmdActualizar->click();
        auto* l = f.lstNoActualizados;
        QCOMPARE(l->ListItemCount(), 43);
        QCOMPARE(l->ItemText(0), QStringLiteral("A1"));
        QCOMPARE(l->ItemText(0, 1), QStringLiteral("Primero"));
        QCOMPARE(l->ItemText(1), QStringLiteral("B1"));
        QCOMPARE(l->ItemText(1, 1), QString()); // a Null name gives an empty text
        QCOMPARE(l->ItemText(2), QStringLiteral("C3"));
        QCOMPARE(f.lblArticulos->text(), QStringLiteral("Total de artículos no actualizados ( sin entradas) 43"));
        QCOMPARE(c.boxes[0].text, kSummary.arg(44).arg(1));
        QCOMPARE(f.Height(), 6375.0);
        QCOMPARE(f.cmdSalir->y(), ui::toPixelsY(5040));
        QVERIFY(f.fraNoActualizados->isVisible());
        QCOMPARE(f.fraNoActualizados->pos(), QPoint(ui::toPixelsX(120), ui::toPixelsY(600)));
        QVERIFY(pricesOf(database, "A1").cost.toDouble() == 0.0 || pricesOf(database, "A1").cost.isNull());
        QCOMPARE(l->verticalScrollBar()->value(), 0); // the list shows its first rows
        // "Volver" returns to the compact layout with the run's totals and the button disabled.
        f.btnVolver->click();
        QCOMPARE(f.Height(), 3200.0);
        QVERIFY(!f.cmdActualizar->isEnabled() && f.cmdActualizar->isVisible());
        QCOMPARE(f.lblInfo->text(), QStringLiteral("Proceso finalizado. Total de articulo:44 Actualizados : 1"));
    }

    void emptyTable() {
        TestDatabase database;
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(f.barra->Max(), 1.0f);
        QCOMPARE(c.boxes[0].text, kSummary.arg(0).arg(0));
        QCOMPARE(f.lblInfo->text(), QStringLiteral("Proceso finalizado. Total de articulo:0 Actualizados : 0"));
        QCOMPARE(f.Height(), 3200.0);
        QCOMPARE(f.lstNoActualizados->ListItemCount(), 0);
    }

    void progressDuringPass() {
        TestDatabase database;
        for (int i = 0; i < 4; ++i)
            database.article(QStringLiteral("P%1").arg(i), "x", 0, 0, 0);
        frmPrecioCoste f;
        QStringList seen;
        BoxAnswerer c;
        c.then([&](QDialog* box) {
            seen << f.lblInfo->text();
            clickOn("Aceptar")(box);
        });
        connect(f.barra, &QProgressBar::valueChanged, this, [&] { seen << f.lblInfo->text(); });
        f.cmdActualizar->click();
        // After the last article the text shows 100 % of 4, before the summary replaces it.
        QCOMPARE(seen.last(), update::kProgressText + QStringLiteral("    100%"));
        QCOMPARE(f.barra->Value(), 4.0f);
    }

    void codesWithApostrophesAndInjection() {
        TestDatabase database;
        database.article("O'NEIL", "Apóstrofo", 0, 0, 0);
        database.entry("O'NEIL", "2024-01-01", 12, 0);
        database.article("X' OR '1'='1", "Inyección", 0, 0, 0);
        database.article("Z", "Otro", 0, 0, 0);
        database.entry("Z", "2024-06-01", 99, 0);
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.boxes.size(), std::size_t(1)); // no failure on the way
        QCOMPARE(pricesOf(database, "O'NEIL").cost.toDouble(), 12.0);
        // Its own (absent) entries: listed, not priced from another article's.
        QCOMPARE(pricesOf(database, "X' OR '1'='1").cost.toDouble(), 0.0);
        QCOMPARE(f.lstNoActualizados->ListItemCount(), 1);
        QCOMPARE(f.lstNoActualizados->ItemText(0), QStringLiteral("X' OR '1'='1"));
        QCOMPARE(pricesOf(database, "Z").cost.toDouble(), 99.0);
    }

    void hugeNumbers_overflowToTheDialog() {
        TestDatabase database;
        database.article("E1", "Enorme", 20, 0, 0); // first in order: m had nothing before
        database.entry("E1", "2024-01-01", 1e308, 0);
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Continuar").press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QCOMPARE(c.boxes[0].title, QStringLiteral("Informando errores "));
        QCOMPARE(c.boxes[0].text, QStringLiteral("Ocurrió un error:\r\nMódulo: frmPrecioCoste\r\nFunción: "
                                                 "cmdActualizar_click\r\nDescripción: Desbordamiento"));
        // Step 25 failed; "Continuar" went on with 26 with the margin amount it had (0).
        const Prices e1 = pricesOf(database, "E1");
        QCOMPARE(e1.cost.toDouble(), 1e308);
        QCOMPARE(e1.pvp1.toDouble(), 1e308);
        QCOMPARE(e1.pvp2.toDouble(), 1e308);
        QCOMPARE(c.boxes[1].text, kSummary.arg(1).arg(1));
    }

    void locked_releasedAndGoesOn() {
        TestDatabase database;
        database.article("A1", "Alfa", 0, 0, 0);
        database.entry("A1", "2024-01-01", 5, 0);
        Locker other(database.path);
        frmPrecioCoste f;
        BoxAnswerer c;
        c.then([&](QDialog* box) {
            other.release();
            clickOn("Aceptar")(box);
        });
        c.press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.boxes[0].title, QStringLiteral("..:: Z U K ::.."));
        QCOMPARE(c.boxes[0].text, QStringLiteral("LA BASE DE DATOS ESTÁ ABIERTA, CUANDO SE HAYA CERRADO PULSE 'OK'"));
        QCOMPARE(c.boxes[1].text, kSummary.arg(1).arg(1));
        QCOMPARE(pricesOf(database, "A1").cost.toDouble(), 5.0);
    }

    void locked_secondFailureToDialogAndLeave() {
        TestDatabase database;
        database.article("A1", "Alfa", 0, 0, 0);
        Locker other(database.path);
        frmPrecioCoste f;
        f.show();
        BoxAnswerer c;
        c.press("Aceptar").press("Salir");
        f.cmdActualizar->click();
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QCOMPARE(c.boxes[1].title, QStringLiteral("Informando errores "));
        QVERIFY(c.boxes[1].text.endsWith(QStringLiteral("el archivo ya está en uso.")));
        // "Salir" restores nothing: the window stays as the run left it.
        QVERIFY(!f.cmdSalir->isVisible() && !f.cmdActualizar->isVisible() && f.barra->isVisible());
    }

    void missingOrForeignDatabase() {
        {
            TestDatabase database(false);
            frmPrecioCoste f;
            BoxAnswerer c;
            c.press("Salir");
            f.cmdActualizar->click();
            QCOMPARE(c.boxes.size(), std::size_t(1));
            QVERIFY(c.boxes[0].text.contains(QStringLiteral("Descripción: No se pudo encontrar el archivo '")));
            QVERIFY(!QFile::exists(database.path));
        }
        {
            TestDatabase database(false);
            QFile foreign(database.path);
            QVERIFY(foreign.open(QIODevice::WriteOnly));
            foreign.write("\x00\x01\x00\x00Standard Jet DB", 19);
            foreign.close();
            frmPrecioCoste f;
            BoxAnswerer c;
            c.press("Salir");
            f.cmdActualizar->click();
            QVERIFY(c.boxes[0].text.contains(QStringLiteral("No se reconoce el formato de la base de datos")));
            QCOMPARE(QFileInfo(database.path).size(), 19);
        }
    }

    void readOnly_toldAndUntouched() {
        TestDatabase database;
        database.article("A1", "Alfa", 0, 0, 0);
        database.entry("A1", "2024-01-01", 5, 0);
        QFile(database.path).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Salir");
        f.cmdActualizar->click();
        QCOMPARE(c.boxes.size(), std::size_t(1));
        QVERIFY(c.boxes[0].text.endsWith(QStringLiteral("Base de datos u objeto de sólo lectura.")));
        QVERIFY(pricesOf(database, "A1").cost.isNull());
    }

    void lockDuringPass_reachesDialogAndLosesNothing() {
        // Another program takes the file while the first article is being finished: the move to
        // the next one fails and reaches the run's dialog; nothing is read as empty, nothing lost.
        TestDatabase database;
        database.article("A1", "Alfa", 0, 0, 0);
        database.entry("A1", "2024-01-01", 5, 0);
        database.article("A2", "Beta", 0, 0, 0);
        database.entry("A2", "2024-01-01", 7, 0);
        frmPrecioCoste f;
        std::unique_ptr<Locker> other;
        connect(f.barra, &QProgressBar::valueChanged, this, [&] {
            if (!other) other = std::make_unique<Locker>(database.path);
        });
        BoxAnswerer c;
        c.then([&](QDialog* box) { // the writes of article 1 cannot be saved before the dialog
             other->release();
             clickOn(QStringLiteral("Reintentar"))(box);
         })
            .press("Continuar")
            .press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.boxes.size(), std::size_t(3));
        QCOMPARE(c.boxes[1].title, QStringLiteral("Informando errores "));
        QVERIFY(c.boxes[1].text.endsWith(QStringLiteral("el archivo ya está en uso.")));
        QCOMPARE(c.boxes[2].text, kSummary.arg(2).arg(2));
        QCOMPARE(f.lstNoActualizados->ListItemCount(), 0);
        QCOMPARE(pricesOf(database, "A1").cost.toDouble(), 5.0);
        QCOMPARE(pricesOf(database, "A2").cost.toDouble(), 7.0);
    }

    void readerThatNeverLetsGo_toldBeforeSummary() {
        // A reader keeps its transaction open through the run: the prices cannot be saved. The
        // operator hears it before the summary, and what the summary counts is on disk.
        TestDatabase database;
        database.article("A1", "Alfa", 0, 0, 0);
        database.entry("A1", "2024-01-01", 5, 0);
        database.article("A2", "Beta", 0, 0, 0);
        database.entry("A2", "2024-01-01", 7, 0);
        Locker reader(database.path, Locker::Reader);
        frmPrecioCoste f;
        bool summaryOnDisk = false;
        BoxAnswerer c;
        c.then([&](QDialog* box) {
             reader.release();
             clickOn(QStringLiteral("Reintentar"))(box);
         }).then([&](QDialog* box) {
            summaryOnDisk =
                pricesOf(database, "A1").cost.toDouble() == 5.0 && pricesOf(database, "A2").cost.toDouble() == 7.0;
            clickOn(QStringLiteral("Aceptar"))(box);
        });
        f.cmdActualizar->click();
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QVERIFY(
            c.boxes[0].text.startsWith(QStringLiteral("No se pudieron guardar en la base de datos los cambios de 2 ")));
        QCOMPARE(c.boxes[1].text, kSummary.arg(2).arg(2));
        QVERIFY(summaryOnDisk);
    }

    void run_goesOnAfterAWindowStepFails_data() {
        QTest::addColumn<QString>("refused");
        QTest::addColumn<int>("dialogs");
        QTest::addColumn<QString>("stillDone"); // an operation of a later step
        QTest::newRow("hiding Salir (step 1)") << "cmdSalirVisible" << 1 << "cmdActualizarEnabled";
        QTest::newRow("clearing the list (3)") << "lstNoActualizadosClear" << 1 << "barraVisible";
        QTest::newRow("the bar's maximum (14)") << "barraMax" << 1 << "progreso";
        QTest::newRow("the progress (41)") << "progreso" << 1 << "lstNoActualizadosAdd";
        // Without its row, the name has nowhere to go: the next step fails too.
        QTest::newRow("listing an article (37)") << "lstNoActualizadosAdd" << 2 << "cmdActualizarVisible";
        QTest::newRow("the results layout (48)") << "Height" << 1 << "cmdActualizarVisible";
    }
    void run_goesOnAfterAWindowStepFails() {
        // "Continuar" after any of the window's steps fails: the run goes on with the next one,
        // and every article is still priced.
        QFETCH(QString, refused);
        QFETCH(int, dialogs);
        QFETCH(QString, stillDone);
        TestDatabase database;
        database.article("A1", "Alfa", 20, 0, 0);
        database.entry("A1", "2024-01-01", 100, 10);
        database.article("A2", "Beta", 0, 0, 0);
        ScriptedWindow w(refused);
        BoxAnswerer c;
        c.otherwise([](QDialog* box) {
            clickOn(captionsLeftToRight(box).contains(QStringLiteral("Continuar")) ? QStringLiteral("Continuar")
                                                                                   : QStringLiteral("Aceptar"))(box);
        });
        update::cmdActualizar_Click(w);
        QCOMPARE(c.boxes.size(), std::size_t(dialogs + 1));
        int told = 0;
        for (const auto& box : c.boxes)
            if (box.title == QLatin1String("Informando errores ")) {
                QVERIFY(box.text.contains(QStringLiteral("Función: cmdActualizar_click")));
                ++told;
            } else {
                QCOMPARE(box.text, kSummary.arg(2).arg(1));
            }
        QCOMPARE(told, dialogs);
        QVERIFY2(w.done.contains(stillDone), qPrintable(w.done.join(u' ')));
        QCOMPARE(pricesOf(database, "A1").pvp1.toDouble(), 108.0);
    }

    void refusedArticle_toldByItsCodeAndNotCounted() {
        // A rule of the shop's file refuses one article's new cost (a return: a negative price).
        // The others are written; the operator hears which one and why, and the summary does not
        // count it.
        TestDatabase database;
        database.sql(QStringLiteral("CREATE TRIGGER sinNegativos BEFORE UPDATE OF costesiniva ON tblArticulos "
                                    "WHEN NEW.costesiniva < 0 BEGIN SELECT RAISE(ABORT, 'coste negativo'); END;"));
        for (const auto& [code, pvp] : {std::pair{"A1", 5}, {"A2", -10}, {"A3", 7}}) {
            database.article(code, code, 0, 0, 0);
            database.entry(code, "2024-01-01", pvp, 0);
        }
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Aceptar").press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QCOMPARE(c.boxes[0].text, QStringLiteral("La base de datos rechazó el cambio de un registro, que no se "
                                                 "guardó:\r\nCODARTI 'A2': coste negativo"));
        QCOMPARE(c.boxes[1].text, kSummary.arg(3).arg(2));
        QCOMPARE(f.lblInfo->text(), QStringLiteral("Proceso finalizado. Total de articulo:3 Actualizados : 2"));
        QCOMPARE(pricesOf(database, "A1").cost.toDouble(), 5.0);
        QVERIFY(pricesOf(database, "A2").cost.isNull());
        QCOMPARE(pricesOf(database, "A3").cost.toDouble(), 7.0);
    }

    void codesCompareWithoutCase() {
        // Codes compare as the original engine compared them: "abc" finds its entries stored as
        // "ABC", and the list goes abc, alfa, Beta.
        TestDatabase database;
        for (const char* code : {"Beta", "ZETA", "alfa", "abc", "Ñu"})
            database.article(code, code, 0, 0, 0);
        database.entry("ABC", "2024-01-01", 3, 0);
        database.entry("zeta", "2024-01-01", 4, 0);
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Aceptar");
        f.cmdActualizar->click();
        QCOMPARE(pricesOf(database, "abc").cost.toDouble(), 3.0);
        QCOMPARE(pricesOf(database, "ZETA").cost.toDouble(), 4.0);
        QCOMPARE(f.lstNoActualizados->ListItemCount(), 3);
        QCOMPARE(f.lstNoActualizados->ItemText(0), QStringLiteral("alfa"));
        QCOMPARE(f.lstNoActualizados->ItemText(1), QStringLiteral("Beta"));
        QCOMPARE(f.lstNoActualizados->ItemText(2), QStringLiteral("Ñu"));
    }

    void windowClosedDuringPass() {
        // The run stops after the current article, keeps what it wrote, and the window closes.
        TestDatabase database;
        for (int i = 0; i < 5; ++i) {
            database.article(QStringLiteral("K%1").arg(i), "x", 0, 0, 0);
            database.entry(QStringLiteral("K%1").arg(i), "2024-01-01", 10 + i, 0);
        }
        frmPrecioCoste f;
        f.show();
        BoxAnswerer c;
        QTimer::singleShot(0, &f, [&] { f.close(); });
        f.cmdActualizar->click();
        QVERIFY(!f.isVisible());
        QCOMPARE(c.boxes.size(), std::size_t(0));
        QCOMPARE(pricesOf(database, "K0").cost.toDouble(), 10.0);
        QVERIFY(pricesOf(database, "K1").cost.isNull());
    }
};

QTEST_MAIN(TestCostUpdate)
#include "test_cost_update.moc"
