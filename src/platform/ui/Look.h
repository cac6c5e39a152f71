#pragma once
// The properties that give a control its look on the platform: its font, its text colour, the
// colour of a button's face and of a container's background.
#include <QColor>
#include <QFont>

class QAbstractButton;
class QWidget;

namespace ui {

QFont makeFont(const QString& family, double points, bool bold);
void setForeColor(QWidget* control, const QColor& color);
void setFaceColor(QAbstractButton* button, const QColor& color);
void setBackColor(QWidget* control, const QColor& color);

} // namespace ui
