#include "platform/imageviewer/ImageViewer.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace imageviewer {

QStringList filesIgnoringCase(const QString& path) {
    const QFileInfo info(path);
    QStringList found;
    if (info.exists() || info.isSymLink()) found << path;
    const QDir dir = info.dir();
    for (const QString& name : dir.entryList(QDir::Files | QDir::System | QDir::Hidden))
        if (name != info.fileName() && name.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            found << dir.filePath(name);
    return found;
}

namespace {
// The bytes of the file at that name when it is one this program saved; read through the handle
// that was checked, never through a link.
std::optional<QByteArray> ownFileBytes(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::optional<QByteArray> bytes;
    QFile file;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        const QByteArray read = file.readAll();
        if (runtime::wroteFile(fd, read)) bytes = read;
    }
    ::close(fd);
    return bytes;
}
} // namespace

ImageViewer::ImageViewer(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::StrongFocus); }

void ImageViewer::setImageFile(const QString& path) {
    if (path.isEmpty()) {
        file_.clear();
        image_ = QImage();
        update();
        return;
    }
    const QStringList names = filesIgnoringCase(path);
    if (names.isEmpty()) runtime::raise(runtime::err::FileNotFound);
    QString found;
    std::optional<QByteArray> bytes;
    for (const QString& name : names)
        if ((bytes = ownFileBytes(name))) {
            found = name;
            break;
        }
    if (!bytes)
        runtime::raise(runtime::err::PathFileAccessError,
                       QStringLiteral("'%1' no es la imagen que guardó este programa: otro la puso en su lugar.")
                           .arg(QDir::toNativeSeparators(names.front())));
    const QImage loaded = QImage::fromData(*bytes);
    if (loaded.isNull())
        runtime::raise(runtime::err::InvalidPropertyValue,
                       QStringLiteral("No se puede leer la imagen '%1'.").arg(QDir::toNativeSeparators(found)));
    image_ = loaded.convertToFormat(QImage::Format_RGB32);
    file_ = path;
    update();
}

void ImageViewer::StampText(int16_t x, int16_t y, const QString& text) {
    if (image_.isNull()) runtime::raise(runtime::err::InvalidCall);
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(std::max(12, image_.height() / 40));
    // Readable on any picture: light letters with a dark outline.
    QPainterPath path;
    path.addText(QPointF(x, y + QFontMetrics(font).ascent()), font, text);
    p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.fillPath(path, QColor(255, 255, 0));
    update();
}

void ImageViewer::SaveInFormat(const QString& basePath, const QString& format) {
    if (image_.isNull()) runtime::raise(runtime::err::InvalidCall);
    const QString kind = format.toUpper();
    if (kind != QLatin1String("JPG") && kind != QLatin1String("BMP") && kind != QLatin1String("PNG"))
        runtime::raise(runtime::err::InvalidPropertyValue);
    const QString target = basePath + QLatin1Char('.') + kind.toLower();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!image_.save(&buffer, kind.toLatin1().constData(), kind == QLatin1String("JPG") ? 90 : -1) ||
        !runtime::writeFile(target, bytes))
        runtime::raise(runtime::err::PathFileAccessError,
                       QStringLiteral("No se pudo guardar '%1'.").arg(QDir::toNativeSeparators(target)));
}

void ImageViewer::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    if (image_.isNull()) return;
    const QSize fitted = image_.size().scaled(size(), Qt::KeepAspectRatio);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted), image_);
}

} // namespace imageviewer
