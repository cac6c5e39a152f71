// The commands of the error preview window: printing the screenshot, the JPEG with the error line,
// and sending the report through an SMTP server (MAPI) or the machine's sendmail (Outlook). Run
// with the servers of servers/with_servers.sh.

// GLib's headers before Qt's: they name fields "signals", which Qt defines as a keyword.
#include <gmime/gmime.h>

#include "BoxAnswerer.h"
#include "forms/errorpreview/ReportPicture.h"
#include "forms/errorpreview/frmPrevioErrHandler.h"
#include "platform/mail/Outlook.h"
#include "platform/printer/Printer.h"
#include "platform/ui/App.h"
#include "platform/ui/Twips.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcess>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cups/cups.h>
#include <functional>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing;
using forms::frmPrevioErrHandler;
using forms::ReportPicture;

namespace {

const QString kErrorLine = QStringLiteral("frmPrecioCoste cmdActualizar_Click Desbordamiento");

QImage solid(int width, int height, const QColor& color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// A preview window as the capture leaves it, holding the given screenshot. It deletes itself
// when it closes, as it does in the program.
QPointer<frmPrevioErrHandler> preview(const QImage& screenshot) {
    auto* f = new frmPrevioErrHandler;
    f->Load();
    f->HiddenPict->setPicture(screenshot);
    f->Image1->setPicture(screenshot);
    f->texterror->setText(kErrorLine);
    f->show();
    return f;
}

QString env(const char* name) { return qEnvironmentVariable(name); }

// The newest job of the private scheduler, in any state (0: none yet).
int lastJob() {
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    int id = 0;
    for (int i = 0; i < n; ++i)
        id = std::max(id, jobs[i].id);
    cupsFreeJobs(n, jobs);
    return id;
}

// Waits until CUPS says the job has ended (completed, aborted or canceled), and gives that state.
// No fixed time: a fresh scheduler's first conversion can take a minute; the test's own timeout
// bounds a scheduler that never ends it.
ipp_jstate_t waitForJobEnd(int id) {
    for (;;) {
        cups_job_t* jobs = nullptr;
        const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
        ipp_jstate_t state = IPP_JSTATE_PENDING;
        for (int i = 0; i < n; ++i)
            if (jobs[i].id == id) state = jobs[i].state;
        cupsFreeJobs(n, jobs);
        if (state >= IPP_JSTATE_CANCELED) return state;
        QTest::qWait(200);
    }
}

QString cupsLog() {
    QFile log(env("ZUK_CUPS_LOG"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll().right(4000)) : QStringLiteral("(no log)");
}

// The part of a PDF that starts at "%PDF" (a printer's output may wrap it).
QString pdfOf(const QString& file, const QString& folder) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QByteArray bytes = f.readAll();
    const auto start = bytes.indexOf("%PDF-");
    if (start < 0) return {};
    QString out = folder + QStringLiteral("/page.pdf");
    QFile o(out);
    if (!o.open(QIODevice::WriteOnly)) return {};
    o.write(bytes.mid(start));
    return out;
}

// The first page of a PDF at 144 dots per inch (10 twips a pixel).
QImage rendered(const QString& pdf) {
    const QString png = pdf + QStringLiteral(".png");
    QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("144"), QStringLiteral("-png"),
                                                   QStringLiteral("-singlefile"), pdf, pdf});
    return QImage(png);
}

// Where something that is not white stands on a page.
QRect inked(const QImage& page) {
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 200) box |= QRect(x, y, 1, 1);
    return box;
}

// A message the test SMTP server received, read back with GMime.
struct Received {
    QByteArray raw;
    QString from, to, cc, subject, body;
    bool hasBcc = false;
    QStringList envelope;
    QString envelopeFrom, login;
    QByteArray attachment;
    QString attachmentName;
};

