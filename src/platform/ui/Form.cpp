#include "platform/ui/Form.h"
#include "platform/ui/Twips.h"
#include "platform/ui/WindowFrame.h"

#include <QMdiArea>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>

namespace ui {

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {}

QSize Form::margenMarco() const {
    if (QWindow* w = windowHandle()) {
        QMargins m = w->frameMargins();
        if (m.isNull()) {
            // Not framed yet: the frame the window manager will draw.
            if (marcoPrevistoDe_ != w->winId()) {
                marcoPrevisto_ = expectedFrame(w);
                marcoPrevistoDe_ = w->winId();
            }
            m = marcoPrevisto_;
        }
        return {m.left() + m.right(), m.top() + m.bottom()};
    }
    return frameGeometry().size() - size();
}

QSize Form::tamanoExterior() const { return size() + margenMarco(); }

double Form::Left() const {
    if (left_ && aPixelesX(*left_) == pos().x()) return *left_;
    return pos().x() * TwipsPerPixelX();
}

double Form::Top() const {
    if (top_ && aPixelesY(*top_) == pos().y()) return *top_;
    return pos().y() * TwipsPerPixelY();
}

double Form::Width() const {
    const int px = tamanoExterior().width();
    if (width_ && aPixelesX(*width_) == px) return *width_;
    return px * TwipsPerPixelX();
}

double Form::Height() const {
    const int px = tamanoExterior().height();
    if (height_ && aPixelesY(*height_) == px) return *height_;
    return px * TwipsPerPixelY();
}

void Form::setLeft(double twips) {
    left_ = twips;
    aplicarPosicion();
}

void Form::setTop(double twips) {
    top_ = twips;
    aplicarPosicion();
}

void Form::Move(double left, double top) {
    left_ = left;
    top_ = top;
    aplicarPosicion();
}

void Form::setWidth(double twips) {
    width_ = twips;
    clientWidth_.reset();
    aplicarTamano();
}

void Form::setHeight(double twips) {
    height_ = twips;
    clientHeight_.reset();
    aplicarTamano();
}

void Form::setClientWidth(double twips) {
    clientWidth_ = twips;
    width_.reset();
    aplicarTamano();
}

void Form::setClientHeight(double twips) {
    clientHeight_ = twips;
    height_.reset();
    aplicarTamano();
}

void Form::setBordeFijo(bool fijo) {
    fijo_ = fijo;
    aplicarTamano();
}

void Form::setBackColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
    setAutoFillBackground(true);
}

void Form::aplicarPosicion() {
    const int x = left_ ? aPixelesX(*left_) : pos().x();
    const int y = top_ ? aPixelesY(*top_) : pos().y();
    move(x, y);
}

void Form::aplicarTamano() {
    const QSize margen = margenMarco();
    int w = width();
    int h = height();
    if (width_) w = aPixelesX(*width_) - margen.width();
    if (clientWidth_) w = aPixelesX(*clientWidth_);
    if (height_) h = aPixelesY(*height_) - margen.height();
    if (clientHeight_) h = aPixelesY(*clientHeight_);
    w = std::max(w, 1);
    h = std::max(h, 1);
    if (fijo_) {
        setFixedSize(w, h);
    } else {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(w, h);
    }
}

void Form::showEvent(QShowEvent* event) {
    // The frame's size is known once the window exists: outer sizes are applied again.
    aplicarTamano();
    aplicarPosicion();
    QWidget::showEvent(event);
}

MDIForm::MDIForm(QWidget* parent) : Form(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QMdiArea(this));
}

} // namespace ui
