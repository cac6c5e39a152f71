#include "platform/ui/Look.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

namespace ui {

void usePlatformFonts() {
    static bool done = false;
    if (done || !qApp) return;
    done = true;
    const QString wine = QStringLiteral("/usr/share/wine/fonts/");
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf"})
        QFontDatabase::addApplicationFont(wine + QString::fromLatin1(file));
    QFont::insertSubstitutions(QLatin1String(kMsSansSerif),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QLatin1String(kTahoma),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QLatin1String(kComicSansMs),
                               {QStringLiteral("Comic Neue"), QStringLiteral("Liberation Sans")});
    QApplication::setFont(makeFont(kMsSansSerif, 8, false));
}

QFont makeFont(const char* family, double points, bool bold) {
    QFont f(QString::fromLatin1(family));
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
