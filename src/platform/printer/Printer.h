#pragma once
// The system's default printer (the platform's Printer object), over Qt's print support and CUPS.
// Coordinates are in the printer's scale units, twips here, measured from the top left corner of
// the printable area, which is ScaleWidth × ScaleHeight. A document begins with the first drawing
// and goes to the printer with EndDoc.
//
// With no default printer installed, using the printer fails with the platform's printer error
// (Qt alone would fall back to writing a PDF file without a word).
#include <QImage>
#include <QString>
#include <memory>

class QPainter;
class QPrinter;

namespace printer {

enum : int { vbPRORPortrait = 1, vbPRORLandscape = 2 };
enum : int { vbTwips = 1, vbPoints = 2, vbPixels = 3, vbInches = 5, vbMillimeters = 6, vbCentimeters = 7 };

class Printer {
public:
    static Printer& instance(); // the program's one printer object

    int Orientation() const { return orientation_; }
    void setOrientation(int orientation);
    int ScaleMode() const { return vbTwips; }
    float ScaleLeft();
    float ScaleTop();
    float ScaleWidth(); // the printable area's width in the scale mode
    float ScaleHeight();
    // A length converted between scale modes (twips, points, pixels at the screen's resolution...).
    static float ScaleX(float value, int fromScale, int toScale);
    static float ScaleY(float value, int fromScale, int toScale);

    // Draws the picture stretched into the rectangle.
    void PaintPicture(const QImage& picture, float x, float y, float width, float height);
    // Ends the document: the page goes to the printer.
    void EndDoc();

    // Instead of the default printer, a PDF file at `path` of the given page size in twips
    // (no margins): for proofs and checks. An empty path goes back to the default printer.
    void setOutputFile(const QString& path, float pageWidthTwips = 0, float pageHeightTwips = 0);

private:
    Printer();
    ~Printer();
    QPrinter& device(); // the printer of the next document, ready to be drawn on
    void begin();

    int orientation_ = vbPRORPortrait;
    QString outputFile_;
    float pageWidth_ = 0, pageHeight_ = 0;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;
};

} // namespace printer
