#include "platform/ui/Picture.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"
#include "platform/ui/Twips.h"

#include <QBuffer>
#include <QPainter>

namespace ui {

void SavePicture(const Picture& picture, const QString& path) {
    if (picture.isNull()) runtime::raise(runtime::err::InvalidPropertyValue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!picture.save(&buffer, "BMP") || !runtime::writeFile(path, bytes))
        runtime::raise(runtime::err::PathFileAccessError);
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {}

void PictureBox::setPicture(const Picture& picture) {
    picture_ = picture;
    if (!picture_.isNull()) resize(picture_.size() / picture_.devicePixelRatio()); // AutoSize
    update();
}

double PictureBox::ScaleWidth() const { return picture_.isNull() ? 0 : width() * TwipsPerPixelX(); }
double PictureBox::ScaleHeight() const { return picture_.isNull() ? 0 : height() * TwipsPerPixelY(); }

void PictureBox::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter(this).drawImage(QPoint(0, 0), picture_);
}

Image::Image(QWidget* parent) : QWidget(parent) {}

void Image::setPicture(const Picture& picture) {
    picture_ = picture;
    update();
}

void Image::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), picture_); // Stretch
}

} // namespace ui
