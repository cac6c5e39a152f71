#include "platform/ui/MsgBox.h"
#include "platform/runtime/EsperaOperador.h"
#include "platform/runtime/Failure.h"
#include "platform/ui/App.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

namespace ui {

namespace {

struct Boton {
    int id;
    const char* caption;
};

std::vector<Boton> conjunto(int buttons) {
    switch (buttons & 7) {
    case vbOKCancel: return {{vbOK, "Aceptar"}, {vbCancel, "Cancelar"}};
    case vbAbortRetryIgnore: return {{vbAbort, "Anular"}, {vbRetry, "Reintentar"}, {vbIgnore, "Omitir"}};
    case vbYesNoCancel: return {{vbYes, "Sí"}, {vbNo, "No"}, {vbCancel, "Cancelar"}};
    case vbYesNo: return {{vbYes, "Sí"}, {vbNo, "No"}};
    case vbRetryCancel: return {{vbRetry, "Reintentar"}, {vbCancel, "Cancelar"}};
    default: return {{vbOK, "Aceptar"}};
    }
}

QStyle::StandardPixmap icono(int buttons) {
    switch (buttons & 0x70) {
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
QWidget* CajaMensaje::areaDeTexto(const QString& prompt, QWidget* parent) {
    auto* texto = new QLabel;
    texto->setObjectName(QStringLiteral("prompt"));
    texto->setTextFormat(Qt::PlainText);
    QString mostrado = QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    texto->setText(mostrado);

    const QScreen* pantalla = parent && parent->screen() ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect disponible = pantalla ? pantalla->availableGeometry() : QRect(0, 0, 1024, 768);
    const int anchoMaximo = std::max(200, disponible.width() * 5 / 8);
    const int altoMaximo = std::max(100, disponible.height() * 2 / 3);
    int ancho = 0;
    for (const QString& linea : mostrado.split(QLatin1Char('\n')))
        ancho = std::max(ancho, texto->fontMetrics().horizontalAdvance(linea));
    if (ancho > anchoMaximo) {
        // Words longer than a line (a path, say) may break anywhere.
        QString partido;
        int seguidos = 0;
        for (const QChar c : mostrado) {
            partido += c;
            seguidos = c.isSpace() ? 0 : seguidos + 1;
            if (seguidos >= 24) {
                partido += QChar(0x200B);
                seguidos = 0;
            }
        }
        texto->setText(partido);
        texto->setWordWrap(true);
        texto->setFixedWidth(anchoMaximo);
        texto->setFixedHeight(texto->heightForWidth(anchoMaximo));
    }
    if (texto->sizeHint().height() <= altoMaximo) return texto;
    auto* desplazable = new QScrollArea;
    desplazable->setWidget(texto);
    desplazable->setFrameShape(QFrame::NoFrame);
    desplazable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    desplazable->setFixedSize(std::min(anchoMaximo, texto->sizeHint().width()) +
                                  desplazable->verticalScrollBar()->sizeHint().width(),
                              altoMaximo);
    return desplazable;
}

CajaMensaje::CajaMensaje(const QString& prompt, int buttons, const QString& title, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
    setObjectName(QStringLiteral("CajaMensaje"));
    setWindowTitle(title);
    setModal(true);
    setWindowModality(Qt::ApplicationModal);

    const auto set = conjunto(buttons);
    for (const auto& b : set)
        if (b.id == vbCancel) codigoEscape_ = vbCancel;
    if (set.size() == 1) codigoEscape_ = vbOK;
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (codigoEscape_) flags |= Qt::WindowCloseButtonHint;
    setWindowFlags(flags);

    auto* raiz = new QVBoxLayout(this);
    raiz->setSizeConstraint(QLayout::SetFixedSize); // relabelled buttons resize the box
    auto* fila = new QHBoxLayout;
    if (icono(buttons) != QStyle::SP_CustomBase) {
        auto* img = new QLabel(this);
        img->setPixmap(style()->standardIcon(icono(buttons)).pixmap(32, 32));
        img->setAlignment(Qt::AlignTop);
        fila->addWidget(img);
    }
    fila->addWidget(areaDeTexto(prompt, parent), 1);
    raiz->addLayout(fila);

    auto* filaBotones = new QHBoxLayout;
    filaBotones->addStretch();
    int porDefecto = (buttons & 0x300) >> 8;
    if (porDefecto >= static_cast<int>(set.size())) porDefecto = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        auto* boton = new QPushButton(QString::fromUtf8(set[i].caption), this);
        boton->setProperty("ctrlId", set[i].id);
        boton->setMinimumWidth(88);
        // The focused button is the default: Tab to "Salir" and Return presses "Salir".
        boton->setAutoDefault(true);
        const int code = set[i].id;
        connect(boton, &QPushButton::clicked, this, [this, code] { pulsar(code); });
        filaBotones->addWidget(boton);
        botones_.push_back(boton);
    }
    filaBotones->addStretch();
    raiz->addLayout(filaBotones);
    botones_[porDefecto]->setDefault(true);
    botones_[porDefecto]->setFocus();
}

QPushButton* CajaMensaje::boton(int controlId) const {
    for (auto* b : botones_)
        if (b->property("ctrlId").toInt() == controlId) return b;
    return nullptr;
}

void CajaMensaje::pulsar(int code) {
    pulsado_ = true;
    done(code);
}

void CajaMensaje::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (codigoEscape_) pulsar(codigoEscape_);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CajaMensaje::closeEvent(QCloseEvent* event) {
    if (pulsado_) {
        event->accept();
        return;
    }
    event->ignore();
    if (codigoEscape_) pulsar(codigoEscape_);
}

void CajaMensaje::reject() {
    if (codigoEscape_) pulsar(codigoEscape_);
}

namespace {

int mostrar(const QString& prompt, int buttons, const QString& title) {
    QPointer<QWidget> anterior = QApplication::activeWindow();
    if (!anterior) anterior = QApplication::activeModalWidget();
    QPointer<CajaMensaje> caja = new CajaMensaje(prompt, buttons, title.isNull() ? App::Title() : title, anterior);
    const int code = caja->exec();
    delete caja;
    if (anterior && anterior->isVisible()) {
        anterior->activateWindow();
        QApplication::setActiveWindow(anterior);
    }
    return code;
}

QString textoNoGuardado(const rt::Failure& f, bool alSalir) {
    return f.Description() + QStringLiteral("\r\n\r\nCierre la base de datos en los demás programas y pulse "
                                            "'Reintentar'.\r\n") +
           (alSalir ? QStringLiteral("Si pulsa 'Cancelar', el programa termina y esos cambios se pierden.")
                    : QStringLiteral("Con 'Cancelar', los cambios esperan en este programa, sin bloquear la base de "
                                     "datos, y se vuelven a guardar más adelante."));
}

// Lets go of what waits on shared resources (a database's pending writes) before the program
// waits for the operator. When that fails, the operator hears it at once and may try again.
void liberarAntesDeEsperar(bool alSalir) {
    static bool liberando = false;
    if (liberando) return; // the box that reports a failure here
    liberando = true;
    const auto fin = qScopeGuard([] { liberando = false; });
    for (;;) {
        try {
            rt::antesDeEsperarOperador();
            return;
        } catch (const rt::Failure& f) {
            if (mostrar(textoNoGuardado(f, alSalir), vbRetryCancel | vbExclamation, App::Title()) != vbRetry) return;
        }
    }
}

bool esperaPreparada = false;

} // namespace

void prepararEspera() {
    liberarAntesDeEsperar(false);
    esperaPreparada = true;
}

int MsgBox(const QString& prompt, int buttons, const QString& title) {
    if (!esperaPreparada) liberarAntesDeEsperar(false);
    esperaPreparada = false;
    return mostrar(prompt, buttons, title);
}

void guardarAntesDeSalir() { liberarAntesDeEsperar(true); }

} // namespace ui
