#pragma once
// The properties that give a control its look on the platform: its font, its text colour, the
// colour of a button's face and of a container's background.
#include <QColor>
#include <QFont>

class QAbstractButton;
class QWidget;

namespace ui {

// The fonts the windows ask for are Windows' own: MS Sans Serif (also the platform's default
// font, at 8 points), Tahoma and Comic Sans MS. Their free look-alikes take their place, with the
// same widths, so that every caption fits as it was designed and every machine draws the same
// glyphs: Liberation Sans (Arial's widths) for MS Sans Serif, Wine's Tahoma (Debian's fonts-wine),
// and Comic Neue for Comic Sans MS. Done once, when the first window is made; so is the style that
// paints the faces of coloured buttons flat (see setFaceColor).
void usePlatformFonts();

// The families by the names the windows ask for.
inline constexpr const char* kMsSansSerif = "MS Sans Serif";
inline constexpr const char* kTahoma = "Tahoma";
inline constexpr const char* kComicSansMs = "Comic Sans MS";

QFont makeFont(const char* family, double points, bool bold);
void setForeColor(QWidget* control, const QColor& color);
// A button's face in a colour of its own: painted flat, in a raised border, as the platform's
// graphical-style buttons are; its caption stays readable while it is disabled.
void setFaceColor(QAbstractButton* button, const QColor& color);
void setBackColor(QWidget* control, const QColor& color);

} // namespace ui
