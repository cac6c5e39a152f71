// The start of an error report: the capture of the failing window through the clipboard, and the
// error preview window that shows it.
#include "BoxAnswerer.h"
#include "errors/Protocol.h"
#include "forms/errorpreview/ReportPicture.h"
#include "forms/errorpreview/frmPrevioErrHandler.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/ui/App.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/Form.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Twips.h"
#include "report/basCapturaPantalla.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing;
using forms::frmPrevioErrHandler;
using forms::ReportPicture;

namespace {

constexpr errors::Identity kFailing{"modFallo", "proc_click", "modFallo", "proc_Click"};

// The preview windows open now, oldest first.
std::vector<frmPrevioErrHandler*> previews() {
    std::vector<frmPrevioErrHandler*> r;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* p = qobject_cast<frmPrevioErrHandler*>(w); p && p->isVisible()) r.push_back(p);
    return r;
}

void closePreviews() {
    for (frmPrevioErrHandler* p : previews())
        p->close();
    QApplication::processEvents();
}

// A window with something recognisable on it, active, as a failing window is after its dialog.
struct FailingWindow : ui::Form {
    FailingWindow() {
        setClientWidth(6000);
        setClientHeight(3000);
        auto* label = new QLabel(QStringLiteral("VENTANA QUE FALLA"), this);
        label->move(20, 20);
        setBackColor(QColor(10, 120, 30));
        show();
        activateWindow();
        QApplication::setActiveWindow(this);
    }
};

