#include "platform/ui/Look.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleOption>
#include <QWidget>

namespace ui {

namespace {

constexpr const char* kFaceProperty = "zukFaceColor";

// Buttons whose face has a colour of their own are drawn as the platform draws its graphical-style
// buttons: the face flat in that colour, in a classic raised border (sunken while pressed), the
// focus as a dotted rectangle inside it, and the caption engraved while the button is disabled, dark
// enough to be read on the face.
class FaceStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const bool panel =
            element == PE_PanelButtonCommand || element == PE_PanelButtonTool || element == PE_PanelButtonBevel;
        if (panel && widget && widget->property(kFaceProperty).isValid()) {
            drawFace(option, painter, widget->property(kFaceProperty).value<QColor>());
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (element == CE_PushButtonLabel && button && widget && widget->property(kFaceProperty).isValid() &&
            !(option->state & State_Enabled)) {
            QStyleOptionButton engraved(*button);
            engraved.state |= State_Enabled;
            engraved.palette.setColor(QPalette::ButtonText, Qt::white);
            engraved.rect.translate(1, 1);
            QProxyStyle::drawControl(element, &engraved, painter, widget);
            engraved.rect.translate(-1, -1);
            engraved.palette.setColor(QPalette::ButtonText, QColor(56, 56, 56)); // 3.6:1 on the blue face
            QProxyStyle::drawControl(element, &engraved, painter, widget);
            return;
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }

private:
    static void drawFace(const QStyleOption* option, QPainter* p, const QColor& face) {
        const QRect r = option->rect.adjusted(0, 0, -1, -1);
        p->save();
        p->fillRect(option->rect, face);
        const bool sunken = option->state & (State_Sunken | State_On);
        const QColor light = sunken ? QColor(Qt::black) : QColor(Qt::white);
        const QColor shadow = sunken ? QColor(Qt::white) : QColor(Qt::black);
        const QColor midlight = sunken ? face.darker(150) : face.lighter(125);
        const QColor dark = sunken ? face.lighter(125) : face.darker(150);
        auto edge = [&](const QColor& topLeft, const QColor& bottomRight, const QRect& q) {
            p->setPen(topLeft);
            p->drawLine(q.topLeft(), q.topRight());
            p->drawLine(q.topLeft(), q.bottomLeft());
            p->setPen(bottomRight);
            p->drawLine(q.bottomLeft(), q.bottomRight());
            p->drawLine(q.topRight(), q.bottomRight());
        };
        edge(light, shadow, r);
        edge(midlight, dark, r.adjusted(1, 1, -1, -1));
        if (option->state & State_HasFocus) { // the platform's dotted focus rectangle
            p->setPen(QPen(Qt::black, 1, Qt::DotLine));
            p->drawRect(r.adjusted(3, 3, -3, -3));
        }
        p->restore();
    }
};

} // namespace

void usePlatformFonts() {
    static bool done = false;
    if (done || !qApp) return;
    done = true;
    QApplication::setStyle(new FaceStyle(QApplication::style()->name()));
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
    button->setProperty(kFaceProperty, color);
    button->setAutoFillBackground(true);
}

void setBackColor(QWidget* control, const QColor& color) {
    setColor(control, QPalette::Window, color);
    control->setAutoFillBackground(true);
}

} // namespace ui
