#pragma once
// The form: a top-level window whose Left, Top, Width and Height are its outer position and size
// in twips, title bar and borders included. The values set are the values read back, so half a
// twip survives even though the screen places the window on whole pixels.
#include <QColor>
#include <QMargins>
#include <QWidget>
#include <optional>

namespace ui {

class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);

    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    void setWidth(double twips);
    void setHeight(double twips);
    void Move(double left, double top);

    QString Caption() const { return windowTitle(); }
    void setCaption(const QString& caption) { setWindowTitle(caption); }
    void setBackColor(const QColor& color);

    // A fixed border: the operator cannot resize the window.
    void setFixedBorder(bool fixed);
    void setClientWidth(double twips);
    void setClientHeight(double twips);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool notFramedYet() const;
    QMargins frame() const;
    QPoint outerPosition() const;
    QSize frameSize() const;
    QSize outerSize() const;
    void applySize();
    void applyPosition();

    std::optional<double> left_, top_, width_, height_;
    std::optional<double> clientWidth_, clientHeight_;
    bool fixedBorder_ = false;
    mutable QMargins expectedFrame_;
    mutable WId expectedFrameOf_ = 0;
};

// An MDI parent window: the frame that holds child windows.
class MDIForm : public Form {
    Q_OBJECT
public:
    explicit MDIForm(QWidget* parent = nullptr);
};

} // namespace ui
