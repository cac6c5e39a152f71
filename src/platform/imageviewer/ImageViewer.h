#pragma once
// The image viewer control: it loads an image file and shows it fitted to the control, writes a
// text onto the loaded image, and saves the image in another format. The file is read whole when
// it is loaded, so the viewer never holds it open.
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace imageviewer {

class ImageViewer : public QWidget {
    Q_OBJECT
public:
    explicit ImageViewer(QWidget* parent = nullptr);

    // Setting a path loads that image file (a name that differs only in the case of its letters
    // finds the file, as names did on the original platform); the empty text unloads it. Only a
    // file that this program saved itself, holding what it saved, is loaded (runtime::wroteFile):
    // in a folder that others write too, a file or a link put at one of those names is passed
    // over, never shown or written into a report.
    void setImageFile(const QString& path);
    void setStampSetting(int16_t setting) { stampSetting_ = setting; }
    // Writes the text onto the loaded image with its top left corner at (x, y), in the image's pixels.
    void StampText(int16_t x, int16_t y, const QString& text);
    // Saves the loaded image, with what was written on it, as basePath + "." + the format in small
    // letters: "JPG" gives a JPEG file.
    void SaveInFormat(const QString& basePath, const QString& format);

    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString file_;
    QImage image_;
    int16_t stampSetting_ = 0;
};

// The files at `path` and those in the same folder whose names differ only in letter case, the
// exact name first.
QStringList filesIgnoringCase(const QString& path);

} // namespace imageviewer
