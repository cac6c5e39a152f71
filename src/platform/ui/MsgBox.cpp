#include "platform/ui/MsgBox.h"
#include "platform/runtime/Failure.h"
#include "platform/runtime/OperatorWait.h"
#include "platform/ui/App.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpacerItem>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace ui {

namespace {

// What a window manager's title bar takes beside the title: its margins, the window's icon, and
// the close button (a box has no other).
constexpr int kTitleBarButtons = 90;

struct ButtonSpec {
    int id;
    const char* caption;
};

std::vector<ButtonSpec> buttonSet(int buttons) {
    switch (buttons & kButtonSetMask) {
    case vbOKCancel: return {{vbOK, "Aceptar"}, {vbCancel, "Cancelar"}};
    case vbAbortRetryIgnore: return {{vbAbort, "Anular"}, {vbRetry, "Reintentar"}, {vbIgnore, "Omitir"}};
    case vbYesNoCancel: return {{vbYes, "Sí"}, {vbNo, "No"}, {vbCancel, "Cancelar"}};
    case vbYesNo: return {{vbYes, "Sí"}, {vbNo, "No"}};
    case vbRetryCancel: return {{vbRetry, "Reintentar"}, {vbCancel, "Cancelar"}};
    default: return {{vbOK, "Aceptar"}};
    }
}

QStyle::StandardPixmap iconOf(int buttons) {
    switch (buttons & kIconMask) {
    case vbCritical: return QStyle::SP_MessageBoxCritical;
    case vbQuestion: return QStyle::SP_MessageBoxQuestion;
    case vbExclamation: return QStyle::SP_MessageBoxWarning;
    case vbInformation: return QStyle::SP_MessageBoxInformation;
    default: return QStyle::SP_CustomBase;
    }
}

} // namespace

// Text longer than the screen allows wraps, as the platform's box wraps it, so that the buttons
// always stay on the screen; a text taller than the screen scrolls.
QWidget* MessageBox::textArea(const QString& prompt, QWidget* parent) {
    auto* text = new QLabel;
    text->setObjectName(QStringLiteral("prompt"));
    text->setTextFormat(Qt::PlainText);
    QString shown = QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text->setText(shown);

    const QScreen* screen = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int maxWidth = std::max(200, available.width() * 5 / 8);
    const int maxHeight = std::max(100, available.height() * 2 / 3);
    int width = 0;
    for (const QString& line : shown.split(QLatin1Char('\n')))
        width = std::max(width, text->fontMetrics().horizontalAdvance(line));
    if (width > maxWidth) {
        // Words longer than a line (a path, say) may break anywhere.
        QString broken;
        int run = 0;
        for (const QChar c : shown) {
            broken += c;
            run = c.isSpace() ? 0 : run + 1;
            if (run >= 24) {
                broken += QChar(0x200B);
                run = 0;
            }
        }
        text->setText(broken);
        text->setWordWrap(true);
        text->setFixedWidth(maxWidth);
        text->setFixedHeight(text->heightForWidth(maxWidth));
    }
    if (text->sizeHint().height() <= maxHeight) return text;
    auto* scroller = new QScrollArea;
    scroller->setWidget(text);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller->setFixedSize(
        std::min(maxWidth, text->sizeHint().width()) + scroller->verticalScrollBar()->sizeHint().width(), maxHeight);
    return scroller;
}

