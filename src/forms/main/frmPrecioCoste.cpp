#include "forms/main/frmPrecioCoste.h"
#include "errors/Protocol.h"
#include "platform/runtime/Conversions.h"
#include "platform/ui/App.h"
#include "platform/ui/Events.h"
#include "platform/ui/Look.h"
#include "platform/ui/MsgBox.h"
#include "platform/ui/Twips.h"
#include "update/CostUpdate.h"
#include "util/ProgressText.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QSvgRenderer>

namespace forms {

namespace {
// The compact layout, in twips: the outer height of the window, and where "&Salir" stands.
constexpr double kCompactHeight = 3200;
constexpr double kCompactSalirTop = 1900;
// The program's icon: the drawing its menu entry shows (packaging/actualizapvp.svg, built in),
// at the sizes window managers and taskbars ask for.
QIcon priceTag() {
    QSvgRenderer drawing(QStringLiteral(":/actualizapvp.svg"));
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        drawing.render(&p);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

const QString frmPrecioCoste::kCaption = QStringLiteral("TALVERA.    Precios-Costes");

frmPrecioCoste::frmPrecioCoste(QWidget* parent) : ui::Form(parent) {
    setObjectName(QStringLiteral("frmPrecioCoste"));
    setCaption(kCaption);
    setWindowIcon(priceTag());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setBackColor(QColor(198, 199, 197));
    setFixedBorder(true);
    setClientWidth(9510);

    // Created back to front: the labels behind, the panel in front of everything.
    lblPendiente = new QLabel(QStringLiteral("ACTUALIZA PVP"), this);
    lblPendiente->setObjectName(QStringLiteral("lblPendiente"));
    ui::place(lblPendiente, 360, 120, 8895, 615);
    lblPendiente->setFont(ui::makeFont(ui::kMsSansSerif, 13.5, true));
    ui::setForeColor(lblPendiente, QColor(0, 0, 128));
    lblPendiente->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    lblInfo = new QLabel(QStringLiteral(" Proceso de actualización no iniciado"), this);
    lblInfo->setObjectName(QStringLiteral("lblInfo"));
    ui::place(lblInfo, 240, 840, 8775, 375);
    lblInfo->setFont(ui::makeFont(ui::kMsSansSerif, 9.75, false));
    lblInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui::setForeColor(lblInfo, QColor(192, 64, 0));

    barra = new ui::ProgressBar(this);
    barra->setObjectName(QStringLiteral("barra"));
    ui::place(barra, 120, 1200, 9135, 735);
    barra->setVisible(false);

    cmdActualizar = new QPushButton(QStringLiteral("&ACTUALIZAR"), this);
    cmdActualizar->setObjectName(QStringLiteral("cmdActualizar"));
    ui::place(cmdActualizar, 240, 1320, 8895, 495);
    cmdActualizar->setFont(ui::makeFont(ui::kMsSansSerif, 12, true));
    ui::setFaceColor(cmdActualizar, QColor(128, 128, 255));
    cmdActualizar->setAutoDefault(true); // Return presses the focused button, as everywhere on the platform

    cmdSalir =
        new ui::PictureButton(QStringLiteral("&Salir"), style()->standardIcon(QStyle::SP_DialogCloseButton), this);
    cmdSalir->setObjectName(QStringLiteral("cmdSalir"));
    ui::place(cmdSalir, 8160, kCompactSalirTop, 855, 735);
    ui::setFaceColor(cmdSalir, QColor(192, 192, 255));

    fraNoActualizados = new QFrame(this);
    fraNoActualizados->setObjectName(QStringLiteral("fraNoActualizados"));
    fraNoActualizados->setFrameShape(QFrame::NoFrame);
    ui::place(fraNoActualizados, 120, 600, 9255, 5175);
    ui::setBackColor(fraNoActualizados, QColor(198, 199, 197));
    fraNoActualizados->setVisible(false);

    lblArticulos = new QLabel(fraNoActualizados);
    lblArticulos->setObjectName(QStringLiteral("lblArticulos"));
    ui::place(lblArticulos, 240, 0, 8055, 375);
    lblArticulos->setFont(ui::makeFont(ui::kMsSansSerif, 9.75, false));
    lblArticulos->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui::setForeColor(lblArticulos, QColor(0, 0, 64));

    btnVolver =
        new ui::PictureButton(QStringLiteral("Volver"), style()->standardIcon(QStyle::SP_ArrowBack), fraNoActualizados);
    btnVolver->setObjectName(QStringLiteral("btnVolver"));
    ui::place(btnVolver, 360, 4440, 1095, 735);
    btnVolver->setFont(ui::makeFont(ui::kTahoma, 6.75, false));

    lstNoActualizados = new ui::ListView(fraNoActualizados);
    lstNoActualizados->setObjectName(QStringLiteral("lstNoActualizados"));
    ui::place(lstNoActualizados, 240, 360, 8895, 4095);

    for (QWidget* w : {static_cast<QWidget*>(lblPendiente), static_cast<QWidget*>(lblInfo),
                       static_cast<QWidget*>(fraNoActualizados), static_cast<QWidget*>(lblArticulos)})
        w->setFocusPolicy(Qt::NoFocus);
    cmdActualizar->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(cmdActualizar, cmdSalir);
    setTabOrder(cmdSalir, lstNoActualizados);
    setTabOrder(lstNoActualizados, btnVolver);

    connect(cmdActualizar, &QPushButton::clicked, this, [this] { ui::handleEvent([this] { cmdActualizar_Click(); }); });
    connect(cmdSalir, &QToolButton::clicked, this, [this] { ui::handleEvent([this] { cmdSalir_Click(); }); });
    connect(btnVolver, &QToolButton::clicked, this, [this] { ui::handleEvent([this] { btnVolver_Click(); }); });
    connect(lstNoActualizados, &ui::ListView::ColumnClick, this, [this](const ui::ListView::ColumnHeader& h) {
        ui::handleEvent([&] { lstNoActualizados_ColumnClick(h); });
    });

    Form_Load();
    cmdActualizar->setFocus();
}

frmPrecioCoste::~frmPrecioCoste() = default;

void frmPrecioCoste::Form_Load() {
    ui::ListView* list = nullptr;
    auto theList = [&]() -> ui::ListView& {
        if (!list) runtime::raise(runtime::err::ObjectNotSet);
        return *list;
    };
    errors::runGuarded(errors::id::PrecioCoste_Form_Load, [&](int step) {
        switch (step) {
        case 1: setHeight(kCompactHeight); break;
        case 2: cmdSalirTop(kCompactSalirTop); break;
        case 3: fraNoActualizados->setVisible(false); break;
        case 4: lblInfo->setText(QStringLiteral(" Proceso de actualización no iniciado")); break;
        case 5: lblArticulos->setText(QString()); break;
        case 6: barra->setVisible(false); break;
        case 7: list = lstNoActualizados; break;
        case 8: theList().setFullRowSelect(true); break;
        case 9: theList().AddColumnHeader(QStringLiteral("Código"), 2900, Qt::AlignLeft); break;
        case 10: theList().AddColumnHeader(QStringLiteral("Nombre"), 5600, Qt::AlignLeft); break;
        case 11: list = nullptr; return runtime::kEnd;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
}

void frmPrecioCoste::progreso(int32_t value, int32_t max, bool& donde, QString& TEXTO) {
    util::progreso(
        errors::id::PrecioCoste_progreso, value, max, donde, TEXTO, [this](const QString& t) { setCaption(t); },
        [this](const QString& t) { lblInfoCaption(t); });
}

void frmPrecioCoste::cmdActualizar_Click() { update::cmdActualizar_Click(*this); }

void frmPrecioCoste::cmdSalir_Click() {
    errors::runGuarded(errors::id::PrecioCoste_cmdSalir_Click, [&](int step) {
        if (step == 1) close();
        return runtime::kEnd;
    });
}

void frmPrecioCoste::btnVolver_Click() {
    setHeight(kCompactHeight);
    cmdSalirTop(kCompactSalirTop);
    fraNoActualizados->setVisible(false);
}

void frmPrecioCoste::lstNoActualizados_ColumnClick(const ui::ListView::ColumnHeader& columnHeader) {
    ui::MsgBox(columnHeader.Text + QStringLiteral("__") + runtime::CStrSingle(columnHeader.Width), ui::vbOKOnly,
               ui::App::Title());
}

void frmPrecioCoste::cmdSalirTop(double twips) { cmdSalir->move(cmdSalir->x(), ui::toPixelsY(twips)); }

void frmPrecioCoste::fraNoActualizadosTop(double twips) {
    fraNoActualizados->move(fraNoActualizados->x(), ui::toPixelsY(twips));
}

void frmPrecioCoste::fraNoActualizadosLeft(double twips) {
    fraNoActualizados->move(ui::toPixelsX(twips), fraNoActualizados->y());
}

void frmPrecioCoste::lblInfoCaption(const QString& text) {
    if (lblInfo->text() != text) lblInfo->setText(text); // the run writes it after every article
}

void frmPrecioCoste::closeEvent(QCloseEvent* event) {
    // No question is asked: the window closes at once. A run that is letting events through
    // sees the flag and stops after the current article.
    closed_ = true;
    event->accept();
}

} // namespace forms
