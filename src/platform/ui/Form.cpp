#include "platform/ui/Form.h"
#include "platform/ui/Twips.h"
#include "platform/ui/WindowFrame.h"

#include <QMdiArea>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>

namespace ui {

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {}

bool Form::sinMarcoAun() const {
    const QWindow* w = windowHandle();
    return w && w->frameMargins().isNull();
}

QMargins Form::marco() const {
    QWindow* w = windowHandle();
    if (!w) { // no native window yet: what the widget knows of its frame
        const QRect f = frameGeometry(), g = geometry();
        return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
    }
    if (!sinMarcoAun()) return w->frameMargins();
    // Not framed yet: the frame the window manager will draw.
    if (marcoPrevistoDe_ != w->winId()) {
        marcoPrevisto_ = expectedFrame(w);
        marcoPrevistoDe_ = w->winId();
    }
    return marcoPrevisto_;
}

QSize Form::margenMarco() const {
    const QMargins m = marco();
    return {m.left() + m.right(), m.top() + m.bottom()};
}

QSize Form::tamanoExterior() const { return size() + margenMarco(); }

QPoint Form::posicionExterior() const {
    // Until the window manager has framed the window, the platform reports where its inside is.
    if (sinMarcoAun()) return geometry().topLeft() - QPoint(marco().left(), marco().top());
    return pos();
}

double Form::Left() const {
    const int px = posicionExterior().x();
    if (left_ && aPixelesX(*left_) == px) return *left_;
    return px * TwipsPerPixelX();
}

double Form::Top() const {
    const int px = posicionExterior().y();
    if (top_ && aPixelesY(*top_) == px) return *top_;
    return px * TwipsPerPixelY();
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
    const QPoint actual = posicionExterior();
    const int x = left_ ? aPixelesX(*left_) : actual.x();
    const int y = top_ ? aPixelesY(*top_) : actual.y();
    if (sinMarcoAun()) {
        // Placed by its inside, which the frame will surround where the outer position says.
        const QMargins m = marco();
        setGeometry(QRect(QPoint(x + m.left(), y + m.top()), size()));
        return;
    }
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
