// The message box stand-in: button sets in the platform's order, identifiers, Escape and close.
#include "Ayudantes.h"
#include "platform/ui/Form.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
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
