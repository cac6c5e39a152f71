#include "platform/printer/Printer.h"
#include "platform/runtime/Failure.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <cups/cups.h>

namespace printer {

namespace {

// How many twips one unit of a scale mode is.
double twipsPer(int scale, bool horizontal) {
    switch (scale) {
    case vbTwips: return 1;
    case vbPoints: return 20;
    case vbInches: return 1440;
    case vbMillimeters: return 1440 / 25.4;
    case vbCentimeters: return 1440 / 2.54;
    case vbPixels: {
        const QScreen* s = QGuiApplication::primaryScreen();
        const double dpi = s ? (horizontal ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96;
        return 1440 / (dpi > 0 ? dpi : 96);
    }
    default: runtime::raise(runtime::err::InvalidCall);
    }
}

[[noreturn]] void raiseNoPrinter() {
    runtime::raise(runtime::err::PrinterError,
                   QStringLiteral("No hay ninguna impresora predeterminada instalada en este equipo."));
}

// A queue that refuses new jobs (cupsreject, or a full spool) would swallow the document without
// a word: Qt's print engine does not report what CUPS answers. It is asked first.
void requireAcceptingJobs(const QString& queue) {
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.toUtf8().constData(), nullptr);
    if (!dest) return; // not a CUPS queue: nothing more to ask
    const char* accepting = cupsGetOption("printer-is-accepting-jobs", dest->num_options, dest->options);
    const char* reason = cupsGetOption("printer-state-message", dest->num_options, dest->options);
    const bool refuses = accepting && QByteArray(accepting).compare("false", Qt::CaseInsensitive) == 0;
    const QString why = reason && *reason ? QStringLiteral(" (%1)").arg(QString::fromUtf8(reason)) : QString();
    cupsFreeDests(1, dest);
    if (refuses)
        runtime::raise(runtime::err::PrinterError,
                       QStringLiteral("La impresora '%1' no acepta trabajos ahora%2.").arg(queue, why));
}

} // namespace

Printer& Printer::instance() {
    static Printer p;
    return p;
}

Printer::Printer() = default;
Printer::~Printer() = default;

void Printer::setOutputFile(const QString& path, float pageWidthTwips, float pageHeightTwips) {
    painter_.reset();
    printer_.reset();
    outputFile_ = path;
    pageWidth_ = pageWidthTwips;
    pageHeight_ = pageHeightTwips;
}

QPrinter& Printer::device() {
    if (printer_) return *printer_;
    if (outputFile_.isEmpty()) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) raiseNoPrinter();
        requireAcceptingJobs(info.printerName());
        printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
        if (!printer_->isValid()) raiseNoPrinter();
    } else {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer_->setOutputFormat(QPrinter::PdfFormat);
        printer_->setOutputFileName(outputFile_);
        if (pageWidth_ > 0 && pageHeight_ > 0) {
            printer_->setPageSize(QPageSize(QSizeF(pageWidth_ / 20.0, pageHeight_ / 20.0), QPageSize::Point,
                                            QStringLiteral("Prueba"), QPageSize::ExactMatch));
            printer_->setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Point);
        }
    }
    printer_->setPageOrientation(orientation_ == vbPRORLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    return *printer_;
}

void Printer::setOrientation(int orientation) {
    if (orientation != vbPRORPortrait && orientation != vbPRORLandscape)
        runtime::raise(runtime::err::InvalidPropertyValue);
    QPrinter& p = device();
    orientation_ = orientation;
    if (!painter_) // the orientation of a page already begun stays
        p.setPageOrientation(orientation_ == vbPRORLandscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

float Printer::ScaleLeft() {
    device();
    return 0;
}

float Printer::ScaleTop() {
    device();
    return 0;
}

float Printer::ScaleWidth() { return static_cast<float>(device().pageLayout().paintRectPixels(1440).width()); }

float Printer::ScaleHeight() { return static_cast<float>(device().pageLayout().paintRectPixels(1440).height()); }

float Printer::ScaleX(float value, int fromScale, int toScale) {
    return static_cast<float>(value * twipsPer(fromScale, true) / twipsPer(toScale, true));
}

float Printer::ScaleY(float value, int fromScale, int toScale) {
    return static_cast<float>(value * twipsPer(fromScale, false) / twipsPer(toScale, false));
}

void Printer::begin() {
    if (painter_) return;
    QPrinter& p = device();
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(&p)) {
        painter_.reset();
        printer_.reset();
        runtime::raise(runtime::err::PrinterError, QStringLiteral("La impresora no pudo empezar el documento."));
    }
    // From here on the painter draws in twips from the printable area's corner.
    const double perTwip = p.resolution() / 1440.0;
    painter_->scale(perTwip, perTwip);
    painter_->setRenderHint(QPainter::SmoothPixmapTransform);
}

void Printer::PaintPicture(const QImage& picture, float x, float y, float width, float height) {
    if (picture.isNull()) runtime::raise(runtime::err::InvalidCall);
    begin();
    painter_->drawImage(QRectF(x, y, width, height), picture);
}

void Printer::EndDoc() {
    if (!painter_) return; // nothing drawn, nothing to send
    const bool ok = painter_->end();
    painter_.reset();
    printer_.reset(); // the next document starts afresh, as the default printer is then
    if (!ok) runtime::raise(runtime::err::PrinterError, QStringLiteral("La impresora no aceptó el documento."));
}

} // namespace printer
