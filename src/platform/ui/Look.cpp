#include "platform/ui/Look.h"

#include <QAbstractButton>
#include <QPalette>
#include <QWidget>

namespace ui {

QFont makeFont(const QString& family, double points, bool bold) {
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

namespace {
void setColor(QWidget* control, QPalette::ColorRole role, const QColor& color) {
    QPalette p = control->palette();
    p.setColor(role, color);
    control->setPalette(p);
}
} // namespace

void setForeColor(QWidget* control, const QColor& color) { setColor(control, QPalette::WindowText, color); }

void setFaceColor(QAbstractButton* button, const QColor& color) {
    setColor(button, QPalette::Button, color);
    button->setAutoFillBackground(true);
}

void setBackColor(QWidget* control, const QColor& color) {
    setColor(control, QPalette::Window, color);
    control->setAutoFillBackground(true);
}

} // namespace ui
