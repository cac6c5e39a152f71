// The message box stand-in: button sets in the platform's order, identifiers, Escape and close.
#include "Ayudantes.h"
#include "platform/ui/Form.h"
#include "errors/Protocolo.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QPushButton>
#include <QTest>

using namespace pruebas;

class TestCajaMensaje : public QObject {
    Q_OBJECT
private slots:
    void conjuntos_data() {
        QTest::addColumn<int>("botones");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QList<int>>("codigos");
        QTest::newRow("OK") << 0 << QStringList{"Aceptar"} << QList<int>{1};
        QTest::newRow("OK Cancel") << 1 << QStringList{"Aceptar", "Cancelar"} << QList<int>{1, 2};
        QTest::newRow("Abort Retry Ignore")
            << 2 << QStringList{"Anular", "Reintentar", "Omitir"} << QList<int>{3, 4, 5};
        QTest::newRow("Yes No Cancel") << 3 << QStringList{"Sí", "No", "Cancelar"} << QList<int>{6, 7, 2};
        QTest::newRow("Yes No") << 4 << QStringList{"Sí", "No"} << QList<int>{6, 7};
        QTest::newRow("Retry Cancel") << 5 << QStringList{"Reintentar", "Cancelar"} << QList<int>{4, 2};
    }
    void conjuntos() {
        QFETCH(int, botones);
        QFETCH(QStringList, captions);
        QFETCH(QList<int>, codigos);
        for (int i = 0; i < captions.size(); ++i) {
            Contestador c;
            c.pulsar(captions[i]);
            QCOMPARE(ui::MsgBox(QStringLiteral("texto"), botones, QStringLiteral("título")), codigos[i]);
            QCOMPARE(c.cajas[0].botones, captions);
            QCOMPARE(c.cajas[0].porDefecto, captions[0]);
            QCOMPARE(c.cajas[0].titulo, QStringLiteral("título"));
        }
    }

