// The main window: its layouts, its progress text, "Volver", "&Salir" and the column-header box.
#include "BoxAnswerer.h"
#include "forms/errorpreview/frmPrevioErrHandler.h"
#include "forms/main/frmPrecioCoste.h"
#include "forms/progress/frmProgreso.h"
#include "platform/ui/Twips.h"

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPaintEvent>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <cmath>

using namespace testing;
using forms::frmPrecioCoste;
using forms::frmProgreso;

namespace {
const QString T = QStringLiteral("Espere por favor, realizando tareas necesarias....");
int px(double twips) { return ui::toPixelsY(twips); }
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void atStart_compactLayout() {
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
        QCOMPARE(f.lstNoActualizados->ColumnHeaderCount(), 2);
        QCOMPARE(f.lstNoActualizados->ColumnHeaders(0).Text, QStringLiteral("Código"));
        QCOMPARE(f.lstNoActualizados->ColumnHeaders(0).Width, 2900.0f);
        QCOMPARE(f.lstNoActualizados->ColumnHeaders(1).Text, QStringLiteral("Nombre"));
        QCOMPARE(f.lstNoActualizados->ColumnHeaders(1).Width, 5600.0f);
        QCOMPARE(f.lstNoActualizados->ListItemCount(), 0);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.cmdActualizar));
        // Tab order: the update button, the exit; labels, panel and bar take no focus.
        QCOMPARE(f.cmdActualizar->nextInFocusChain(), static_cast<QWidget*>(f.cmdSalir));
        QCOMPARE(f.barra->focusPolicy(), Qt::NoFocus);
        QCOMPARE(f.lblInfo->focusPolicy(), Qt::NoFocus);
        // The icon is the menu entry's drawing, built into the program: the tag's blue at its heart.
        const QImage icon = f.windowIcon().pixmap(64, 64).toImage();
        QCOMPARE(icon.size(), QSize(64, 64));
        QCOMPARE(icon.pixelColor(30, 24), QColor(128, 128, 255));
    }

    void progreso_texts_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("final");
        QTest::newRow("0.1 %") << 1 << 1000 << QStringLiteral("    %");
        QTest::newRow("99.9 %") << 999 << 1000 << QStringLiteral("    100%");
        QTest::newRow("1 de 3") << 1 << 3 << QStringLiteral("    33%");
        QTest::newRow("2 de 3") << 2 << 3 << QStringLiteral("    67%");
        QTest::newRow("3 de 3") << 3 << 3 << QStringLiteral("    100%");
    }
    void progreso_texts() {
        QFETCH(int, value);
        QFETCH(int, maximum);
        QFETCH(QString, final);
        frmPrecioCoste f;
        bool donde = false;
        QString text = T;
        f.progreso(value, maximum, donde, text);
        QCOMPARE(f.lblInfo->text(), T + final);
        QCOMPARE(f.Caption(), QStringLiteral("TALVERA.    Precios-Costes"));
    }

    void progreso_inCaption() {
        frmPrecioCoste f;
        bool donde = true;
        QString text = QStringLiteral("Título");
        f.progreso(1, 2, donde, text);
        QCOMPARE(f.Caption(), QStringLiteral("Título    50%"));
        QCOMPARE(f.lblInfo->text(), QStringLiteral(" Proceso de actualización no iniciado"));
        QVERIFY(donde);
    }

    void progreso_computationFailures() {
        frmPrecioCoste f;
        BoxAnswerer c;
        c.press("Continuar").press("Salir");
        bool donde = false;
        QString text = QStringLiteral("X");
        f.progreso(5, 0, donde, text); // max 0: the dialog, then the text with no digits
        QCOMPARE(f.lblInfo->text(), QStringLiteral("X    %"));
        QVERIFY(c.boxes[0].text.contains(QStringLiteral("Módulo: frmPrecioCoste\r\nFunción: progreso\r\n")));
        QVERIFY(c.boxes[0].text.endsWith(QStringLiteral("División por cero")));
        f.progreso(30000000, 10, donde, text); // value × 100 overflows 32 bits; "Salir" leaves
        QVERIFY(c.boxes[1].text.endsWith(QStringLiteral("Desbordamiento")));
        QCOMPARE(f.lblInfo->text(), QStringLiteral("X    %"));
    }

    void header_showsTextAndWidth() {
        frmPrecioCoste f;
        f.show();
        BoxAnswerer c;
        c.press("Aceptar").press("Aceptar");
        f.lstNoActualizados->header()->sectionClicked(0);
        f.lstNoActualizados->header()->resizeSection(1, 400);
        f.lstNoActualizados->header()->sectionClicked(1);
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QCOMPARE(c.boxes[0].title, QStringLiteral("ZUK"));
        QCOMPARE(c.boxes[0].text, QStringLiteral("Código__2900"));
        QCOMPARE(c.boxes[0].buttons, QStringList{QStringLiteral("Aceptar")});
        QCOMPARE(c.boxes[1].text, QStringLiteral("Nombre__6000"));
        QCOMPARE(f.lstNoActualizados->ListItemCount(), 0);
    }

    void bar_paintsWhileTextChanges() {
        // The status line overlaps the bar's top edge; its repaints at every new percentage must
        // not keep the bar from painting its own progress.
        frmPrecioCoste f;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.cmdActualizarVisible(false);
        f.barraVisible(true);
        f.barraMax(1001);
        int paints = 0;
        struct Counter : QObject {
            int& n;
            explicit Counter(int& count) : n(count) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint && static_cast<QPaintEvent*>(e)->rect().height() > 2) ++n;
                return false;
            }
        } counter(paints);
        f.barra->installEventFilter(&counter);
        for (int i = 1; i <= 1000; ++i) {
            f.barraValue(static_cast<float>(i));
            bool donde = false;
            QString text = T;
            f.progreso(i, 1000, donde, text);
            QApplication::processEvents();
        }
        QVERIFY2(paints >= 100, qPrintable(QString::number(paints)));
    }

    void volver_andPanelInFront() {
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
        const QPoint midline = f.cmdSalir->geometry().center();
        QWidget* topOffset = f.childAt(midline);
        QVERIFY(topOffset == f.fraNoActualizados || f.fraNoActualizados->isAncestorOf(topOffset));
        f.cmdActualizarEnabled(false);
        f.lblInfoCaption(QStringLiteral("fin"));
        f.btnVolver->click();
        QCOMPARE(f.Height(), 3200.0);
        QCOMPARE(f.cmdSalir->y(), px(1900));
        QVERIFY(!f.fraNoActualizados->isVisible());
        QCOMPARE(f.lblInfo->text(), QStringLiteral("fin"));
        QVERIFY(!f.cmdActualizar->isEnabled());
    }

    void keyboard_returnPressesFocusedButton() {
        frmPrecioCoste f;
        f.show();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QSignalSpy updateClicks(f.cmdActualizar, &QPushButton::clicked);
        BoxAnswerer c;
        c.press("Salir"); // no database here: the run stops at its dialog
        QTest::keyClick(f.cmdActualizar, Qt::Key_Return);
        QCOMPARE(updateClicks.count(), 1);
        f.cmdSalir->show();
        f.cmdSalir->setFocus();
        QTest::keyClick(f.cmdSalir, Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(!f.isVisible());
    }

    void headers_cannotBeDragged() {
        frmPrecioCoste f;
        f.show();
        f.fraNoActualizadosVisible(true);
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto* h = f.lstNoActualizados->header();
        const int y = h->height() / 2;
        const QPoint from(h->sectionViewportPosition(0) + 20, y), to(h->sectionViewportPosition(1) + 80, y);
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, from);
        for (int x = from.x(); x <= to.x(); x += 10)
            QTest::mouseMove(h->viewport(), QPoint(x, y));
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, to);
        QCOMPARE(h->logicalIndex(0), 0);
        QCOMPARE(h->logicalIndex(1), 1);
    }

    void captions_fitTheirControls() {
        // With the fonts that stand in for the Windows ones, every caption of every window fits the
        // width it was designed with.
        frmPrecioCoste main;
        forms::frmPrevioErrHandler preview;
        frmProgreso progress;
        QStringList cut;
        for (QWidget* window : std::initializer_list<QWidget*>{&main, &preview, &progress}) {
            for (QWidget* w : window->findChildren<QWidget*>()) {
                QString text;
                int room = w->width();
                if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
                if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                    text = b->text();
                    room -= qobject_cast<QRadioButton*>(w)
                                ? w->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
                                      w->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w)
                                : 6; // the option's circle and its gap; the button's frame
                }
                if (auto* g = qobject_cast<QGroupBox*>(w)) text = g->title(), room -= 16;
                text.remove(QLatin1Char('&'));
                if (text.isEmpty() || text.contains(QLatin1Char('\n'))) continue;
                const int width = QFontMetrics(w->font()).horizontalAdvance(text);
                if (width > room)
                    cut << QStringLiteral("%1: '%2' %3 > %4").arg(w->objectName(), text).arg(width).arg(room);
            }
        }
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
        QCOMPARE(QFontInfo(main.cmdActualizar->font()).family(), QStringLiteral("Liberation Sans"));
        QCOMPARE(QFontInfo(progress.lblInfo->font()).family(), QStringLiteral("Comic Neue"));
        QCOMPARE(QFontInfo(main.btnVolver->font()).family(), QStringLiteral("Tahoma"));
    }

    void buttons_flatFacesReadableWhenDisabled() {
        // The faces are flat in their colours, as the platform paints graphical-style buttons; a
        // press and the focus still show; the disabled caption stays readable (3:1 at least).
        frmPrecioCoste f;
        f.show();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        auto face = [](QWidget* w) {
            const QImage img = w->grab().toImage();
            QColor top = img.pixelColor(6, 4), bottom = img.pixelColor(6, img.height() - 5);
            return std::make_pair(top, bottom);
        };
        const auto [actualizarTop, actualizarBottom] = face(f.cmdActualizar);
        QCOMPARE(actualizarTop, QColor(128, 128, 255));
        QCOMPARE(actualizarBottom, QColor(128, 128, 255));
        const auto [salirTop, salirBottom] = face(f.cmdSalir);
        QCOMPARE(salirTop, QColor(192, 192, 255));
        QCOMPARE(salirBottom, QColor(192, 192, 255));
        // Pressed: the border turns round.
        const QImage up = f.cmdActualizar->grab().toImage();
        f.cmdActualizar->setDown(true);
        const QImage down = f.cmdActualizar->grab().toImage();
        f.cmdActualizar->setDown(false);
        QVERIFY(up.pixelColor(0, 0) != down.pixelColor(0, 0));
        // The focus shows.
        f.cmdSalir->setFocus();
        const QImage unfocused = f.cmdActualizar->grab().toImage();
        f.cmdActualizar->setFocus();
        QVERIFY(f.cmdActualizar->grab().toImage() != unfocused);
        // Disabled: the darkest pixel of the caption against the face.
        f.cmdActualizar->setEnabled(false);
        const QImage disabled = f.cmdActualizar->grab().toImage();
        auto luminance = [](const QColor& c) {
            auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
            return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
        };
        double darkest = 1;
        for (int y = 4; y < disabled.height() - 4; ++y)
            for (int x = 4; x < disabled.width() - 4; ++x)
                darkest = std::min(darkest, luminance(disabled.pixelColor(x, y)));
        const double contrast = (luminance(QColor(128, 128, 255)) + 0.05) / (darkest + 0.05);
        QVERIFY2(contrast >= 3.0, qPrintable(QStringLiteral("contrast %1:1").arg(contrast)));
        QCOMPARE(disabled.pixelColor(6, 4), QColor(128, 128, 255)); // the face keeps its colour
        QVERIFY(disabled != unfocused);                             // and it looks disabled
    }

    void salir_closesWithoutAsking() {
        frmPrecioCoste f;
        f.show();
        BoxAnswerer c;
        f.cmdSalir->click();
        QVERIFY(!f.isVisible());
        QCOMPARE(c.boxes.size(), std::size_t(0));
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
