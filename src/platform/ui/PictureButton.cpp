#include "platform/ui/PictureButton.h"

#include <QKeyEvent>

namespace ui {

PictureButton::PictureButton(const QString& caption, const QIcon& picture, QWidget* parent) : QToolButton(parent) {
    setText(caption);
    setIcon(picture);
    setIconSize(QSize(24, 24));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setFocusPolicy(Qt::StrongFocus);
}

void PictureButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QToolButton::keyPressEvent(event);
}

} // namespace ui