    void botonPorDefecto() {
        Contestador c;
        c.luego(tecla(Qt::Key_Return));
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbYesNoCancel | ui::vbDefaultButton2), int(ui::vbNo));
        QCOMPARE(c.cajas[0].porDefecto, QStringLiteral("No"));
        c.luego(tecla(Qt::Key_Return));
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbAbortRetryIgnore), int(ui::vbAbort));
    }

    void escapeYCierre() {
        // Escape and the close box answer Cancel where the set has one, and OK when OK is alone.
        Contestador c;
        c.luego(tecla(Qt::Key_Escape));
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbYesNoCancel), int(ui::vbCancel));
        c.luego(cerrarVentana());
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbOKOnly), int(ui::vbOK));
        // Elsewhere they do nothing: the box stays until a button is pressed.
        bool seguia = false;
        c.luego([&](QDialog* caja) {
            QTest::keyClick(caja, Qt::Key_Escape);
            caja->close();
            QApplication::processEvents();
            seguia = caja->isVisible();
            clicEn(QStringLiteral("Omitir"))(caja);
        });
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbAbortRetryIgnore), int(ui::vbIgnore));
        QVERIFY(seguia);
        c.luego([&](QDialog* caja) {
            QTest::keyClick(caja, Qt::Key_Escape);
            seguia = caja->isVisible();
            clicEn(QStringLiteral("No"))(caja);
        });
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbYesNo), int(ui::vbNo));
        QVERIFY(seguia);
    }

    void identificadoresYTexto() {
        Contestador c;
        QList<int> ids;
        c.luego([&](QDialog* caja) {
            for (auto* b : caja->findChildren<QPushButton*>())
                ids << b->property("ctrlId").toInt();
            clicEn(QStringLiteral("Aceptar"))(caja);
        });
        ui::MsgBox(QStringLiteral("línea 1\r\nlínea 2"), ui::vbOKCancel);
        QCOMPARE(ids, (QList<int>{1, 2}));
        QCOMPARE(c.cajas[0].texto, QStringLiteral("línea 1\r\nlínea 2"));
        QCOMPARE(c.cajas[0].titulo, QStringLiteral("ZUK")); // no title: the application's
    }

    void teclado_returnPulsaElBotonConFoco_data() {
        QTest::addColumn<int>("botones");
        QTest::addColumn<QList<int>>("teclas");
        QTest::addColumn<int>("codigo");
        QTest::newRow("sin moverse") << int(ui::vbAbortRetryIgnore) << QList<int>{} << int(ui::vbAbort);
        QTest::newRow("Tab") << int(ui::vbAbortRetryIgnore) << QList<int>{Qt::Key_Tab} << int(ui::vbRetry);
        QTest::newRow("Tab Tab") << int(ui::vbAbortRetryIgnore) << QList<int>{Qt::Key_Tab, Qt::Key_Tab}
                                 << int(ui::vbIgnore);
        QTest::newRow("Mayús+Tab") << int(ui::vbAbortRetryIgnore) << QList<int>{Qt::Key_Backtab} << int(ui::vbIgnore);
        QTest::newRow("Sí No, Tab") << int(ui::vbYesNo) << QList<int>{Qt::Key_Tab} << int(ui::vbNo);
    }
    void teclado_returnPulsaElBotonConFoco() {
        // As on the platform, the focused button is the default one.
        QFETCH(int, botones);
        QFETCH(QList<int>, teclas);
        QFETCH(int, codigo);
        Contestador c;
        c.luego([&](QDialog* caja) {
            for (int t : teclas)
                QTest::keyClick(caja->focusWidget(), static_cast<Qt::Key>(t));
            QTest::keyClick(caja->focusWidget(), Qt::Key_Return);
        });
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), botones), codigo);
    }

    void textoLargo_losBotonesQuedanEnPantalla_data() {
        QTest::addColumn<QString>("texto");
        QString frase;
        while (frase.size() < 400)
            frase += QStringLiteral("No se pudo usar el archivo porque otro programa lo tiene abierto. ");
        QTest::newRow("400 caracteres") << frase;
        QTest::newRow("ruta sin blancos") << QStringLiteral("/srv/tienda/") + QString(600, QLatin1Char('x'));
        QStringList lineas;
        for (int i = 0; i < 400; ++i)
            lineas << QStringLiteral("línea %1").arg(i);
        QTest::newRow("400 líneas") << lineas.join(QStringLiteral("\r\n"));
    }
    void textoLargo_losBotonesQuedanEnPantalla() {
        QFETCH(QString, texto);
        const QRect pantalla = QGuiApplication::primaryScreen()->availableGeometry();
        QStringList fuera;
        Contestador c;
        c.luego([&](QDialog* caja) {
            if (!pantalla.contains(caja->frameGeometry())) fuera << QStringLiteral("la caja");
            for (auto* b : caja->findChildren<QPushButton*>())
                if (!pantalla.contains(QRect(b->mapToGlobal(QPoint()), b->size()))) fuera << b->text();
            clicEn(QStringLiteral("Enviar Vesk"))(caja);
        });
        QCOMPARE(errores::InformarError(QStringLiteral("m"), QStringLiteral("p"), texto), int16_t(3));
        QVERIFY2(fuera.isEmpty(), qPrintable(fuera.join(QStringLiteral(", ")) + QStringLiteral(" fuera de la pantalla")));
        QCOMPARE(c.cajas[0].texto, errores::mensajeInformarError(QStringLiteral("m"), QStringLiteral("p"), texto));
    }

    void vuelveLaVentanaActiva() {
        ui::Form ventana;
        ventana.show();
        ventana.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&ventana));
        Contestador c;
        c.pulsar("Aceptar");
        ui::MsgBox(QStringLiteral("x"));
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(&ventana));
    }
};

QTEST_MAIN(TestCajaMensaje)
#include "test_caja_mensaje.moc"
