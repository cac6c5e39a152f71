// Centring a window, and the progress window that centres itself when it loads.
#include "Ayudantes.h"
#include "forms/progress/frmProgreso.h"
#include "platform/ui/Form.h"
#include "platform/ui/Twips.h"
#include "platform/winapi/User32.h"
#include "util/basForm.h"

#include <QLabel>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <limits>

using namespace pruebas;

namespace {
// A window of the given outer size at the given outer position, all in twips.
void situar(ui::Form& f, double left, double top, double width, double height) {
    f.setWidth(width);
    f.setHeight(height);
    f.Move(left, top);
}
} // namespace

class TestCentrarProgreso : public QObject {
    Q_OBJECT
private slots:
    void centrar_sobreVentana() {
        ui::Form ref, f;
        situar(ref, 1000, 600, 6000, 4000);
        situar(f, 0, 0, 3000, 1500);
        basForm::CentrarFrm(&f, &ref);
        QCOMPARE(f.Left(), 2500.0);
        QCOMPARE(f.Top(), 1850.0);
        QCOMPARE(f.Width(), 3000.0); // only moved
        QCOMPARE(f.Height(), 1500.0);

        // An MDI parent both as the window and as the reference.
        ui::MDIForm marco, hijo;
        situar(marco, 1000, 600, 6000, 4000);
        situar(hijo, 0, 0, 3000, 1500);
        basForm::CentrarFrm(&hijo, &marco);
        QCOMPARE(hijo.Left(), 2500.0);
        QCOMPARE(hijo.Top(), 1850.0);
    }

    void centrar_enPantalla() {
        QVERIFY(ui::Screen::Width() > 0);
        ui::Form a, b;
        situar(a, 7, 7, 3000, 1500);
        situar(b, 7, 7, 3000, 1500);
        basForm::CentrarFrm(&a);               // reference left out
        basForm::CentrarFrm(&b, ui::Screen{}); // the screen object
        const double left = (ui::Screen::Width() - 3000) / 2, top = (ui::Screen::Height() - 1500) / 2;
        QCOMPARE(a.Left(), left);
        QCOMPARE(a.Top(), top);
        QCOMPARE(b.Left(), left);
        QCOMPARE(b.Top(), top);
        if (ui::Screen::Width() == 19200 && ui::Screen::Height() == 14400) { // the screen of pantalla.json
            QCOMPARE(a.Left(), 8100.0);
            QCOMPARE(a.Top(), 6450.0);
        }
    }

    void centrar_medioTwipYVentanaMayor() {
        ui::Form ref, f;
        situar(ref, 0, 0, 9601, 4001);
        situar(f, 0, 0, 3000, 1500);
        basForm::CentrarFrm(&f, &ref);
        QCOMPARE(f.Left(), 3300.5);
        QCOMPARE(f.Top(), 1250.5);
        f.show(); // placed on a whole pixel, still reporting the half twip
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QCOMPARE(f.Left(), 3300.5);

        // Larger than its reference: partly outside it.
        ui::Form grande;
        situar(grande, 0, 0, 12000, 6000);
        situar(ref, 1000, 1000, 6000, 4000);
        basForm::CentrarFrm(&grande, &ref);
        QCOMPARE(grande.Left(), -2000.0);
        QCOMPARE(grande.Top(), 0.0);
    }

    void centrar_argumentosQueNoSonVentanas() {
        Contestador c; // no dialog may open
        ui::Form f, ref;
        situar(f, 123, 456, 3000, 1500);
        situar(ref, 0, 0, 6000, 4000);
        QLabel control;
        QObject objeto;
        const std::vector<basForm::Referencia> refs{rt::FieldValue(5.0),
                                                    rt::FieldValue(QStringLiteral("Screen")),
                                                    rt::FieldValue(),
                                                    static_cast<QObject*>(&control),
                                                    static_cast<QObject*>(nullptr),
                                                    &objeto};
        for (const auto& r : refs)
            basForm::CentrarFrm(&f, r);
        QCOMPARE(f.Left(), 123.0);
        QCOMPARE(f.Top(), 456.0);

        // A first argument that is not a window does nothing, whatever the reference.
        basForm::CentrarFrm(&control, &ref);
        basForm::CentrarFrm(nullptr);
        basForm::CentrarFrm(&objeto, ui::Screen{});
        QCOMPARE(c.cajas.size(), size_t(0));
    }

