#include "util/basForm.h"
#include "errors/Protocolo.h"
#include "platform/runtime/Conversions.h"
#include "platform/ui/Form.h"

namespace basForm {

namespace {

ui::Form* comoVentana(QObject* o) { return qobject_cast<ui::Form*>(o); }

bool esVentana(const Referencia& r) {
    if (std::holds_alternative<ui::Screen>(r)) return true;
    if (const auto* o = std::get_if<QObject*>(&r)) return comoVentana(*o) != nullptr;
    return false;
}

// The frame of reference: the screen, or a window.
struct Marco {
    bool pantalla = false;
    ui::Form* ventana = nullptr;
    bool fijado() const { return pantalla || ventana; }
    double Width() const {
        if (!fijado()) rt::raise(rt::err::ObjetoNoEstablecido);
        return pantalla ? ui::Screen::Width() : ventana->Width();
    }
    double Height() const {
        if (!fijado()) rt::raise(rt::err::ObjetoNoEstablecido);
        return pantalla ? ui::Screen::Height() : ventana->Height();
    }
};

} // namespace

void CentrarFrm(QObject* frm, const Referencia& referencia) {
    Marco marco;
    int16_t izquierda = 0, arriba = 0;
    ui::Form* ventana = comoVentana(frm);
    errores::runGuarded(errores::id::CentrarFrm, [&](int paso) {
        switch (paso) {
        case 1: return ventana ? 2 : rt::kFin;
        case 2: return std::holds_alternative<std::monostate>(referencia) ? 3 : 5;
        case 3: marco = Marco{true, nullptr}; break;
        case 4: return 8;
        case 5: return esVentana(referencia) ? 6 : rt::kFin;
        case 6:
            if (std::holds_alternative<ui::Screen>(referencia))
                marco = Marco{true, nullptr};
            else
                marco = Marco{false, comoVentana(std::get<QObject*>(referencia))};
            break;
        case 7: return 8;
        case 8:
            izquierda = 0;
            arriba = 0;
            return marco.ventana ? 9 : 11;
        case 9: izquierda = rt::CInt(marco.ventana->Left()); break;
        case 10: arriba = rt::CInt(marco.ventana->Top()); break;
        case 11: {
            if (!ventana) rt::raise(rt::err::ObjetoNoEstablecido);
            const double left = (marco.Width() - ventana->Width()) / 2 + izquierda;
            const double top = (marco.Height() - ventana->Height()) / 2 + arriba;
            ventana->Move(left, top);
            return rt::kFin;
        }
        default: return rt::kFin;
        }
        return paso + 1;
    });
}

} // namespace basForm
