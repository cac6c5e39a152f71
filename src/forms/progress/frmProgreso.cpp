#include "forms/progress/frmProgreso.h"
#include "errors/Protocolo.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/ui/Events.h"
#include "platform/ui/Twips.h"
#include "util/Progreso.h"
#include "util/basForm.h"

#include <QCloseEvent>

namespace {
constexpr double kInfoLeft = 4800, kInfoWidth = 585; // the label as created, in twips
} // namespace

const QString frmProgreso::kTitulo = QStringLiteral("Espere por favor, realizando tareas necesarias....");

frmProgreso::frmProgreso(QWidget* parent) : ui::Form(parent) {
    setObjectName(QStringLiteral("frmProgreso"));
    setWindowIcon(QIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setBackColor(QColor(192, 192, 192));
    setBordeFijo(true);
    setClientWidth(10170);
    setClientHeight(1185);

    barra = new ui::ProgressBar(this);
    barra->setObjectName(QStringLiteral("barra"));
    ui::colocar(barra, 120, 480, 9855, 615);

    lblInfo = new QLabel(this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    QFont f(QStringLiteral("Comic Sans MS"));
    f.setPointSizeF(11.25);
    f.setBold(true);
    lblInfo->setFont(f);
    QPalette p = lblInfo->palette();
    p.setColor(QPalette::WindowText, QColor(0, 0, 128));
    lblInfo->setPalette(p);
    lblInfo->setAlignment(Qt::AlignCenter);
    lblInfo->setFocusPolicy(Qt::NoFocus);

    connect(barra, &ui::ProgressBar::Click, this, [this] { ui::enEvento([this] { barra_Click(); }); });
    valoresDeDiseno();
}

void frmProgreso::valoresDeDiseno() {
    setCaption(kTitulo);
    barra->resetToDefaults();
    lblInfo->clear();
    ui::colocar(lblInfo, kInfoLeft, 120, kInfoWidth, 315);
}

void frmProgreso::Load() {
    if (cargada_) return;
    cargada_ = true;
    create(); // loading makes the window, unseen: its frame, and so its outer size, is known
    Form_Load();
}

void frmProgreso::closeEvent(QCloseEvent* event) {
    // Closing unloads the window: its controls go back to how they were designed, and the next
    // use loads it afresh. Its public fields keep their values.
    event->accept();
    cargada_ = false;
    valoresDeDiseno();
}

void frmProgreso::Show() {
    Load();
    show();
}

void frmProgreso::Form_Load() {
    int32_t i = 0;
    errores::runGuarded(errores::id::Progreso_Form_Load, [&](int paso) {
        switch (paso) {
        case 1: parar = false; break;
        case 2: basForm::CentrarFrm(this); break;
        case 3: return intervalo == 0 ? rt::kFin : 4;
        case 4: barra->setMin(0); break;
        case 5: barra->setValue(0.0f); break;
        case 6: barra->setMax(rt::aSingle(rt::sumaLng(intervalo, 1))); break;
        // For i = 0 To intervalo: the bar ends one step short of full.
        case 7: i = 0; break;
        case 8: return i <= intervalo ? 9 : rt::kFin;
        case 9: barra->setValue(static_cast<float>(i)); break;
        case 10: i = rt::sumaLng(i, 1); return 8;
        default: return rt::kFin;
        }
        return paso + 1;
    });
}

void frmProgreso::progreso(int32_t value, int32_t max, bool& donde, QString& TEXTO) {
    util::progreso(
        errores::id::Progreso_progreso, value, max, donde, TEXTO, [this](const QString& t) { setCaption(t); },
        [this](const QString& t) { fijarInfo(t); });
}

void frmProgreso::fijarInfo(const QString& texto) {
    // The label sizes itself to its text, keeping its midline over the bar's.
    const int centro = ui::aPixelesX(kInfoLeft + kInfoWidth / 2); // its midline as created
    lblInfo->setText(texto);
    lblInfo->adjustSize();
    lblInfo->move(centro - lblInfo->width() / 2, lblInfo->y());
}

void frmProgreso::barra_Click() {
    errores::runGuarded(errores::id::Progreso_barra_Click, [&](int paso) {
        if (paso == 1) parar = true;
        return rt::kFin;
    });
}