    void centrar_referenciaMasAllaDe32767() {
        ui::Form ref, f;
        situar(ref, 40000, 600, 6000, 4000);
        situar(f, 11, 22, 3000, 1500);
        {
            // "Continuar": the left offset keeps 0, the top offset is still read.
            Contestador c;
            c.pulsar("Continuar");
            basForm::CentrarFrm(&f, &ref);
            QCOMPARE(c.cajas.size(), size_t(1));
            QVERIFY(c.cajas[0].texto.contains(QStringLiteral("Módulo: basForm\r\nFunción: CentrarFrm\r\n")));
            QVERIFY(c.cajas[0].texto.endsWith(QStringLiteral("Descripción: Desbordamiento")));
            QCOMPARE(f.Left(), 1500.0);
            QCOMPARE(f.Top(), 1850.0);
        }
        {
            // "Salir": the window stays where it was.
            Contestador c;
            c.pulsar("Salir");
            situar(f, 11, 22, 3000, 1500);
            situar(ref, 0, -40000.5, 6000, 4000); // the top limit fails the same way
            basForm::CentrarFrm(&f, &ref);
            QCOMPARE(c.cajas.size(), size_t(1));
            QCOMPARE(f.Left(), 11.0);
            QCOMPARE(f.Top(), 22.0);
        }
        // Halves round to even: 32767.5 would overflow, -32768.5 rounds to -32768.
        Contestador c;
        situar(ref, -32768.5, 0, 6000, 4000);
        basForm::CentrarFrm(&f, &ref);
        QCOMPARE(c.cajas.size(), size_t(0));
        QCOMPARE(f.Left(), 1500.0 - 32768);
    }

    void progreso_ventana() {
        frmProgreso p;
        QCOMPARE(p.Caption(), QStringLiteral("Espere por favor, realizando tareas necesarias...."));
        p.Show();
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        QCOMPARE(p.width(), ui::aPixelesX(10170));
        QCOMPARE(p.height(), ui::aPixelesY(1185));
        QCOMPARE(p.barra->Min(), 0.0f);
        QCOMPARE(p.barra->Max(), 100.0f);
        QCOMPARE(p.barra->Value(), 0.0f);
        QVERIFY(!p.parar);
        // Centred on the screen when it loads.
        QCOMPARE(p.Left(), (ui::Screen::Width() - p.Width()) / 2);
        QCOMPARE(p.Top(), (ui::Screen::Height() - p.Height()) / 2);

        QTest::mouseClick(p.barra, Qt::LeftButton);
        QVERIFY(p.parar);
        QTest::mouseClick(p.barra, Qt::LeftButton);
        QVERIFY(p.parar);
        p.Show(); // already loaded: nothing runs again
        QVERIFY(p.parar);
    }

    void progreso_cerrarDescargaYLaSiguienteVezCarga() {
        frmProgreso p;
        p.intervalo = 9;
        p.Show();
        QTest::mouseClick(p.barra, Qt::LeftButton);
        bool donde = true;
        QString texto = QStringLiteral("T");
        p.progreso(1, 2, donde, texto);
        donde = false;
        p.progreso(1, 2, donde, texto);
        p.barra->setValue(2.0f);
        QVERIFY(p.parar);
        p.close();
        QVERIFY(!p.isVisible());
        QCOMPARE(p.Caption(), frmProgreso::kTitulo); // the controls are back as designed
        QCOMPARE(p.lblInfo->text(), QString());
        QCOMPARE(p.barra->Max(), 100.0f);
        p.Show(); // loaded afresh: the fields keep their values, the load runs again
        QVERIFY(!p.parar);
        QCOMPARE(p.intervalo, 9);
        QCOMPARE(p.barra->Value(), 9.0f);
        QCOMPARE(p.barra->Max(), 10.0f);
    }