MessageBox::MessageBox(const QString& prompt, int buttons, const QString& title, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
    setObjectName(QStringLiteral("CajaMensaje"));
    setWindowTitle(title);
    setModal(true);
    setWindowModality(Qt::ApplicationModal);

    const auto set = buttonSet(buttons);
    for (const auto& b : set)
        if (b.id == vbCancel) escapeCode_ = vbCancel;
    if (set.size() == 1) escapeCode_ = vbOK;
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (escapeCode_) flags |= Qt::WindowCloseButtonHint;
    setWindowFlags(flags);

    auto* root = new QVBoxLayout(this);
    root->setSizeConstraint(QLayout::SetFixedSize); // relabelled buttons resize the box
    auto* row = new QHBoxLayout;
    if (iconOf(buttons) != QStyle::SP_CustomBase) {
        auto* img = new QLabel(this);
        img->setPixmap(style()->standardIcon(iconOf(buttons)).pixmap(32, 32));
        img->setAlignment(Qt::AlignTop);
        row->addWidget(img);
    }
    row->addWidget(textArea(prompt, parent), 1);
    root->addLayout(row);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    int defaultButton = (buttons & kDefaultButtonMask) >> kDefaultButtonShift;
    if (defaultButton >= static_cast<int>(set.size())) defaultButton = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        auto* button = new QPushButton(QString::fromUtf8(set[i].caption), this);
        button->setProperty("ctrlId", set[i].id);
        button->setMinimumWidth(88);
        // The focused button is the default: Tab to "Salir" and Return presses "Salir".
        button->setAutoDefault(true);
        const int code = set[i].id;
        connect(button, &QPushButton::clicked, this, [this, code] { press(code); });
        buttonRow->addWidget(button);
        buttons_.push_back(button);
    }
    buttonRow->addStretch();
    root->addLayout(buttonRow);
    // The title fits in the window manager's title bar, beside its buttons: a box is never narrower
    // than that (the bar's font is a bold one of the desktop's size).
    QFont barFont = QApplication::font();
    barFont.setBold(true);
    barFont.setPointSizeF(std::max(barFont.pointSizeF(), 9.0));
    root->addSpacerItem(new QSpacerItem(QFontMetrics(barFont).horizontalAdvance(title) + kTitleBarButtons, 0,
                                        QSizePolicy::Fixed, QSizePolicy::Fixed));
    buttons_[defaultButton]->setDefault(true);
    buttons_[defaultButton]->setFocus();
}

QPushButton* MessageBox::button(int controlId) const {
    for (auto* b : buttons_)
        if (b->property("ctrlId").toInt() == controlId) return b;
    return nullptr;
}

void MessageBox::press(int code) {
    pressed_ = true;
    done(code);
}

void MessageBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (escapeCode_) press(escapeCode_);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MessageBox::closeEvent(QCloseEvent* event) {
    if (pressed_) {
        event->accept();
        return;
    }
    event->ignore();
    if (escapeCode_) press(escapeCode_);
}

void MessageBox::reject() {
    if (escapeCode_) press(escapeCode_);
}

namespace {

int showBox(const QString& prompt, int buttons, const QString& title) {
    QPointer<QWidget> previous = QApplication::activeWindow();
    if (!previous) previous = QApplication::activeModalWidget();
    QPointer<MessageBox> box = new MessageBox(prompt, buttons, title.isNull() ? App::Title() : title, previous);
    const int code = box->exec();
    delete box;
    if (previous && previous->isVisible()) {
        previous->activateWindow();
        QApplication::setActiveWindow(previous);
    }
    return code;
}

bool waitPrepared = false;

} // namespace

void beforeOperatorWait(bool programEnds) {
    static bool settling = false;
    if (settling) return; // the box that reports a failure here
    settling = true;
    const auto done = qScopeGuard([] { settling = false; });
    // What cannot be settled is told at once; the operator may try again, or go on.
    for (;;) {
        try {
            runtime::beforeOperatorWait(programEnds);
            break;
        } catch (const runtime::Failure& f) {
            if (showBox(f.Description(), vbRetryCancel | vbExclamation, App::Title()) != vbRetry) break;
        }
    }
    for (const QString& message : runtime::takeMessagesForOperator())
        showBox(message, vbOKOnly | vbExclamation, App::Title());
    waitPrepared = !programEnds;
}

int MsgBox(const QString& prompt, int buttons, const QString& title) {
    if (!waitPrepared) beforeOperatorWait();
    waitPrepared = false;
    return showBox(prompt, buttons, title);
}

} // namespace ui
