#pragma once
// A command button with a picture above its caption. Like every button of the platform, it is
// pressed by a click, by the space bar, and by Return or Enter while it has the focus.
#include <QToolButton>

namespace ui {

class PictureButton : public QToolButton {
    Q_OBJECT
public:
    PictureButton(const QString& caption, const QIcon& picture, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace ui