    void progreso_centradoConElMarcoDelGestorDeVentanas() {
        // Under a window manager the frame is drawn only once the window is shown; centring uses
        // the frame it will have. (The smoke test runs this under openbox.)
        frmProgreso p;
        p.Show();
        QVERIFY(QTest::qWaitForWindowExposed(&p));
        const QRect pantalla = p.screen()->geometry();
        auto descentrado = [&] {
            const QRect m = p.frameGeometry();
            return std::max(std::abs((m.left() - pantalla.left()) - (pantalla.right() - m.right())),
                            std::abs((m.top() - pantalla.top()) - (pantalla.bottom() - m.bottom())));
        };
        QTRY_VERIFY_WITH_TIMEOUT(p.frameGeometry() != p.geometry() || QGuiApplication::platformName() != "xcb", 2000);
        QVERIFY2(descentrado() <= 1, qPrintable(QStringLiteral("%1 px off, frame %2,%3 %4x%5")
                                                    .arg(descentrado())
                                                    .arg(p.frameGeometry().x())
                                                    .arg(p.frameGeometry().y())
                                                    .arg(p.frameGeometry().width())
                                                    .arg(p.frameGeometry().height())));
    }

    void progreso_intervalo() {
        frmProgreso nueve;
        nueve.intervalo = 9;
        nueve.Load();
        QCOMPARE(nueve.barra->Min(), 0.0f);
        QCOMPARE(nueve.barra->Max(), 10.0f);
        QCOMPARE(nueve.barra->Value(), 9.0f);

        // A negative interval: the bar refuses the maximum, the dialog opens, the loop never runs.
        for (const int32_t intervalo : {-1, -7}) {
            Contestador c;
            c.pulsar("Continuar");
            frmProgreso p;
            p.intervalo = intervalo;
            p.barra->setValue(42.0f);
            p.Load();
            QCOMPARE(c.cajas.size(), size_t(1));
            QVERIFY(c.cajas[0].texto.contains(QStringLiteral("Módulo: frmProgreso\r\nFunción: Form_Load\r\n")));
            QCOMPARE(p.barra->Max(), 100.0f);
            QCOMPARE(p.barra->Value(), 0.0f); // step 5 ran, step 7 did not
            QCOMPARE(c.sinRespuesta, 0);
        }
    }

    void progreso_textos() {
        frmProgreso p;
        p.Show();
        bool donde = false;
        QString texto = QStringLiteral("Leyendo artículos");
        p.progreso(50, 200, donde, texto);
        QCOMPARE(p.lblInfo->text(), QStringLiteral("Leyendo artículos    25%"));
        QCOMPARE(p.Caption(), frmProgreso::kTitulo);
        const int centro = ui::aPixelesX(4800 + 585 / 2.0); // where it was created
        QVERIFY(qAbs(p.lblInfo->x() + p.lblInfo->width() / 2 - centro) <= 1);
        QVERIFY(p.lblInfo->width() > ui::aPixelesX(585));

        donde = true;
        p.progreso(50, 200, donde, texto);
        QCOMPARE(p.Caption(), QStringLiteral("Leyendo artículos    25%"));
        QCOMPARE(p.lblInfo->text(), QStringLiteral("Leyendo artículos    25%"));
        QVERIFY(donde);
        QCOMPARE(texto, QStringLiteral("Leyendo artículos"));

        // max 0: the percentage fails, "Continuar" writes the text with an empty number.
        Contestador c;
        c.pulsar("Continuar");
        donde = false;
        p.progreso(5, 0, donde, texto);
        QCOMPARE(c.cajas.size(), size_t(1));
        QVERIFY(c.cajas[0].texto.contains(QStringLiteral("Módulo: frmProgreso\r\nFunción: progreso\r\n")));
        QCOMPARE(p.lblInfo->text(), QStringLiteral("Leyendo artículos    %"));
    }
};

QTEST_MAIN(TestCentrarProgreso)
#include "test_centrar_progreso.moc"
