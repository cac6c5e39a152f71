#pragma once
// Pictures and the controls that show them: a picture box that sizes itself to its picture (so
// its inner size, in twips, is the picture's own), and an image control that stretches its
// picture to its own size. An empty picture shows nothing.
#include <QImage>
#include <QWidget>

namespace ui {

using Picture = QImage; // the null image is the empty picture

// Writes the picture to a file as a Windows bitmap (SavePicture).
void SavePicture(const Picture& picture, const QString& path);

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    const Picture& picture() const { return picture_; }
    void setPicture(const Picture& picture);
    // The inner size in twips: the picture's own size, whatever the box's design size was.
    double ScaleWidth() const;
    double ScaleHeight() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Picture picture_;
};

class Image : public QWidget {
    Q_OBJECT
public:
    explicit Image(QWidget* parent = nullptr);
    const Picture& picture() const { return picture_; }
    void setPicture(const Picture& picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Picture picture_;
};

} // namespace ui
