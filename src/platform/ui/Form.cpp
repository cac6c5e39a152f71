#include "platform/ui/Form.h"
#include "platform/ui/Look.h"
#include "platform/ui/Twips.h"
#include "platform/ui/WindowFrame.h"

#include <QMdiArea>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>

namespace ui {

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) { usePlatformFonts(); }

bool Form::notFramedYet() const {
    const QWindow* w = windowHandle();
    return w && w->frameMargins().isNull();
}

QMargins Form::frame() const {
    QWindow* w = windowHandle();
    if (!w) { // no native window yet: what the widget knows of its frame
        const QRect f = frameGeometry(), g = geometry();
        return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
    }
    if (!notFramedYet()) return w->frameMargins();
    // Not framed yet: the frame the window manager will draw.
    if (expectedFrameOf_ != w->winId()) {
        expectedFrame_ = expectedFrame(w);
        expectedFrameOf_ = w->winId();
    }
    return expectedFrame_;
}

QSize Form::frameSize() const {
    const QMargins m = frame();
    return {m.left() + m.right(), m.top() + m.bottom()};
}

QSize Form::outerSize() const { return size() + frameSize(); }

QPoint Form::outerPosition() const {
    // Until the window manager has framed the window, the platform reports where its inside is.
    if (notFramedYet()) return geometry().topLeft() - QPoint(frame().left(), frame().top());
    return pos();
}

double Form::Left() const {
    const int px = outerPosition().x();
    if (left_ && toPixelsX(*left_) == px) return *left_;
    return px * TwipsPerPixelX();
}

double Form::Top() const {
    const int px = outerPosition().y();
    if (top_ && toPixelsY(*top_) == px) return *top_;
    return px * TwipsPerPixelY();
}

double Form::Width() const {
    const int px = outerSize().width();
    if (width_ && toPixelsX(*width_) == px) return *width_;
    return px * TwipsPerPixelX();
}

double Form::Height() const {
    const int px = outerSize().height();
    if (height_ && toPixelsY(*height_) == px) return *height_;
    return px * TwipsPerPixelY();
}

void Form::Move(double left, double top) {
    left_ = left;
    top_ = top;
    applyPosition();
}

void Form::setWidth(double twips) {
    width_ = twips;
    clientWidth_.reset();
    applySize();
}

void Form::setHeight(double twips) {
    height_ = twips;
    clientHeight_.reset();
    applySize();
}

void Form::setClientWidth(double twips) {
    clientWidth_ = twips;
    width_.reset();
    applySize();
}

void Form::setClientHeight(double twips) {
    clientHeight_ = twips;
    height_.reset();
    applySize();
}

void Form::setFixedBorder(bool fixed) {
    fixedBorder_ = fixed;
    applySize();
}

void Form::setBackColor(const QColor& color) { ui::setBackColor(this, color); }

void Form::applyPosition() {
    const QPoint current = outerPosition();
    const int x = left_ ? toPixelsX(*left_) : current.x();
    const int y = top_ ? toPixelsY(*top_) : current.y();
    if (notFramedYet()) {
        // Placed by its inside, which the frame will surround where the outer position says.
        const QMargins m = frame();
        setGeometry(QRect(QPoint(x + m.left(), y + m.top()), size()));
        return;
    }
    move(x, y);
}

void Form::applySize() {
    const QSize margin = frameSize();
    int w = width();
    int h = height();
    if (width_) w = toPixelsX(*width_) - margin.width();
    if (clientWidth_) w = toPixelsX(*clientWidth_);
    if (height_) h = toPixelsY(*height_) - margin.height();
    if (clientHeight_) h = toPixelsY(*clientHeight_);
    w = std::max(w, 1);
    h = std::max(h, 1);
    if (fixedBorder_) {
        setFixedSize(w, h);
    } else {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(w, h);
    }
}

void Form::showEvent(QShowEvent* event) {
    // The frame's size is known once the window exists: outer sizes are applied again.
    applySize();
    applyPosition();
    QWidget::showEvent(event);
}

MDIForm::MDIForm(QWidget* parent) : Form(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QMdiArea(this));
}

} // namespace ui
