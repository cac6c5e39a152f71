#include "database/BaseDatos.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Pasos.h"
#include "platform/ui/MsgBox.h"

namespace bd {

const QString kTituloZuk = QStringLiteral("..:: Z U K ::..");

QString CadenaConexion(const QString& carpeta, const QString& archivo, const QString& password) {
    QString resultado;
    rt::ejecutarPasos(
        1,
        [&](int) {
            resultado = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + carpeta + QLatin1Char('\\') +
                        archivo + QStringLiteral(";Jet OLEDB:Database Password=") + password + QLatin1Char(';');
            return rt::kFin;
        },
        [&](int, const rt::Failure& f) {
            ui::MsgBox(QStringLiteral("Error nº") + QString::number(f.Number()) +
                           QStringLiteral(". AVISE AL PROGRAMADOR"),
                       ui::vbOKOnly, kTituloZuk);
            resultado.clear();
            return rt::kFin;
        });
    return resultado;
}

void AbrirRecordset(const QString& consulta, std::unique_ptr<ado::Recordset>& rs, ado::Connection& cn,
                    int32_t tipoBloqueo) {
    bool reintentando = false;
    auto objeto = [&]() -> ado::Recordset& {
        if (!rs) rt::raise(rt::err::ObjetoNoEstablecido);
        return *rs;
    };
    rt::ejecutarPasos(
        1,
        [&](int paso) {
            switch (paso) {
            case 1: rs = std::make_unique<ado::Recordset>(); break;
            case 2: objeto().CursorLocation = ado::adUseServer; break;
            case 3: objeto().Open(consulta, cn, ado::adOpenKeyset, tipoBloqueo, -1); break;
            case 4: return (objeto().Eof() && objeto().Bof()) ? rt::kFin : 5;
            case 5: objeto().MoveFirst(); return rt::kFin;
            default: return rt::kFin;
            }
            return paso + 1;
        },
        [&](int paso, const rt::Failure& f) -> int {
            if (reintentando) throw f; // still handling the first failure: the caller's handling takes it
            if (f.Number() == ado::err::Generic) {
                ui::MsgBox(QStringLiteral("LA BASE DE DATOS ESTÁ ABIERTA, CUANDO SE HAYA CERRADO PULSE 'OK'"),
                           ui::vbOKOnly, kTituloZuk);
                reintentando = true;
                return 1;
            }
            ui::MsgBox(QStringLiteral("Error ") + f.Description() + QLatin1Char(' ') + QString::number(f.Number()) +
                           QStringLiteral("\r\nAVISE AL PROGRAMADOR"),
                       ui::vbOKOnly, kTituloZuk);
            return paso + 1;
        });
}

namespace {

template <typename Leer, typename Reemplazar>
rt::FieldValue valorSinNulo(Leer leer, Reemplazar reemplazar, int32_t tipo) {
    rt::FieldValue resultado;
    rt::ejecutarPasosOmitiendoFallos(1, [&](int paso) {
        switch (paso) {
        case 1:
            switch (tipo) {
            case 0: return 10;
            case 1: return 20;
            case 2: return 30;
            default: return 40;
            }
        // Text
        case 10: resultado = rt::textoDe(leer()); return rt::kFin;
        // Number: zero or more passes through its text form, so it keeps at most 15 digits
        case 20: {
            const rt::FieldValue v = leer();
            return (v.isNull() || rt::mayorOIgualQue(v, 0)) ? 21 : 23;
        }
        case 21: resultado = rt::CDbl(QStringLiteral("0") + rt::textoDe(leer())); return rt::kFin;
        case 23: resultado = rt::CDbl(leer()); return rt::kFin;
        // Date
        case 30: return leer().isNull() ? 31 : 33;
        case 31: reemplazar(rt::FieldValue(rt::CDate(QStringLiteral("31-12-1899")))); return 32;
        case 32: resultado = leer(); return rt::kFin;
        case 33: resultado = leer(); return rt::kFin;
        // Any other type code
        case 40: resultado = rt::FieldValue(); return rt::kFin;
        default: return rt::kFin;
        }
    });
    return resultado;
}

} // namespace

rt::FieldValue ValorSinNulo(rt::FieldValue& valor, int32_t tipo) {
    return valorSinNulo([&] { return valor; }, [&](const rt::FieldValue& nuevo) { valor = nuevo; }, tipo);
}

rt::FieldValue ValorSinNulo(const ado::Field& campo, int32_t tipo) {
    // Only the handed-over value is replaced, never the field's contents.
    std::optional<rt::FieldValue> copia;
    return valorSinNulo([&] { return copia ? *copia : campo.Value(); },
                        [&](const rt::FieldValue& nuevo) { copia = nuevo; }, tipo);
}

} // namespace bd
