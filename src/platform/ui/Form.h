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
    void setLeft(double twips);
    void setTop(double twips);
    void setWidth(double twips);
    void setHeight(double twips);
    void Move(double left, double top);

    QString Caption() const { return windowTitle(); }
    void setCaption(const QString& caption) { setWindowTitle(caption); }
    void setBackColor(const QColor& color);

    // A fixed border: the operator cannot resize the window.
    void setBordeFijo(bool fijo);
    void setClientWidth(double twips);
    void setClientHeight(double twips);

    virtual bool esMDI() const { return false; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool sinMarcoAun() const;
    QMargins marco() const;
    QPoint posicionExterior() const;
    QSize margenMarco() const;
    QSize tamanoExterior() const;
    void aplicarTamano();
    void aplicarPosicion();

    std::optional<double> left_, top_, width_, height_;
    std::optional<double> clientWidth_, clientHeight_;
    bool fijo_ = false;
    mutable QMargins marcoPrevisto_;
    mutable WId marcoPrevistoDe_ = 0;
};

// An MDI parent window: the frame that holds child windows.
class MDIForm : public Form {
    Q_OBJECT
public:
    explicit MDIForm(QWidget* parent = nullptr);
    bool esMDI() const override { return true; }
};

} // namespace ui
