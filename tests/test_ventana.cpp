// The main window: its layouts, its progress text, "Volver", "&Salir" and the column-header box.
#include "Ayudantes.h"
#include "forms/main/frmPrecioCoste.h"
#include "platform/ui/Twips.h"

#include <QApplication>
#include <QHeaderView>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>

using namespace pruebas;

namespace {
const QString T = QStringLiteral("Espere por favor, realizando tareas necesarias....");
int px(double twips) { return ui::aPixelesY(twips); }
} // namespace

class TestVentana : public QObject {
    Q_OBJECT
private slots:
    void alEmpezar_disposicionCompacta() {
        frmPrecioCoste f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.Caption(), QStringLiteral("TALVERA.    Precios-Costes"));
        QCOMPARE(f.Height(), 3200.0);
        QCOMPARE(f.width(), 634); // client area 9510 twips
        QCOMPARE(f.cmdSalir->y(), px(1900));
        QVERIFY(!f.fraNoActualizados->isVisible() && !f.barra->isVisible());
        QVERIFY(f.cmdActualizar->isVisible() && f.cmdActualizar->isEnabled() && f.cmdSalir->isVisible());
        QCOMPARE(f.lblInfo->text(), QStringLiteral(" Proceso de actualización no iniciado"));
        QCOMPARE(f.lblArticulos->text(), QString());
        QCOMPARE(f.cmdActualizar->text(), QStringLiteral("&ACTUALIZAR"));
        QCOMPARE(f.lstNoActualizados->numeroColumnas(), 2);
        QCOMPARE(f.lstNoActualizados->columna(0).Text, QStringLiteral("Código"));
        QCOMPARE(f.lstNoActualizados->columna(0).Width, 2900.0f);
        QCOMPARE(f.lstNoActualizados->columna(1).Text, QStringLiteral("Nombre"));
        QCOMPARE(f.lstNoActualizados->columna(1).Width, 5600.0f);
        QCOMPARE(f.lstNoActualizados->Count(), 0);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.cmdActualizar));
        // Tab order: the update button, the exit; labels, panel and bar take no focus.
        QCOMPARE(f.cmdActualizar->nextInFocusChain(), static_cast<QWidget*>(f.cmdSalir));
        QCOMPARE(f.barra->focusPolicy(), Qt::NoFocus);
        QCOMPARE(f.lblInfo->focusPolicy(), Qt::NoFocus);
    }

    void progreso_textos_data() {
        QTest::addColumn<int>("valor");
        QTest::addColumn<int>("maximo");
        QTest::addColumn<QString>("final");
        QTest::newRow("0.1 %") << 1 << 1000 << QStringLiteral("    %");
        QTest::newRow("99.9 %") << 999 << 1000 << QStringLiteral("    100%");
        QTest::newRow("1 de 3") << 1 << 3 << QStringLiteral("    33%");
        QTest::newRow("2 de 3") << 2 << 3 << QStringLiteral("    67%");
        QTest::newRow("3 de 3") << 3 << 3 << QStringLiteral("    100%");
    }
    void progreso_textos() {
        QFETCH(int, valor);
        QFETCH(int, maximo);
        QFETCH(QString, final);
        frmPrecioCoste f;
        bool donde = false;
        QString texto = T;
        f.progreso(valor, maximo, donde, texto);
        QCOMPARE(f.lblInfo->text(), T + final);
        QCOMPARE(f.Caption(), QStringLiteral("TALVERA.    Precios-Costes"));
    }

    void progreso_enElTitulo() {
        frmPrecioCoste f;
        bool donde = true;
        QString texto = QStringLiteral("Título");
        f.progreso(1, 2, donde, texto);
        QCOMPARE(f.Caption(), QStringLiteral("Título    50%"));
        QCOMPARE(f.lblInfo->text(), QStringLiteral(" Proceso de actualización no iniciado"));
        QVERIFY(donde);
    }

    void progreso_fallosDelCalculo() {
        frmPrecioCoste f;
        Contestador c;
        c.pulsar("Continuar").pulsar("Salir");
        bool donde = false;
        QString texto = QStringLiteral("X");
        f.progreso(5, 0, donde, texto); // max 0: the dialog, then the text with no digits
        QCOMPARE(f.lblInfo->text(), QStringLiteral("X    %"));
        QVERIFY(c.cajas[0].texto.contains(QStringLiteral("Módulo: frmPrecioCoste\r\nFunción: progreso\r\n")));
        QVERIFY(c.cajas[0].texto.endsWith(QStringLiteral("División por cero")));
        f.progreso(30000000, 10, donde, texto); // value × 100 overflows 32 bits; "Salir" leaves
        QVERIFY(c.cajas[1].texto.endsWith(QStringLiteral("Desbordamiento")));
        QCOMPARE(f.lblInfo->text(), QStringLiteral("X    %"));
    }

    void cabecera_muestraTextoYAncho() {
        frmPrecioCoste f;
        f.show();
        Contestador c;
        c.pulsar("Aceptar").pulsar("Aceptar");
        f.lstNoActualizados->header()->sectionClicked(0);
        f.lstNoActualizados->header()->resizeSection(1, 400);
        f.lstNoActualizados->header()->sectionClicked(1);
        QCOMPARE(c.cajas.size(), std::size_t(2));
        QCOMPARE(c.cajas[0].titulo, QStringLiteral("ZUK"));
        QCOMPARE(c.cajas[0].texto, QStringLiteral("Código__2900"));
        QCOMPARE(c.cajas[0].botones, QStringList{QStringLiteral("Aceptar")});
        QCOMPARE(c.cajas[1].texto, QStringLiteral("Nombre__6000"));
        QCOMPARE(f.lstNoActualizados->Count(), 0);
    }

    void barra_sePintaMientrasCambiaElTexto() {
        // The status line overlaps the bar's top edge; its repaints at every new percentage must
        // not keep the bar from painting its own progress.
        frmPrecioCoste f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.cmdActualizarVisible(false);
        f.barraVisible(true);
        f.barraMax(1001);
        int pintadas = 0;
        struct Contador : QObject {
            int& n;
            explicit Contador(int& n) : n(n) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint && static_cast<QPaintEvent*>(e)->rect().height() > 2) ++n;
                return false;
            }
        } contador(pintadas);
        f.barra->installEventFilter(&contador);
        for (int i = 1; i <= 1000; ++i) {
            f.barraValue(static_cast<float>(i));
            bool donde = false;
            QString texto = T;
            f.progreso(i, 1000, donde, texto);
            QApplication::processEvents();
        }
        QVERIFY2(pintadas >= 100, qPrintable(QString::number(pintadas)));
    }

    void volver_yPanelDelante() {
        frmPrecioCoste f;
        f.show();
        // The results layout as a run leaves it.
        f.Height(6375);
        f.cmdSalirTop(5040);
        f.fraNoActualizadosVisible(true);
        f.fraNoActualizadosTop(600);
        f.fraNoActualizadosLeft(120);
        QCOMPARE(f.Height(), 6375.0);
        // The panel covers "&Salir": what is under the exit button's middle is the panel's.
        const QPoint centro = f.cmdSalir->geometry().center();
        QWidget* arriba = f.childAt(centro);
        QVERIFY(arriba == f.fraNoActualizados || f.fraNoActualizados->isAncestorOf(arriba));
        f.cmdActualizarEnabled(false);
        f.lblInfoCaption(QStringLiteral("fin"));
        f.btnVolver->click();
        QCOMPARE(f.Height(), 3200.0);
        QCOMPARE(f.cmdSalir->y(), px(1900));
        QVERIFY(!f.fraNoActualizados->isVisible());
        QCOMPARE(f.lblInfo->text(), QStringLiteral("fin"));
        QVERIFY(!f.cmdActualizar->isEnabled());
    }

    void teclado_returnPulsaElBotonConFoco() {
        frmPrecioCoste f;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QSignalSpy actualizar(f.cmdActualizar, &QPushButton::clicked);
        Contestador c;
        c.pulsar("Salir"); // no database here: the run stops at its dialog
        QTest::keyClick(f.cmdActualizar, Qt::Key_Return);
        QCOMPARE(actualizar.count(), 1);
        f.cmdSalir->show();
        f.cmdSalir->setFocus();
        QTest::keyClick(f.cmdSalir, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!f.isVisible());
    }

    void cabeceras_noSeArrastran() {
        frmPrecioCoste f;
        f.show();
        f.fraNoActualizadosVisible(true);
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto* h = f.lstNoActualizados->header();
        const int y = h->height() / 2;
        const QPoint desde(h->sectionViewportPosition(0) + 20, y), hasta(h->sectionViewportPosition(1) + 80, y);
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, desde);
        for (int x = desde.x(); x <= hasta.x(); x += 10)
            QTest::mouseMove(h->viewport(), QPoint(x, y));
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, hasta);
        QCOMPARE(h->logicalIndex(0), 0);
        QCOMPARE(h->logicalIndex(1), 1);
    }

    void salir_cierraSinPreguntar() {
        frmPrecioCoste f;
        f.show();
        Contestador c;
        f.cmdSalir->click();
        QVERIFY(!f.isVisible());
        QCOMPARE(c.cajas.size(), std::size_t(0));
    }
};

QTEST_MAIN(TestVentana)
#include "test_ventana.moc"