bool samePixels(const QImage& a, const QImage& b) {
    return a.size() == b.size() && a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestErrorReport : public QObject {
    Q_OBJECT
private slots:
    void init() { errors::setReportStarter(&report::basCapturaPantalla::startReport); }
    void cleanup() {
        closePreviews();
        QDir(ui::App::Path() + QStringLiteral("/imagenerror")).removeRecursively();
        QFile::remove(ui::App::Path() + QStringLiteral("/imagenerror"));
    }

    void basePath_data() {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QString>("ending");
        QTest::newRow("6 December 2026, 09:05:03")
            << QDateTime(QDate(2026, 12, 6), QTime(9, 5, 3)) << QStringLiteral("/imagenerror/2026126953");
        QTest::newRow("11 January 2027, 10:10:10")
            << QDateTime(QDate(2027, 1, 11), QTime(10, 10, 10)) << QStringLiteral("/imagenerror/2027111101010");
        // Other moments can share the digits, and so the file names.
        QTest::newRow("1 November 2027, 10:10:10")
            << QDateTime(QDate(2027, 11, 1), QTime(10, 10, 10)) << QStringLiteral("/imagenerror/2027111101010");
    }
    void basePath() {
        QFETCH(QDateTime, moment);
        QFETCH(QString, ending);
        QCOMPARE(ReportPicture::basePathFor(QStringLiteral("/opt/programa"), moment),
                 QStringLiteral("/opt/programa") + ending);
    }

    void load_makesTheFolderAndNamesTheReport() {
        BoxAnswerer c; // nothing is ever reported: the load skips its failures silently
        for (bool folderExists : {false, true}) {
            if (folderExists) QDir(ui::App::Path()).mkdir(QStringLiteral("imagenerror"));
            frmPrevioErrHandler f;
            const QDateTime before = QDateTime::currentDateTime();
            f.Load();
            QVERIFY(QFileInfo(ui::App::Path() + QStringLiteral("/imagenerror")).isDir());
            QVERIFY(f.ImageBasePath == ReportPicture::basePathFor(ui::App::Path(), before) ||
                    f.ImageBasePath == ReportPicture::basePathFor(ui::App::Path(), QDateTime::currentDateTime()));
            QVERIFY(!f.framecorreo->isVisible() && f.framecorreo->isHidden());
            QVERIFY(f.NormalOption->isChecked() && !f.FitToPrinterOption->isChecked());
            QCOMPARE(f.IsDrawing, int16_t(0));
        }
        // A file where the folder should be: no folder, the base path all the same, no message.
        cleanup();
        QFile blocker(ui::App::Path() + QStringLiteral("/imagenerror"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        frmPrevioErrHandler f;
        f.Load();
        QVERIFY(QFileInfo(blocker.fileName()).isFile());
        QVERIFY(f.ImageBasePath.startsWith(ui::App::Path() + QStringLiteral("/imagenerror/")));
    }

    void load_eachReportItsOwnName() {
        // Two reports in one second, and a moment whose digits a kept report already has: each
        // report gets a name no other has, held until it is let go.
        ReportPicture::makeFolder(ui::App::Path() + QStringLiteral("/imagenerror"));
        auto a = std::make_unique<ReportPicture>();
        a->hold(ReportPicture::basePathFor(ui::App::Path(), QDateTime::currentDateTime()));
        ReportPicture b; // in the same second
        b.hold(a->basePath());
        QCOMPARE(b.basePath(), a->basePath() + QStringLiteral("-2"));
        ReportPicture third;
        third.hold(a->basePath());
        QCOMPARE(third.basePath(), a->basePath() + QStringLiteral("-3"));
        // 01:23:45 and 12:03:45 of one day share their digits: the picture kept from the first stays.
        const QString kept =
            ReportPicture::basePathFor(ui::App::Path(), QDateTime(QDate(2026, 12, 7), QTime(1, 23, 45)));
        QCOMPARE(kept, ReportPicture::basePathFor(ui::App::Path(), QDateTime(QDate(2026, 12, 7), QTime(12, 3, 45))));
        QFile picture(kept + QStringLiteral(".jpg"));
        QVERIFY(picture.open(QIODevice::WriteOnly));
        picture.write("JPEG del primer informe");
        picture.close();
        ReportPicture later;
        later.hold(kept);
        QCOMPARE(later.basePath(), kept + QStringLiteral("-2"));
        QFile keptNow(kept + QStringLiteral(".jpg"));
        QVERIFY(keptNow.open(QIODevice::ReadOnly));
        QCOMPARE(keptNow.readAll(), QByteArray("JPEG del primer informe"));
        // An empty picture left by a program that ended with its window open is free again; one
        // that another program's window holds (locked) is not.
        const QString leftOver =
            ReportPicture::basePathFor(ui::App::Path(), QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
        QFile(leftOver + QStringLiteral(".jpg")).open(QIODevice::WriteOnly);
        ReportPicture reusing;
        reusing.hold(leftOver);
        QCOMPARE(reusing.basePath(), leftOver);
        // One left over by another user is that user's to replace, not this one's.
        const QString othersLeftOver = leftOver + QStringLiteral("7");
        const QByteArray othersJpg = QFile::encodeName(othersLeftOver + QStringLiteral(".jpg"));
        QVERIFY(QFile(QFile::decodeName(othersJpg)).open(QIODevice::WriteOnly));
        if (::chmod(othersJpg.constData(), 0666) == 0 && ::chown(othersJpg.constData(), 65534, 65534) == 0) {
            ReportPicture another;
            another.hold(othersLeftOver);
            QCOMPARE(another.basePath(), othersLeftOver + QStringLiteral("-2"));
        }
        const QString held = leftOver + QStringLiteral("9");
        const int fd = ::open(QFile::encodeName(held + QStringLiteral(".jpg")).constData(), O_RDWR | O_CREAT, 0666);
        QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0);
        ReportPicture beside;
        beside.hold(held);
        QCOMPARE(beside.basePath(), held + QStringLiteral("-2"));
        ::close(fd);
        // A link at a picture's name, to a file elsewhere, is never written through.
        const QString linked = leftOver + QStringLiteral("8");
        QVERIFY(QFile::link(QStringLiteral("/nonexistent/victima"), linked + QStringLiteral(".bmp")));
        ReportPicture careful;
        careful.hold(linked);
        QCOMPARE(careful.basePath(), linked + QStringLiteral("-2"));
        // A report never prepared leaves nothing behind.
        const QString reservedByA = a->basePath() + QStringLiteral(".jpg");
        QVERIFY(QFileInfo::exists(reservedByA));
        a.reset();
        QVERIFY(!QFileInfo::exists(reservedByA));
        QVERIFY(QFileInfo::exists(kept + QStringLiteral(".jpg")));
    }

    void load_theFolderIsTheGroupsWhereTheProgramsIs() {
        // The package's folder is set-group-ID and shared by a group: the report folder the first
        // user makes is the group's to write too, whatever that user's umask.
        const QByteArray program = QFile::encodeName(ui::App::Path());
        struct stat before {};
        QCOMPARE(::stat(program.constData(), &before), 0);
        QCOMPARE(::chmod(program.constData(), (before.st_mode & 07777) | S_ISGID), 0);
        const mode_t mask = ::umask(022);
        const auto back = qScopeGuard([&] {
            ::umask(mask);
            ::chmod(program.constData(), before.st_mode & 07777);
        });
        frmPrevioErrHandler f;
        f.Load();
        struct stat made {};
        QCOMPARE(::stat(QFile::encodeName(ui::App::Path() + QStringLiteral("/imagenerror")).constData(), &made), 0);
        QVERIFY((made.st_mode & S_IWGRP) && (made.st_mode & S_ISGID));
    }

    void capture_thePictureOfTheFailingWindow() {
        FailingWindow failing;
        QVERIFY(QTest::qWaitForWindowActive(&failing));
        const QImage inside = failing.grab().toImage();
        ui::Clipboard::SetData(QImage(5, 5, QImage::Format_RGB32)); // what the operator had copied
        report::basCapturaPantalla::capturapantalla(QStringLiteral("basForm"), QStringLiteral("CentrarFrm"),
                                                    QStringLiteral("D"));
        const auto open = previews();
        QCOMPARE(open.size(), std::size_t(1));
        frmPrevioErrHandler& p = *open.front();
        // The window with its frame, where the platform reports one; inside it, the window itself.
        const QImage expected = p.HiddenPict->picture();
        const QPoint offset = failing.geometry().topLeft() - failing.frameGeometry().topLeft();
        QCOMPARE(expected.size(), failing.frameGeometry().size());
        QVERIFY(samePixels(expected.copy(QRect(offset, inside.size())), inside));
        QVERIFY(samePixels(ui::Clipboard::GetData(), expected)); // the clipboard's content is replaced
        QCOMPARE(p.HiddenPict->ScaleWidth(), expected.width() * ui::TwipsPerPixelX());
        QCOMPARE(p.HiddenPict->ScaleHeight(), expected.height() * ui::TwipsPerPixelY());
        QVERIFY(samePixels(p.Image1->picture(), expected));
        QCOMPARE(p.Image1->size(), QSize(ui::toPixelsX(11775), ui::toPixelsY(7815))); // stretched to its size
        QCOMPARE(p.texterror->Text(), QStringLiteral("basForm CentrarFrm D"));
        QCOMPARE(ui::Screen::MousePointer(), int(ui::Screen::vbDefault));
        QVERIFY(!p.parentWidget() && !p.isModal());
        QVERIFY(QFileInfo(ui::App::Path() + QStringLiteral("/imagenerror")).isDir());
    }

    // What the window still has to draw when the capture starts (the area the dialog covered,
    // say) may arrive in two goes; the events handled after each key let it draw before the shot.
    void capture_theWindowDrawsBetweenTheKeys() {
        FailingWindow failing;
        QVERIFY(QTest::qWaitForWindowActive(&failing));
        const QColor repainted(200, 30, 30);
        QTimer::singleShot(0, &failing, [&] {
            QTimer::singleShot(0, &failing, [&] {
                failing.setBackColor(repainted);
                failing.repaint();
            });
        });
        report::basCapturaPantalla::capturapantalla(QStringLiteral("m"), QStringLiteral("p"), QStringLiteral("d"));
        const auto open = previews();
        QCOMPARE(open.size(), std::size_t(1));
        const QImage shot = open.front()->HiddenPict->picture();
        QCOMPARE(shot.pixelColor(shot.width() - 10, shot.height() - 10), repainted);
    }

    // The error line is read back for the picture's stamp and the mail: as it was written, until
    // the operator edits it.
    void errorLine_readBackAsWritten_data() {
        QTest::addColumn<QString>("description");
        QTest::newRow("line feed") << QStringLiteral("no such column: x\nnear here");
        QTest::newRow("carriage return") << QStringLiteral("uno\rdos");
        QTest::newRow("both") << QStringLiteral("uno\r\ndos");
        QTest::newRow("non-breaking space") << QStringLiteral("100\u00a0%");
    }
    void errorLine_readBackAsWritten() {
        QFETCH(QString, description);
        FailingWindow failing;
        QVERIFY(QTest::qWaitForWindowActive(&failing));
        report::basCapturaPantalla::capturapantalla(QStringLiteral("m"), QStringLiteral("p"), description);
        const auto open = previews();
        QCOMPARE(open.size(), std::size_t(1));
        ui::TextBox& line = *open.front()->texterror;
        QCOMPARE(line.Text(), QStringLiteral("m p ") + description);
        line.setFocus();
        QTest::keyClick(line.focusProxy(), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(line.focusProxy(), QStringLiteral(" ok"));
        QVERIFY(line.Text().endsWith(QStringLiteral(" ok")));
    }

    void capture_withoutAnActiveWindow_data() {
        QTest::addColumn<bool>("stale");
        QTest::newRow("a stale picture on the clipboard") << true;
        QTest::newRow("no picture on the clipboard") << false;
    }
    void capture_withoutAnActiveWindow() {
        // No window to copy: the clipboard is not cleared first, so what it held is shown.
        QFETCH(bool, stale);
        QImage old(40, 30, QImage::Format_RGB32);
        old.fill(Qt::red);
        if (stale)
            ui::Clipboard::SetData(old);
        else
            QApplication::clipboard()->setText(QStringLiteral("texto"));
        QApplication::setActiveWindow(nullptr);
        report::basCapturaPantalla::capturapantalla(QStringLiteral("m"), QStringLiteral("p"), QString());
        const auto open = previews();
        QCOMPARE(open.size(), std::size_t(1));
        QCOMPARE(open.front()->HiddenPict->picture().isNull(), !stale);
        if (stale) QVERIFY(samePixels(open.front()->HiddenPict->picture(), old));
        QCOMPARE(open.front()->texterror->Text(), QStringLiteral("m p ")); // an empty description leaves the blank
    }

    void enviarVesk_twoReportsTwoWindows() {
        // "Enviar Vesk" in the dialog of a guarded procedure: the report names the capture's
        // identity and the same description, and the procedure is left.
        FailingWindow failing;
        BoxAnswerer c;
        c.press("Enviar Vesk").press("Enviar Vesk");
        std::vector<int> done;
        for (int i = 0; i < 2; ++i)
            errors::runGuarded(kFailing, [&](int step) -> int {
                done.push_back(step);
                if (step == 1) runtime::divide(1, 0);
                return runtime::kEnd;
            });
        QCOMPARE(done, (std::vector<int>{1, 1}));
        const auto open = previews();
        QCOMPARE(open.size(), std::size_t(2));
        QCOMPARE(open[0]->texterror->Text(), QStringLiteral("modFallo proc_Click División por cero"));
        QVERIFY(c.boxes[0].text.contains(QStringLiteral("Función: proc_click")));
    }

    void freehand_fromPressToRelease() {
        frmPrevioErrHandler f;
        f.Load();
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QImage before = f.Image1->picture();
        // Moving without a button draws nothing; neither does a press on a control (the screenshot).
        QTest::mouseMove(&f, QPoint(760, 20));
        QTest::mouseMove(&f, QPoint(770, 40));
        QTest::mousePress(&f, Qt::LeftButton, {}, QPoint(100, 300));
        QTest::mouseMove(&f, QPoint(150, 350));
        QTest::mouseRelease(&f, Qt::LeftButton, {}, QPoint(150, 350));
        QVERIFY(f.drawnLines().empty());
        // Press on the bare surface (right of the top strip), move twice, release: a connected
        // polyline through every reported position.
        const QPoint points[] = {{760, 4}, {770, 30}, {782, 52}};
        QTest::mousePress(&f, Qt::LeftButton, {}, points[0]);
        QCOMPARE(f.IsDrawing, int16_t(-1));
        QTest::mouseMove(&f, points[1]);
        QTest::mouseMove(&f, points[2]);
        QTest::mouseRelease(&f, Qt::LeftButton, {}, points[2]);
        QCOMPARE(f.IsDrawing, int16_t(0));
        QTest::mouseMove(&f, QPoint(786, 10));
        QCOMPARE(f.drawnLines(), (std::vector<QLineF>{QLineF(points[0], points[1]), QLineF(points[1], points[2])}));
        QVERIFY(f.Image1->picture() == before); // never on the picture
        // And it is on the window's surface.
        const QImage surface = f.grab().toImage();
        QCOMPARE(surface.pixelColor(765, 17), f.palette().color(QPalette::WindowText));
    }

    void print_withoutADefaultPrinter() {
        // This program runs with no printer to be found (CUPS_SERVER names no scheduler): Qt
        // would write a PDF file instead; the print fails clearly, through the dialog.
        frmPrevioErrHandler f;
        f.Load();
        f.HiddenPict->setPicture(QImage(40, 30, QImage::Format_RGB32));
        BoxAnswerer c;
        c.press("Salir");
        f.CmdPrint_Click(0);
        QCOMPARE(c.boxes.size(), std::size_t(1));
        QVERIFY(c.boxes[0].text.contains(QStringLiteral("Función: cmdPrint_Click\r\nDescripción: No hay ninguna "
                                                        "impresora predeterminada")));
    }

    void resize_movesNothing() {
        frmPrevioErrHandler f;
        f.Load();
        f.show();
        const QRect image = f.Image1->geometry(), button = f.CmdPrint[0]->geometry();
        f.resize(f.width() + 300, f.height() + 200);
        QApplication::processEvents();
        QCOMPARE(f.Image1->geometry(), image);
        QCOMPARE(f.CmdPrint[0]->geometry(), button);
    }
};

QTEST_MAIN(TestErrorReport)
#include "test_error_report.moc"
