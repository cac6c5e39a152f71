// The message box stand-in: button sets in the platform's order, identifiers, Escape and close.
#include "BoxAnswerer.h"
#include "errors/Protocol.h"
#include "platform/ui/Form.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

using namespace testing;

class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void buttonSets_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QList<int>>("codes");
        QTest::newRow("OK") << 0 << QStringList{"Aceptar"} << QList<int>{1};
        QTest::newRow("OK Cancel") << 1 << QStringList{"Aceptar", "Cancelar"} << QList<int>{1, 2};
        QTest::newRow("Abort Retry Ignore")
            << 2 << QStringList{"Anular", "Reintentar", "Omitir"} << QList<int>{3, 4, 5};
        QTest::newRow("Yes No Cancel") << 3 << QStringList{"Sí", "No", "Cancelar"} << QList<int>{6, 7, 2};
        QTest::newRow("Yes No") << 4 << QStringList{"Sí", "No"} << QList<int>{6, 7};
        QTest::newRow("Retry Cancel") << 5 << QStringList{"Reintentar", "Cancelar"} << QList<int>{4, 2};
    }
    void buttonSets() {
        QFETCH(int, buttons);
        QFETCH(QStringList, captions);
        QFETCH(QList<int>, codes);
        for (int i = 0; i < captions.size(); ++i) {
            BoxAnswerer c;
            c.press(captions[i]);
            QCOMPARE(ui::MsgBox(QStringLiteral("texto"), buttons, QStringLiteral("título")), codes[i]);
            QCOMPARE(c.boxes[0].buttons, captions);
            QCOMPARE(c.boxes[0].defaultButton, captions[0]);
            QCOMPARE(c.boxes[0].title, QStringLiteral("título"));
        }
    }

    void defaultButton() {
        BoxAnswerer c;
        c.then(pressKey(Qt::Key_Return));
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbYesNoCancel | ui::vbDefaultButton2), int(ui::vbNo));
        QCOMPARE(c.boxes[0].defaultButton, QStringLiteral("No"));
        c.then(pressKey(Qt::Key_Return));
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbAbortRetryIgnore), int(ui::vbAbort));
    }

    void escapeAndClose() {
        // Escape and the close box answer Cancel where the set has one, and OK when OK is alone.
        BoxAnswerer c;
        c.then(pressKey(Qt::Key_Escape));
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbYesNoCancel), int(ui::vbCancel));
        c.then(closeWindow());
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbOKOnly), int(ui::vbOK));
        // Elsewhere they do nothing: the box stays until a button is pressed.
        bool stillOpen = false;
        c.then(tryToEscape(stillOpen, clickOn(QStringLiteral("Omitir"))));
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbAbortRetryIgnore), int(ui::vbIgnore));
        QVERIFY(stillOpen);
        c.then([&](QDialog* box) {
            QTest::keyClick(box, Qt::Key_Escape);
            stillOpen = box->isVisible();
            clickOn(QStringLiteral("No"))(box);
        });
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), ui::vbYesNo), int(ui::vbNo));
        QVERIFY(stillOpen);
    }

    void identifiersAndText() {
        BoxAnswerer c;
        QList<int> ids;
        c.then([&](QDialog* box) {
            for (auto* b : box->findChildren<QPushButton*>())
                ids << b->property("ctrlId").toInt();
            clickOn(QStringLiteral("Aceptar"))(box);
        });
        ui::MsgBox(QStringLiteral("línea 1\r\nlínea 2"), ui::vbOKCancel);
        QCOMPARE(ids, (QList<int>{1, 2}));
        QCOMPARE(c.boxes[0].text, QStringLiteral("línea 1\r\nlínea 2"));
        QCOMPARE(c.boxes[0].title, QStringLiteral("ZUK")); // no title: the application's
    }

    void keyboard_returnPressesFocusedButton_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("code");
        QTest::newRow("sin moverse") << int(ui::vbAbortRetryIgnore) << QList<int>{} << int(ui::vbAbort);
        QTest::newRow("Tab") << int(ui::vbAbortRetryIgnore) << QList<int>{Qt::Key_Tab} << int(ui::vbRetry);
        QTest::newRow("Tab Tab") << int(ui::vbAbortRetryIgnore) << QList<int>{Qt::Key_Tab, Qt::Key_Tab}
                                 << int(ui::vbIgnore);
        QTest::newRow("Mayús+Tab") << int(ui::vbAbortRetryIgnore) << QList<int>{Qt::Key_Backtab} << int(ui::vbIgnore);
        QTest::newRow("Sí No, Tab") << int(ui::vbYesNo) << QList<int>{Qt::Key_Tab} << int(ui::vbNo);
    }
    void keyboard_returnPressesFocusedButton() {
        // As on the platform, the focused button is the default one.
        QFETCH(int, buttons);
        QFETCH(QList<int>, keys);
        QFETCH(int, code);
        BoxAnswerer c;
        c.then([&](QDialog* box) {
            for (int t : keys)
                QTest::keyClick(box->focusWidget(), static_cast<Qt::Key>(t));
            QTest::keyClick(box->focusWidget(), Qt::Key_Return);
        });
        QCOMPARE(ui::MsgBox(QStringLiteral("x"), buttons), code);
    }

    void longText_buttonsStayOnScreen_data() {
        QTest::addColumn<QString>("text");
        QString sentence;
        while (sentence.size() < 400)
            sentence += QStringLiteral("No se pudo usar el archivo porque otro programa lo tiene abierto. ");
        QTest::newRow("400 caracteres") << sentence;
        QTest::newRow("ruta sin blancos") << QStringLiteral("/srv/tienda/") + QString(600, QLatin1Char('x'));
        QStringList lines;
        for (int i = 0; i < 400; ++i)
            lines << QStringLiteral("línea %1").arg(i);
        QTest::newRow("400 líneas") << lines.join(QStringLiteral("\r\n"));
    }
    void longText_buttonsStayOnScreen() {
        QFETCH(QString, text);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QStringList outside;
        BoxAnswerer c;
        c.then([&](QDialog* box) {
            if (!screen.contains(box->frameGeometry())) outside << QStringLiteral("la caja");
            for (auto* b : box->findChildren<QPushButton*>())
                if (!screen.contains(QRect(b->mapToGlobal(QPoint()), b->size()))) outside << b->text();
            clickOn(QStringLiteral("Enviar Vesk"))(box);
        });
        QCOMPARE(errors::InformarError(QStringLiteral("m"), QStringLiteral("p"), text), int16_t(3));
        QVERIFY2(outside.isEmpty(),
                 qPrintable(outside.join(QStringLiteral(", ")) + QStringLiteral(" fuera de la pantalla")));
        QCOMPARE(c.boxes[0].text, errors::dialogMessage(QStringLiteral("m"), QStringLiteral("p"), text));
    }

    void activeWindowComesBack() {
        ui::Form window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        BoxAnswerer c;
        c.press("Aceptar");
        ui::MsgBox(QStringLiteral("x"));
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(&window));
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_message_box.moc"
