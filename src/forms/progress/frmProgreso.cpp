#include "forms/progress/frmProgreso.h"
#include "errors/Protocol.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/ui/Events.h"
#include "platform/ui/Look.h"
#include "platform/ui/Twips.h"
#include "util/ProgressText.h"
#include "util/basForm.h"

#include <QCloseEvent>

namespace forms {

namespace {
constexpr double kInfoLeft = 4800, kInfoWidth = 585; // the label as created, in twips
} // namespace

const QString frmProgreso::kCaption = QStringLiteral("Espere por favor, realizando tareas necesarias....");

frmProgreso::frmProgreso(QWidget* parent) : ui::Form(parent) {
    setObjectName(QStringLiteral("frmProgreso"));
    setWindowIcon(QIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setBackColor(QColor(192, 192, 192));
    setFixedBorder(true);
    setClientWidth(10170);
    setClientHeight(1185);

    barra = new ui::ProgressBar(this);
    barra->setObjectName(QStringLiteral("barra"));
    ui::place(barra, 120, 480, 9855, 615);

    lblInfo = new QLabel(this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    lblInfo->setFont(ui::makeFont(ui::kComicSansMs, 11.25, true));
    ui::setForeColor(lblInfo, QColor(0, 0, 128));
    lblInfo->setAlignment(Qt::AlignCenter);
    lblInfo->setFocusPolicy(Qt::NoFocus);

    connect(barra, &ui::ProgressBar::Click, this, [this] { ui::handleEvent([this] { barra_Click(); }); });
    applyDesignValues();
}

void frmProgreso::applyDesignValues() {
    setCaption(kCaption);
    barra->resetToDefaults();
    lblInfo->clear();
    ui::place(lblInfo, kInfoLeft, 120, kInfoWidth, 315);
}

void frmProgreso::Load() {
    if (loaded_) return;
    loaded_ = true;
    create(); // loading makes the window, unseen: its frame, and so its outer size, is known
    Form_Load();
}

void frmProgreso::closeEvent(QCloseEvent* event) {
    // Closing unloads the window: its controls go back to how they were designed, and the next
    // use loads it afresh. Its public fields keep their values.
    event->accept();
    loaded_ = false;
    applyDesignValues();
}

void frmProgreso::Show() {
    Load();
    show();
}

void frmProgreso::Form_Load() {
    constexpr int kLoopTest = 8; // the test of the pre-fill loop
    int32_t i = 0;
    errors::runGuarded(errors::id::Progreso_Form_Load, [&](int step) -> int {
        switch (step) {
        case 1: parar = false; break;
        case 2: util::basForm::CentrarFrm(this); break;
        case 3: return intervalo == 0 ? runtime::kEnd : step + 1;
        case 4: barra->setMin(0); break;
        case 5: barra->setValue(0.0f); break;
        case 6: barra->setMax(runtime::toSingle(runtime::addLong(intervalo, 1))); break;
        // For i = 0 To intervalo: the bar ends one step short of full.
        case 7: i = 0; break;
        case kLoopTest: return i <= intervalo ? step + 1 : runtime::kEnd;
        case 9: barra->setValue(static_cast<float>(i)); break;
        case 10: i = runtime::addLong(i, 1); return kLoopTest;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
}

void frmProgreso::progreso(int32_t value, int32_t max, bool& donde, QString& TEXTO) {
    util::progreso(
        errors::id::Progreso_progreso, value, max, donde, TEXTO, [this](const QString& t) { setCaption(t); },
        [this](const QString& t) { setInfoText(t); });
}

void frmProgreso::setInfoText(const QString& text) {
    // The label sizes itself to its text, keeping its midline over the bar's.
    const int midline = ui::toPixelsX(kInfoLeft + kInfoWidth / 2); // its midline as created
    lblInfo->setText(text);
    lblInfo->adjustSize();
    lblInfo->move(midline - lblInfo->width() / 2, lblInfo->y());
}

void frmProgreso::barra_Click() {
    errors::runGuarded(errors::id::Progreso_barra_Click, [&](int step) -> int {
        if (step == 1) parar = true;
        return runtime::kEnd;
    });
}

} // namespace forms