Received received(int number) {
    static bool ready = [] {
        g_mime_init();
        return true;
    }();
    Q_UNUSED(ready);
    Received r;
    const QString base = env("ZUK_SMTP_DIR") + QLatin1Char('/') + QString::number(number);
    QFile eml(base + QStringLiteral(".eml")), json(base + QStringLiteral(".json"));
    if (!eml.open(QIODevice::ReadOnly) || !json.open(QIODevice::ReadOnly)) return r;
    r.raw = eml.readAll();
    const QJsonObject envelope = QJsonDocument::fromJson(json.readAll()).object();
    r.envelopeFrom = envelope.value(QStringLiteral("mail_from")).toString();
    for (const auto& v : envelope.value(QStringLiteral("rcpt_tos")).toArray())
        r.envelope << v.toString();
    r.login = envelope.value(QStringLiteral("login")).toString();

    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(r.raw.constData(), static_cast<size_t>(r.raw.size()));
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* message = g_mime_parser_construct_message(parser, nullptr);
    GMimeObject* object = GMIME_OBJECT(message);
    auto header = [&](const char* name) { return QString::fromUtf8(g_mime_object_get_header(object, name)); };
    r.from = header("From");
    r.to = header("To");
    r.cc = header("Cc");
    r.hasBcc = g_mime_object_get_header(object, "Bcc") != nullptr;
    r.subject = QString::fromUtf8(g_mime_message_get_subject(message));
    GMimeObject* body = g_mime_message_get_mime_part(message);
    GMimeObject* text = body;
    if (GMIME_IS_MULTIPART(body)) {
        text = g_mime_multipart_get_part(GMIME_MULTIPART(body), 0);
        GMimePart* part = GMIME_PART(g_mime_multipart_get_part(GMIME_MULTIPART(body), 1));
        r.attachmentName = QString::fromUtf8(g_mime_part_get_filename(part));
        GMimeStream* out = g_mime_stream_mem_new();
        g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(part), out);
        GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out));
        r.attachment = QByteArray(reinterpret_cast<const char*>(bytes->data), static_cast<qsizetype>(bytes->len));
        g_object_unref(out);
    }
    char* t = g_mime_text_part_get_text(GMIME_TEXT_PART(text));
    r.body = QString::fromUtf8(t);
    g_free(t);
    g_object_unref(message);
    g_object_unref(parser);
    g_object_unref(stream);
    return r;
}

int receivedCount() { return QDir(env("ZUK_SMTP_DIR")).entryList({QStringLiteral("*.eml")}, QDir::Files).size(); }

QByteArray sha256(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }
QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void pointMapiAtTheTestServer(frmPrevioErrHandler& f) {
    f.mpmsession->Server = QStringLiteral("smtp://127.0.0.1:") + env("ZUK_SMTP_PORT");
    f.mpmsession->UserName = env("ZUK_SMTP_USER");
    f.mpmsession->Password = env("ZUK_SMTP_PASSWORD");
    f.mpmsession->CAFile = env("ZUK_SMTP_CERT");
    f.mpmsession->TimeoutSeconds = 3;
}

} // namespace

class TestReportCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(!env("ZUK_SMTP_DIR").isEmpty(), "run under servers/with_servers.sh"); }
    void cleanup() {
        printer::Printer::instance().setOutputFile(QString());
        mail::OutlookApplication::setSendmailProgram(QStringLiteral("/usr/sbin/sendmail"));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<frmPrevioErrHandler*>(w)) w->close();
        QApplication::processEvents();
        QDir(ui::App::Path() + QStringLiteral("/imagenerror")).removeRecursively();
    }

    void print_naturalSizeOrFitted_data() {
        QTest::addColumn<bool>("fitted");
        QTest::addColumn<QSize>("page");     // as the paper is given, in twips; printed landscape
        QTest::addColumn<QSize>("picture");  // in pixels: 15 twips each
        QTest::addColumn<QRectF>("printed"); // in twips, from the printable area's corner
        // 640 × 480 pixels: 9600 × 7200 twips, ratio 0.75.
        QTest::newRow("natural size") << false << QSize(10000, 15000) << QSize(640, 480)
                                      << QRectF(2700, 1400, 9600, 7200);
        QTest::newRow("fitted, page wider")
            << true << QSize(10000, 15000) << QSize(640, 480) << QRectF(833.33, 0, 13333.33, 10000);
        QTest::newRow("fitted, page taller")
            << true << QSize(15000, 10000) << QSize(640, 480) << QRectF(0, 3750, 10000, 7500);
        QTest::newRow("fitted, equal ratios")
            << true << QSize(9000, 12000) << QSize(640, 480) << QRectF(0, 0, 12000, 9000);
    }
    void print_naturalSizeOrFitted() {
        QFETCH(bool, fitted);
        QFETCH(QSize, page);
        QFETCH(QSize, picture);
        QFETCH(QRectF, printed);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("print.pdf"));
        printer::Printer::instance().setOutputFile(pdf, page.width(), page.height());
        auto f = preview(solid(picture.width(), picture.height(), QColor(20, 60, 160)));
        f->Image1->setPicture(QImage()); // the print puts the screenshot back
        (fitted ? f->FitToPrinterOption : f->NormalOption)->setChecked(true);
        f->CmdPrint_Click(0);
        QCOMPARE(f->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(f->Image1->picture() == f->HiddenPict->picture());
        const QImage rendering = rendered(pdf);
        QCOMPARE(rendering.size(), QSize(page.height() / 10, page.width() / 10)); // landscape
        const QRect ink = inked(rendering);
        const QRect expected(qRound(printed.x() / 10), qRound(printed.y() / 10), qRound(printed.width() / 10),
                             qRound(printed.height() / 10));
        QVERIFY2(std::abs(ink.x() - expected.x()) <= 1 && std::abs(ink.y() - expected.y()) <= 1 &&
                     std::abs(ink.width() - expected.width()) <= 2 && std::abs(ink.height() - expected.height()) <= 2,
                 qPrintable(QStringLiteral("printed at %1,%2 %3x%4, expected %5,%6 %7x%8")
                                .arg(ink.x())
                                .arg(ink.y())
                                .arg(ink.width())
                                .arg(ink.height())
                                .arg(expected.x())
                                .arg(expected.y())
                                .arg(expected.width())
                                .arg(expected.height())));
    }

    void print_emptyScreenshotFitted_goesToTheDialog() {
        QTemporaryDir dir;
        printer::Printer::instance().setOutputFile(dir.filePath(QStringLiteral("x.pdf")), 10000, 15000);
        auto f = preview(QImage());
        f->FitToPrinterOption->setChecked(true);
        BoxAnswerer c;
        c.press("Salir");
        f->CmdPrint_Click(0);
        QCOMPARE(c.boxes.size(), std::size_t(1));
        QVERIFY(c.boxes[0].text.contains(QStringLiteral("Módulo: frmPrevioErrH\r\nFunción: cmdPrint_Click\r\n")));
        QCOMPARE(f->cursor().shape(), Qt::WaitCursor); // only the last step restores it
    }

    void print_queueRefusingJobs_toldAndKept() {
        // The default queue does not take jobs (cupsreject): the operator hears it, and the
        // window stays with its screenshot, to print once the queue takes jobs again.
        QCOMPARE(QProcess::execute(QStringLiteral("cupsreject"),
                                   {QStringLiteral("-r"), QStringLiteral("bandeja llena"), QStringLiteral("pdf")}),
                 0);
        const auto accept =
            qScopeGuard([] { QProcess::execute(QStringLiteral("cupsaccept"), {QStringLiteral("pdf")}); });
        auto f = preview(solid(64, 48, Qt::red));
        BoxAnswerer c;
        c.press("Salir");
        f->CmdPrint_Click(0);
        QCOMPARE(c.boxes.size(), std::size_t(1));
        QVERIFY2(c.boxes[0].text.contains(QStringLiteral("Descripción: La impresora 'pdf' no acepta trabajos ahora")),
                 qPrintable(c.boxes[0].text));
        QVERIFY(!f.isNull() && f->isVisible() && !f->Image1->picture().isNull());
    }

    void print_throughTheDefaultPrinter() {
        // A real queue of a private CUPS: one landscape page, the screenshot at its natural size
        // in the middle of the printable area.
        auto f = preview(solid(640, 480, QColor(20, 60, 160)));
        const int before = lastJob();
        f->CmdPrint_Click(0);
        // The job's own end, as CUPS tells it: a fresh scheduler converts its first job slowly.
        const int job = lastJob();
        QVERIFY2(job > before, "no job reached the queue");
        const ipp_jstate_t state = waitForJobEnd(job);
        QVERIFY2(
            state == IPP_JSTATE_COMPLETED,
            qPrintable(
                QStringLiteral("job %1 ended in state %2; CUPS said:\n%3").arg(job).arg(int(state)).arg(cupsLog())));
        const QString output = env("ZUK_CUPS_OUTPUT");
        QTemporaryDir dir;
        const QString pdf = pdfOf(output, dir.path());
        QVERIFY2(!pdf.isEmpty(), "no PDF in the printer's output");
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY(info.waitForFinished());
        const QString said = QString::fromUtf8(info.readAllStandardOutput());
        QVERIFY2(said.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))), qPrintable(said));
        // Landscape: on a landscape sheet as it is, or turned onto the paper's portrait sheet by
        // the queue's filter; 9600 × 7200 twips either way.
        const QImage page = rendered(pdf);
        const QRect ink = inked(page);
        const QSize natural = page.width() > page.height() ? QSize(960, 720) : QSize(720, 960);
        QVERIFY2(std::abs(ink.width() - natural.width()) <= 3 && std::abs(ink.height() - natural.height()) <= 3,
                 qPrintable(QStringLiteral("%1x%2 on %3x%4")
                                .arg(ink.width())
                                .arg(ink.height())
                                .arg(page.width())
                                .arg(page.height())));
        QVERIFY(std::abs(ink.center().x() - page.width() / 2) <= 25 &&
                std::abs(ink.center().y() - page.height() / 2) <= 25);
    }

    void email_onlyTheReportsOwnPicture_data() {
        QTest::addColumn<QString>("planted");
        QTest::newRow("another member's bitmap under the next moments' names") << "before";
        QTest::newRow("another member's bitmap at the report's name") << "bitmap";
        QTest::newRow("another member's link to this member's private picture") << "link";
    }
    void email_onlyTheReportsOwnPicture() {
        // Two members of the shop's group (this program runs as the first) share the report
        // folder, sticky and the group's, as the package makes it, each under umask 002. What the
        // second puts there is never the first one's report picture, and the first one's JPEG is
        // only theirs to write.
        QFETCH(QString, planted);
        if (geteuid() != 0) QSKIP("acting as two users needs root");
        constexpr uid_t memberA = 40001, memberB = 40002;
        constexpr gid_t group = 40000;
        const QString folder = ui::App::Path() + QStringLiteral("/imagenerror");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray here = QFile::encodeName(ui::App::Path()), shared = QFile::encodeName(folder);
        QVERIFY(::chmod(here.constData(), 0755) == 0 && ::chown(shared.constData(), 0, group) == 0 &&
                ::chmod(shared.constData(), 03775) == 0);
        // What member B leaves: a blue bitmap, or a link, B's own.
        auto plant = [&](const QString& path, const QString& linkTo = QString()) {
            const uid_t was = ::geteuid();
            QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
            auto back = qScopeGuard([&] {
                if (was != 0) QVERIFY(::setegid(group) == 0 && ::seteuid(was) == 0);
            });
            const QByteArray name = QFile::encodeName(path);
            if (linkTo.isEmpty())
                QVERIFY(solid(300, 200, Qt::blue).save(path, "BMP"));
            else
                QVERIFY(::symlink(QFile::encodeName(linkTo).constData(), name.constData()) == 0);
            QVERIFY(::lchown(name.constData(), memberB, group) == 0);
        };
        // A's private picture (green), which B cannot read.
        const QString secret = ui::App::Path() + QStringLiteral("/privada.png");
        QVERIFY(solid(300, 200, Qt::green).save(secret, "PNG"));
        QVERIFY(::chown(QFile::encodeName(secret).constData(), memberA, group) == 0 &&
                ::chmod(QFile::encodeName(secret).constData(), 0600) == 0);
        if (planted == QLatin1String("before"))
            for (int s = 0; s < 5; ++s)
                plant(ReportPicture::basePathFor(ui::App::Path(), QDateTime::currentDateTime().addSecs(s)) +
                      QStringLiteral(".BMP"));

        const mode_t umaskBefore = ::umask(002);
        QVERIFY(::setegid(group) == 0 && ::seteuid(memberA) == 0);
        auto asRootAgain = qScopeGuard([&] {
            QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
            ::umask(umaskBefore);
        });
        auto f = preview(solid(300, 200, Qt::red));
        if (planted == QLatin1String("bitmap")) plant(f->ImageBasePath + QStringLiteral(".bmp"));
        if (planted == QLatin1String("link")) plant(f->ImageBasePath + QStringLiteral(".BMP"), secret);
        f->CmdPrint_Click(1);
        const QString jpg = f->Text11[3]->Text();
        asRootAgain.dismiss();
        QVERIFY(::seteuid(0) == 0 && ::setegid(0) == 0);
        ::umask(umaskBefore);

        // The JPEG is A's screenshot or, where B's file stood in the way, not made at all.
        QVERIFY(jpg.startsWith(f->ImageBasePath));
        struct stat st {};
        QVERIFY(::lstat(QFile::encodeName(jpg).constData(), &st) == 0);
        QCOMPARE(st.st_uid, memberA);
        QCOMPARE(st.st_mode & 07777, mode_t(0644));
        if (st.st_size > 0) {
            const QImage written(jpg);
            const QRgb middle = written.pixel(written.width() / 2, written.height() / 2);
            QVERIFY2(qRed(middle) > 200 && qGreen(middle) < 60 && qBlue(middle) < 60,
                     qPrintable(QStringLiteral("the report's picture is %1").arg(middle, 8, 16)));
        }
        QCOMPARE(planted == QLatin1String("bitmap"), st.st_size == 0);
    }

    void email_theJpegWithTheErrorLineOnce() {
        QImage screenshot = solid(300, 200, QColor(200, 220, 240));
        auto f = preview(screenshot);
        f->Text11[2]->setText(QStringLiteral("lo que escribió el operador"));
        QFile stray(f->ImageBasePath); // a file named exactly as the base path is deleted
        QVERIFY(stray.open(QIODevice::WriteOnly));
        stray.close();
        f->CmdPrint_Click(1);
        QVERIFY(f->framecorreo->isVisible());
        QVERIFY(f->Text11[2]->Text().startsWith(QStringLiteral("Error generado el ") +
                                                QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"))));
        QVERIFY(f->Text11[2]->Text().endsWith(QStringLiteral("\r\n")));
        const QString jpg = f->ImageBasePath + QStringLiteral(".jpg");
        QCOMPARE(f->Text11[3]->Text(), jpg);
        QCOMPARE(QDir(ui::App::Path() + QStringLiteral("/imagenerror")).entryList(QDir::Files),
                 QStringList{QFileInfo(jpg).fileName()}); // the JPEG, and no bitmap
        const QImage written(jpg);
        QCOMPARE(written.size(), screenshot.size());
        // The error line is on the picture's top left corner; the rest is the screenshot.
        int dark = 0;
        for (int x = 10; x < 200; ++x)
            for (int y = 10; y < 30; ++y)
                dark += qGray(written.pixel(x, y)) < 100;
        QVERIFY(dark > 50);
        QVERIFY(qAbs(qGray(written.pixel(250, 150)) - qGray(screenshot.pixel(250, 150))) < 8);
        QVERIFY(f->Image1->picture() == screenshot); // never written on the screenshot itself
        // Again: the same JPEG, the line written once; the description starts over.
        const QByteArray first = fileBytes(jpg);
        f->CmdPrint_Click(1);
        QCOMPARE(fileBytes(jpg), first);
        QVERIFY(!f->Text11[2]->Text().contains(QStringLiteral("operador")));
        // The window goes; the picture stays in the folder.
        delete f.data();
        QCOMPARE(fileBytes(jpg), first);
    }

    void mapi_everyField() {
        auto f = preview(solid(320, 240, QColor(90, 160, 90)));
        pointMapiAtTheTestServer(*f);
        f->CmdPrint_Click(1);
        f->Text11[0]->setText(QStringLiteral("  soporte@tienda.test  "));
        f->Text11[1]->setText(QStringLiteral("Correo gestor errores \r\nBcc: intruso@tienda.test"));
        f->Text11[2]->setText(QStringLiteral("Pulsé ACTUALIZAR y salió el error; año, señal, acción."));
        const QString jpegPath = f->Text11[3]->Text();
        const QByteArray jpeg = fileBytes(jpegPath);
        const int before = receivedCount();
        BoxAnswerer c; // no box: it goes out
        f->Command24_Click(0);
        QTRY_VERIFY(f.isNull()); // the window closed
        QCOMPARE(receivedCount(), before + 1);
        const Received m = received(before + 1);
        QCOMPARE(m.envelope, QStringList{QStringLiteral("soporte@tienda.test")}); // trimmed
        QCOMPARE(m.to, QStringLiteral("soporte@tienda.test"));
        QCOMPARE(m.envelopeFrom, QStringLiteral("zuk@tienda.invalid"));
        QCOMPARE(m.login, env("ZUK_SMTP_USER"));
        // A line break typed in the subject is a blank: no header of its own, no hidden copy.
        QCOMPARE(m.subject, QStringLiteral("Correo gestor errores   Bcc: intruso@tienda.test ") + ui::App::EXEName());
        QVERIFY(!m.hasBcc);
        QCOMPARE(m.body, QStringLiteral("Pulsé ACTUALIZAR y salió el error; año, señal, acción.\r\n") + kErrorLine);
        QVERIFY(m.raw.contains("Content-Type: text/plain; charset=utf-8\r\n"));
        QVERIFY(!m.raw.contains(env("ZUK_SMTP_PASSWORD").toUtf8()));
        QCOMPARE(sha256(m.attachment), sha256(jpeg));
        QCOMPARE(m.attachmentName, QFileInfo(jpegPath).fileName());
    }

    void outlook_everyField() {
        auto f = preview(solid(320, 240, QColor(160, 90, 90)));
        f->CmdPrint_Click(1);
        f->Text11[0]->setText(QStringLiteral("  soporte@tienda.test  "));
        f->Text11[4]->setText(QStringLiteral("copia@tienda.test"));
        f->Text11[2]->setText(QStringLiteral("Descripción con acentos: ñandú."));
        const QByteArray jpeg = fileBytes(f->Text11[3]->Text());
        const int before = receivedCount();
        BoxAnswerer c;
        f->Command24_Click(2);
        QTRY_VERIFY(f.isNull());
        QTRY_COMPARE_WITH_TIMEOUT(receivedCount(), before + 1, 10000); // through sendmail, relayed
        const Received m = received(before + 1);
        // Handed over as typed; the mail system reads the address without the blanks around it.
        QCOMPARE(m.to, QStringLiteral("soporte@tienda.test"));
        QCOMPARE(m.cc, QStringLiteral("copia@tienda.test"));
        QVERIFY(!m.hasBcc); // the blind copy is in the envelope only
        QCOMPARE(m.envelope, (QStringList{QStringLiteral("soporte@tienda.test"), QStringLiteral("copia@tienda.test"),
                                          QStringLiteral("oculto@desarrollo.invalid")}));
        QCOMPARE(m.subject, QStringLiteral("Correo gestor errores    ") + ui::App::EXEName());
        QCOMPARE(m.body, kErrorLine + QStringLiteral("\r\nDescripción con acentos: ñandú."));
        QCOMPARE(sha256(m.attachment), sha256(jpeg));
    }

    void send_failureKeepsTheReport_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reason");
        QTest::newRow("login refused") << 0 << "password"
                                       << "rechazó el usuario o la contraseña";
        QTest::newRow("server down") << 0 << "down"
                                     << "No se pudo enviar el correo por 127.0.0.1";
        QTest::newRow("server never answers") << 0 << "silent"
                                              << "No se pudo enviar el correo por 127.0.0.1";
        QTest::newRow("server answers 4xx") << 0 << "tempfail"
                                            << "No se pudo enviar el correo por 127.0.0.1";
        QTest::newRow("server answers 5xx") << 0 << "permfail"
                                            << "No se pudo enviar el correo por 127.0.0.1";
        QTest::newRow("server drops the connection") << 0 << "drop"
                                                     << "No se pudo enviar el correo por 127.0.0.1";
        QTest::newRow("no sendmail") << 2 << "nosendmail"
                                     << "no hay sistema de correo";
        QTest::newRow("sendmail fails") << 2 << "sendmailfails"
                                        << "no aceptó el mensaje (código 75): buzón lleno";
    }
    void send_failureKeepsTheReport() {
        QFETCH(int, command);
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        auto f = preview(solid(100, 80, Qt::gray));
        pointMapiAtTheTestServer(*f);
        f->CmdPrint_Click(1);
        f->Text11[2]->setText(QStringLiteral("mi descripción"));
        QTemporaryDir dir;
        if (setup == QLatin1String("password")) f->mpmsession->Password = QStringLiteral("otra-clave-secreta");
        if (setup == QLatin1String("silent"))
            f->mpmsession->Server = QStringLiteral("smtp://127.0.0.1:") + env("ZUK_SMTP_SILENT_PORT");
        if (setup == QLatin1String("down")) f->mpmsession->Server = QStringLiteral("smtp://127.0.0.1:9");
        for (const char* refusing : {"tempfail", "permfail", "drop"})
            if (setup == QLatin1String(refusing))
                f->mpmsession->Server =
                    QStringLiteral("smtp://127.0.0.1:") +
                    env(QStringLiteral("ZUK_SMTP_%1_PORT").arg(setup.toUpper()).toLatin1().constData());
        if (setup == QLatin1String("injection"))
            f->Text11[0]->setText(QStringLiteral("soporte@tienda.test\r\nRCPT TO:<otro@tienda.test>"));
        if (setup == QLatin1String("nosendmail"))
            mail::OutlookApplication::setSendmailProgram(dir.filePath(QStringLiteral("sendmail")));
        if (setup == QLatin1String("sendmailfails")) {
            const QString script = dir.filePath(QStringLiteral("sendmail"));
            QFile s(script);
            QVERIFY(s.open(QIODevice::WriteOnly));
            s.write("#!/bin/sh\ncat >/dev/null\necho 'buzón lleno' >&2\nexit 75\n");
            s.close();
            s.setPermissions(s.permissions() | QFileDevice::ExeOwner);
            mail::OutlookApplication::setSendmailProgram(script);
        }
        const int before = receivedCount();
        BoxAnswerer c;
        c.press("Aceptar");
        QElapsedTimer t;
        t.start();
        f->Command24_Click(command);
        QVERIFY2(t.elapsed() < 10000, "the operator waited too long");
        QCOMPARE(c.boxes.size(), std::size_t(1));
        QVERIFY(c.boxes[0].text.startsWith(QStringLiteral("No se pudo enviar el informe de error: ")));
        QVERIFY2(c.boxes[0].text.contains(reason), qPrintable(c.boxes[0].text));
        QVERIFY(!c.boxes[0].text.contains(QStringLiteral("secreto")) &&
                !c.boxes[0].text.contains(QStringLiteral("otra-clave")));
        QVERIFY(!f.isNull() && f->isVisible() && f->framecorreo->isVisible());
        QCOMPARE(f->Text11[2]->Text(), QStringLiteral("mi descripción"));
        QCOMPARE(receivedCount(), before);
    }

    void send_withoutThePicture_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("why"); // "empty", "missing", or the options of a file system mounted on the folder
        for (const int command : {0, 2}) {
            const char* way = command == 0 ? "mapi" : "outlook";
            QTest::addRow("%s, no picture captured", way) << command << "empty";
            QTest::addRow("%s, the file named is not there", way) << command << "missing";
            QTest::addRow("%s, image folder read-only", way) << command << "ro,size=64k";
            QTest::addRow("%s, image folder full", way) << command << "size=8k";
        }
    }
    void send_withoutThePicture() {
        // The picture could not be made, or is not there: the report goes out all the same,
        // without it, saying so; what the operator wrote reaches the developer.
        QFETCH(int, command);
        QFETCH(QString, why);
        auto f = preview(why == QLatin1String("empty") ? QImage() : solid(400, 300, Qt::darkGreen));
        pointMapiAtTheTestServer(*f);
        const QByteArray folder = QFile::encodeName(QFileInfo(f->ImageBasePath).path());
        std::optional<QScopeGuard<std::function<void()>>> unmount;
        if (why.contains(QLatin1String("size="))) {
            if (geteuid() != 0) QSKIP("mounting a small file system needs root");
            if (mount("tmpfs", folder.constData(), "tmpfs", 0, why.toLatin1().constData()) != 0)
                QSKIP("this machine does not allow mounting a file system here");
            unmount.emplace([folder] { umount2(folder.constData(), MNT_DETACH); });
            if (!why.startsWith(QLatin1String("ro"))) {
                QFile filler(QFile::decodeName(folder) + QStringLiteral("/relleno"));
                QVERIFY(filler.open(QIODevice::WriteOnly));
                while (filler.write(QByteArray(1024, 'x')) == 1024 && filler.flush()) {
                }
            }
        }
        f->CmdPrint_Click(1);
        QTemporaryDir dir;
        if (why == QLatin1String("missing")) f->Text11[3]->setText(dir.filePath(QStringLiteral("no.jpg")));
        f->Text11[2]->setText(QStringLiteral("mi descripción"));
        const int before = receivedCount();
        BoxAnswerer c; // no box: it goes out
        f->Command24_Click(command);
        QTRY_VERIFY(f.isNull());
        QTRY_COMPARE_WITH_TIMEOUT(receivedCount(), before + 1, 10000);
        const Received m = received(before + 1);
        QVERIFY(m.attachment.isEmpty());
        QVERIFY2(m.body.contains(QStringLiteral("mi descripción")) && m.body.contains(kErrorLine), qPrintable(m.body));
        // The MAPI way says why the picture is missing; the Outlook way skips the step, as it skips any.
        QCOMPARE(m.body.contains(QStringLiteral("Este informe se envía sin la imagen del error")), command == 0);
    }

    void send_everyRecipientNamed_data() {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("named"); // in the To header
        QTest::addColumn<QStringList>("envelope");
        const QString blind = QStringLiteral("oculto@desarrollo.invalid");
        QTest::newRow("outlook, semicolons") << 2 << "a@x.test; b@y.test" << QStringList{"a@x.test", "b@y.test"}
                                             << QStringList{"a@x.test", "b@y.test", blind};
        QTest::newRow("outlook, a name with a comma")
            << 2 << "\"Pérez, Ana\" <a@x.test>, b@y.test" << QStringList{"Pérez, Ana", "a@x.test", "b@y.test"}
            << QStringList{"a@x.test", "b@y.test", blind};
        QTest::newRow("mapi, semicolons")
            << 0 << "a@x.test;b@y.test" << QStringList{"a@x.test", "b@y.test"} << QStringList{"a@x.test", "b@y.test"};
    }
    void send_everyRecipientNamed() {
        // Every mailbox the envelope carries is named in the To header, read from the text once.
        QFETCH(int, command);
        QFETCH(QString, to);
        QFETCH(QStringList, named);
        QFETCH(QStringList, envelope);
        auto f = preview(solid(60, 40, Qt::yellow));
        pointMapiAtTheTestServer(*f);
        f->CmdPrint_Click(1);
        f->Text11[0]->setText(to);
        f->Text11[4]->setText(QString());
        const int before = receivedCount();
        BoxAnswerer c;
        f->Command24_Click(command);
        QTRY_COMPARE_WITH_TIMEOUT(receivedCount(), before + 1, 10000);
        const Received m = received(before + 1);
        QCOMPARE(m.envelope, envelope);
        for (const QString& n : named)
            QVERIFY2(m.to.contains(n), qPrintable(m.to));
    }

    void report_twoWindowsEachSendItsOwnPicture() {
        // Two reports opened in the same second: each keeps its own picture, and mails it.
        auto a = preview(solid(200, 100, Qt::red));
        auto b = preview(solid(200, 100, Qt::blue));
        a->texterror->setText(QStringLiteral("A a a"));
        QVERIFY(a->ImageBasePath != b->ImageBasePath);
        pointMapiAtTheTestServer(*a);
        a->CmdPrint_Click(1);
        b->CmdPrint_Click(1);
        const QImage pictureOfA(a->Text11[3]->Text());
        QVERIFY(qRed(pictureOfA.pixel(150, 80)) > 200 && qBlue(pictureOfA.pixel(150, 80)) < 60);
        const QByteArray jpegOfA = fileBytes(a->Text11[3]->Text());
        const int before = receivedCount();
        BoxAnswerer c;
        a->Command24_Click(0);
        QTRY_COMPARE_WITH_TIMEOUT(receivedCount(), before + 1, 10000);
        const Received m = received(before + 1);
        QVERIFY(m.body.endsWith(QStringLiteral("A a a")));
        QCOMPARE(sha256(m.attachment), sha256(jpegOfA));
    }

    void close_waitsForTheCommand_data() {
        QTest::addColumn<bool>("print"); // else "EMAIL" and the MAPI send
        QTest::addColumn<bool>("sendFails");
        QTest::newRow("print") << true << false;
        QTest::newRow("send") << false << false;
        QTest::newRow("send that fails") << false << true;
    }
    void close_waitsForTheCommand() {
        // A close reaches the window while its command lets events run (Alt+F4 with the click):
        // the command ends first; then the window closes, or stays with the report if the send
        // failed. (Under the sanitizers, any use of the window after it went fails here.)
        QFETCH(bool, print);
        QFETCH(bool, sendFails);
        auto f = preview(solid(120, 90, Qt::blue));
        pointMapiAtTheTestServer(*f);
        if (sendFails) f->mpmsession->Server = QStringLiteral("smtp://127.0.0.1:9");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("hoja.pdf"));
        if (print)
            printer::Printer::instance().setOutputFile(pdf, 10000, 15000);
        else
            f->CmdPrint_Click(1);
        const int before = receivedCount();
        bool closeArrived = false;
        QTimer::singleShot(0, f, [&] {
            closeArrived = true;
            f->close();
        });
        BoxAnswerer c;
        if (sendFails) c.press("Aceptar");
        if (print)
            f->CmdPrint_Click(0);
        else
            f->Command24_Click(0);
        QVERIFY(closeArrived); // during the command's event pass
        if (print) QVERIFY(QFileInfo(pdf).size() > 0);
        if (sendFails) {
            QTest::qWait(50);
            QVERIFY(!f.isNull() && f->isVisible() && f->framecorreo->isVisible());
            QCOMPARE(receivedCount(), before);
        } else {
            QTRY_VERIFY(f.isNull());
            if (!print) QTRY_COMPARE_WITH_TIMEOUT(receivedCount(), before + 1, 10000);
        }
    }

    void salir_neverClosesTheWindow() {
        auto f = preview(solid(50, 50, Qt::white));
        f->CmdPrint_Click(1);
        QVERIFY(f->framecorreo->isVisible());
        f->Command24_Click(1);
        QVERIFY(!f->framecorreo->isVisible());
        QVERIFY(!f.isNull() && f->isVisible());
        f->CmdPrint_Click(7); // another member of the array: nothing
        f->Command24_Click(-1);
        QVERIFY(!f.isNull() && f->isVisible());
    }
};

QTEST_MAIN(TestReportCommands)
#include "test_report_commands.moc"
