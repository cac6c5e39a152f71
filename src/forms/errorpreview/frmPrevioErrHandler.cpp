#include "forms/errorpreview/frmPrevioErrHandler.h"
#include "config/ReportMail.h"
#include "errors/Protocol.h"
#include "platform/mail/Outlook.h"
#include "platform/printer/Printer.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"
#include "platform/runtime/Steps.h"
#include "platform/ui/App.h"
#include "platform/ui/Events.h"
#include "platform/ui/Look.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/Twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyle>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace forms {

const QString frmPrevioErrHandler::kCaption = QStringLiteral("Previsualizador de errores");

namespace {

const QColor kNavy(0, 0, 64);
const QColor kYellow(255, 255, 0);

QFont panelFont() { return ui::makeFont(ui::kMsSansSerif, 12, true); }
QFont labelFont() { return ui::makeFont(ui::kMsSansSerif, 9.75, true); }

// The platform's mouse-button and shift codes.
int buttonCode(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}
int shiftCode(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

} // namespace

frmPrevioErrHandler::frmPrevioErrHandler(QWidget* parent) : ui::Form(parent) {
    setObjectName(QStringLiteral("frmPrevioErrHandler"));
    setAttribute(Qt::WA_DeleteOnClose); // closing it ends the instance
    // Shown behind the other windows, it does not take the focus from the one the operator was
    // using (the platform reads this when the window is made, so it is set here).
    setAttribute(Qt::WA_ShowWithoutActivating);
    setCaption(kCaption);
    setWindowIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setClientWidth(11835);
    setClientHeight(8700);
    setMouseTracking(true); // the mouse moves are reported with or without a button pressed

    Frame1 = new QGroupBox(QStringLiteral("Ajustar tamaño a"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    ui::place(Frame1, 120, 0, 3375, 735);
    NormalOption = new QRadioButton(QStringLiteral("Normal"), Frame1);
    NormalOption->setObjectName(QStringLiteral("NormalOption"));
    ui::place(NormalOption, 240, 360, 975, 255);
    NormalOption->setChecked(true);
    FitToPrinterOption = new QRadioButton(QStringLiteral("Máxima area imprimible"), Frame1);
    FitToPrinterOption->setObjectName(QStringLiteral("FitToPrinterOption"));
    ui::place(FitToPrinterOption, 1200, 360, 2055, 255);

    CmdPrint[0] = new QPushButton(QStringLiteral("Imprimir"), this);
    ui::place(CmdPrint[0], 3480, 120, 735, 375);
    CmdPrint[1] = new QPushButton(QStringLiteral("EMAIL"), this);
    ui::place(CmdPrint[1], 3480, 480, 735, 255);

    Text = new ui::TextBox(true, this);
    Text->setObjectName(QStringLiteral("Text"));
    ui::place(Text, 4320, 0, 5655, 495);
    Text->setText(
        QStringLiteral("Por favor pulse el botón enviar por email para agilizar la resolución de los posibles "
                       "errores de programación.\r\n"));
    texterror = new ui::TextBox(true, this);
    texterror->setObjectName(QStringLiteral("texterror"));
    ui::place(texterror, 4320, 450, 5655, 285);

    HiddenPict = new ui::PictureBox(this);
    HiddenPict->setObjectName(QStringLiteral("HiddenPict"));
    ui::place(HiddenPict, 5400, 0, 1695, 735);
    HiddenPict->setVisible(false);

    img1 = new imageviewer::ImageViewer(this);
    img1->setObjectName(QStringLiteral("img1"));
    ui::place(img1, 10080, 0, 1215, 735);

    Image1 = new ui::Image(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    ui::place(Image1, 0, 840, 11775, 7815);

    createEmailPanel();
    mpmsession = std::make_unique<mail::MAPISession>(); // the stored account of the build
    mpmmessage = std::make_unique<mail::MAPIMessages>();

    for (const auto& [index, button] : CmdPrint) {
        button->setObjectName(QStringLiteral("CmdPrint_%1").arg(index));
        button->setAutoDefault(true); // Return presses the focused button
        connect(button, &QPushButton::clicked, this,
                [this, i = index] { ui::handleEvent([&] { CmdPrint_Click(i); }); });
    }
}

void frmPrevioErrHandler::createEmailPanel() {
    framecorreo = new QGroupBox(QStringLiteral("Envío por correo electrónico"), this);
    framecorreo->setObjectName(QStringLiteral("framecorreo"));
    ui::place(framecorreo, 0, 840, 11775, 7815);
    ui::setBackColor(framecorreo, kNavy);
    ui::setForeColor(framecorreo, kYellow);
    framecorreo->setFont(panelFont());
    framecorreo->setVisible(false);

    struct LabelSpec {
        int index;
        double left, top, width, height;
        const char* caption;
    };
    const LabelSpec labels[] = {
        {13, 240, 480, 1935, 375, "Usuario:"},
        {14, 240, 840, 1935, 375, "Asunto:"},
        {15, 1920, 1800, 7935, 375, "Escriba aquí una breve descripción de como ocurrió el error:"},
        {16, 240, 5040, 2415, 375, "Fichero Adjunto:"},
        {0, 3720, 6000, 5775, 375, "Haga click aquí si dispone de Outlook Express u otros"},
        {1, 4200, 6480, 5775, 375, "Haga click aquí SOLO SI DISPONE DE OUTLOOK"},
    };
    for (const LabelSpec& l : labels) {
        auto* label = new QLabel(QString::fromUtf8(l.caption), framecorreo);
        label->setObjectName(QStringLiteral("Label7_%1").arg(l.index));
        ui::place(label, l.left, l.top, l.width, l.height);
        label->setFont(labelFont());
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop); // a label's text starts at its top
        ui::setForeColor(label, kYellow);
        ui::setBackColor(label, kNavy);
        Label7[l.index] = label;
    }

    struct BoxSpec {
        int index;
        bool multiLine;
        double left, top, width, height;
        QString text;
    };
    const BoxSpec boxes[] = {
        {0, false, 1560, 360, 3975, 420, QString::fromUtf8(config::kSupportMailbox)},
        {4, false, 5640, 360, 4095, 420, QString::fromUtf8(config::kCopyMailbox)},
        {1, true, 1560, 840, 8295, 900, QStringLiteral("Correo gestor errores \r\n")},
        {2, true, 120, 2040, 11535, 2820, QString()},
        {3, false, 240, 5400, 11415, 420, QString()},
    };
    for (const BoxSpec& b : boxes) {
        auto* box = new ui::TextBox(b.multiLine, framecorreo);
        box->setObjectName(QStringLiteral("Text11_%1").arg(b.index));
        ui::place(box, b.left, b.top, b.width, b.height);
        box->setFont(panelFont());
        box->setText(b.text);
        Text11[b.index] = box;
    }
    Text11[3]->setEnabled(false); // the attachment is filled in by "EMAIL", not typed

    struct ButtonSpec {
        int index;
        double top;
        const char* caption;
    };
    for (const ButtonSpec& b :
         {ButtonSpec{0, 6000, "&Enviar mapi"}, ButtonSpec{2, 6480, "&Enviar Outlook"}, ButtonSpec{1, 6960, "&Salir"}}) {
        auto* button = new QPushButton(QString::fromUtf8(b.caption), framecorreo);
        button->setObjectName(QStringLiteral("Command24_%1").arg(b.index));
        ui::place(button, 9600, b.top, 2055, 375);
        button->setFont(panelFont());
        button->setAutoDefault(true);
        connect(button, &QPushButton::clicked, this,
                [this, i = b.index] { ui::handleEvent([&] { Command24_Click(i); }); });
        Command24[b.index] = button;
    }
    // Tab order: the addresses, the subject, the description, then the commands.
    setTabOrder(Text11[0], Text11[4]);
    setTabOrder(Text11[4], Text11[1]);
    setTabOrder(Text11[1], Text11[2]);
    setTabOrder(Text11[2], Command24[0]);
    setTabOrder(Command24[0], Command24[2]);
    setTabOrder(Command24[2], Command24[1]);
}

void frmPrevioErrHandler::Load() {
    if (loaded_) return;
    loaded_ = true;
    create(); // loading makes the window, unseen
    Form_Load();
}

void frmPrevioErrHandler::Form_Load() {
    // Every step runs with failures ignored: an unwritable program folder leaves the image folder
    // uncreated, and the base path is set all the same.
    runtime::runStepsSkippingFailures(1, [&](int step) -> int {
        switch (step) {
        case 1: ReportPicture::makeFolder(ui::App::Path() + QStringLiteral("/imagenerror")); break;
        case 2:
            ImageBasePath = picture_.hold(ReportPicture::basePathFor(ui::App::Path(), QDateTime::currentDateTime()));
            return runtime::kEnd;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
}

frmPrevioErrHandler::~frmPrevioErrHandler() = default;

void frmPrevioErrHandler::closeEvent(QCloseEvent* event) {
    if (commands_ > 0) {
        closeAsked_ = true;
        event->ignore();
        return;
    }
    ui::Form::closeEvent(event);
}

void frmPrevioErrHandler::Form_Resize() {
    // Nothing moves: every control keeps its place and size whatever the window's size.
    errors::runGuarded(errors::id::PrevioErrHandler_Form_Resize, [](int) { return runtime::kEnd; });
}

void frmPrevioErrHandler::Form_MouseDown(int, int, float X, float Y) {
    errors::runGuarded(errors::id::PrevioErrHandler_Form_MouseDown, [&](int step) {
        switch (step) {
        case 1: IsDrawing = -1; break;
        case 2: current_ = QPointF(X, Y); return runtime::kEnd;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
}

void frmPrevioErrHandler::Form_MouseMove(int, int, float X, float Y) {
    errors::runGuarded(errors::id::PrevioErrHandler_Form_MouseMove, [&](int step) {
        switch (step) {
        case 1: return IsDrawing ? step + 1 : runtime::kEnd;
        case 2: Line(X, Y); return runtime::kEnd;
        default: return runtime::kEnd;
        }
    });
}

void frmPrevioErrHandler::Form_MouseUp(int, int, float, float) {
    errors::runGuarded(errors::id::PrevioErrHandler_Form_MouseUp, [&](int) {
        IsDrawing = 0;
        return runtime::kEnd;
    });
}

void frmPrevioErrHandler::Line(float X, float Y) {
    const QPointF to(X, Y);
    const auto pixels = [](QPointF twips) {
        return QPointF(twips.x() / ui::TwipsPerPixelX(), twips.y() / ui::TwipsPerPixelY());
    };
    lines_.emplace_back(pixels(current_), pixels(to));
    current_ = to;
    update();
}

void frmPrevioErrHandler::paintEvent(QPaintEvent* event) {
    ui::Form::paintEvent(event);
    if (lines_.empty()) return;
    // The lines stay on the window's own surface until it closes (the controls lie above it);
    // they never reach the pictures or any file.
    QPainter p(this);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1));
    for (const QLineF& l : lines_)
        p.drawLine(l);
}

namespace {
QPointF twipsOf(QMouseEvent* event) {
    const QPointF px = event->position();
    return {px.x() * ui::TwipsPerPixelX(), px.y() * ui::TwipsPerPixelY()};
}
} // namespace

void frmPrevioErrHandler::mousePressEvent(QMouseEvent* event) {
    // The window's surface only: a press on a control (the screenshot, the panel) is the control's.
    if (childAt(event->position().toPoint())) return;
    const QPointF at = twipsOf(event);
    Form_MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), static_cast<float>(at.x()),
                   static_cast<float>(at.y()));
}

void frmPrevioErrHandler::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = twipsOf(event);
    Form_MouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()), static_cast<float>(at.x()),
                   static_cast<float>(at.y()));
}

void frmPrevioErrHandler::mouseReleaseEvent(QMouseEvent* event) {
    const QPointF at = twipsOf(event);
    Form_MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), static_cast<float>(at.x()),
                 static_cast<float>(at.y()));
}

void frmPrevioErrHandler::resizeEvent(QResizeEvent* event) {
    ui::Form::resizeEvent(event);
    Form_Resize();
}

} // namespace forms
