#include "platform/ui/MsgBox.h"
#include "platform/runtime/EsperaOperador.h"
#include "platform/ui/App.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

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
    auto* texto = new QLabel(this);
    texto->setObjectName(QStringLiteral("prompt"));
    texto->setTextFormat(Qt::PlainText);
    texto->setText(QString(prompt).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    fila->addWidget(texto, 1);
    raiz->addLayout(fila);

    auto* filaBotones = new QHBoxLayout;
    filaBotones->addStretch();
    int porDefecto = (buttons & 0x300) >> 8;
    if (porDefecto >= static_cast<int>(set.size())) porDefecto = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        auto* boton = new QPushButton(QString::fromUtf8(set[i].caption), this);
        boton->setProperty("ctrlId", set[i].id);
        boton->setMinimumWidth(88);
        boton->setAutoDefault(false);
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

int MsgBox(const QString& prompt, int buttons, const QString& title) {
    rt::antesDeEsperarOperador();
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

} // namespace ui
