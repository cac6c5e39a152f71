#include "update/ActualizacionCostes.h"
#include "database/BaseDatos.h"
#include "errors/Protocolo.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Conversions.h"
#include "platform/ui/App.h"
#include "platform/ui/Events.h"
#include "platform/ui/MsgBox.h"

#include <optional>

namespace actualizacion {

const QString kArchivoBaseDatos = QStringLiteral("veskgestion.mdb");
const QString kTextoProgreso = QStringLiteral("Espere por favor, realizando tareas necesarias....");

QString consultaEntradas(const QString& codigo) {
    return QStringLiteral("SELECT * FROM tblHistoricoEntradas where CODARTI='") +
           QString(codigo).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'') +
           QStringLiteral("ORDER BY entro DESC");
}

namespace {

template <typename T> T& objeto(const std::unique_ptr<T>& p) {
    if (!p) rt::raise(rt::err::ObjetoNoEstablecido);
    return *p;
}

// number(x): Null is 0, zero or more keeps at most 15 significant digits, and what cannot be
// read counts as 0.
double numero(const ado::Field& campo) { return rt::CDbl(bd::ValorSinNulo(campo, 1)); }
double numero(double valor) {
    rt::FieldValue v(valor);
    return rt::CDbl(bd::ValorSinNulo(v, 1));
}
QString texto(const ado::Field& campo) { return rt::textoDe(bd::ValorSinNulo(campo, 0)); }

} // namespace

void cmdActualizar_Click(VentanaActualizacion& v) {
    QString sQuery;
    std::unique_ptr<ado::Recordset> rsArticulos;
    std::unique_ptr<ado::Recordset> rsEntradas;
    double actualizados = 0;
    double c = 0, m = 0, p = 0;
    std::optional<int> ultimaFila;
    auto articulos = [&]() -> ado::Recordset& { return objeto(rsArticulos); };
    auto entradas = [&]() -> ado::Recordset& { return objeto(rsEntradas); };
    auto conexion = [&]() -> ado::Connection& { return objeto(v.cnDatos()); };
    auto total = [&] { return static_cast<int32_t>(articulos().RecordCount()); };

    errores::runGuarded(errores::id::PrecioCoste_cmdActualizar_Click, [&](int paso) {
        switch (paso) {
        // Preparing the window
        case 1: v.cmdSalirVisible(false); break;
        case 2: v.fraNoActualizadosVisible(false); break;
        case 3: v.lstNoActualizadosClear(); break;
        case 4: v.cmdActualizarEnabled(false); break;
        case 5: v.cmdActualizarVisible(false); break;
        case 6: v.lblInfoCaption(QStringLiteral(" Actualiza costes de articulos")); break;
        case 7: v.barraVisible(true); break;
        // Opening the database
        case 8: v.cnDatos() = std::make_unique<ado::Connection>(); break;
        case 9:
            conexion().Open(bd::CadenaConexion(ui::App::Path(), kArchivoBaseDatos, QString()), QString(), QString(),
                            -1);
            break;
        case 10: sQuery = QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"); break;
        case 11: bd::AbrirRecordset(sQuery, rsArticulos, conexion(), 3); break;
        case 12: v.barraMin(0); break;
        case 13: v.barraValue(0.0f); break;
        case 14: v.barraMax(rt::aSingle(rt::sumaLng(total(), 1))); break;
        case 15: v.lblInfoCaption(QStringLiteral("Actualizando datos ...  ")); break;
        case 16: actualizados = 0; break;
        // The pass over the articles
        case 17: return articulos().Eof() ? 45 : 18;
        case 18: sQuery = consultaEntradas(texto(articulos().Fields(QStringLiteral("CODARTI")))); break;
        case 19: bd::AbrirRecordset(sQuery, rsEntradas, conexion(), 3); break;
        case 20: return entradas().RecordCount() > 0 ? 21 : 37;
        // Update of the article
        case 21: c = numero(entradas().Fields(QStringLiteral("pvp"))); break;
        case 22: {
            const double q = rt::cociente(numero(entradas().Fields(QStringLiteral("descuento"))), 100);
            const double r = rt::resta(1, q);
            c = rt::producto(c, r);
            break;
        }
        case 23: articulos().Fields(QStringLiteral("costesiniva")) = c; break;
        case 24: articulos().Fields(QStringLiteral("ultimopreciocoste")) = c; break;
        case 25: m = rt::cociente(rt::producto(c, numero(articulos().Fields(QStringLiteral("margen1")))), 100); break;
        case 26: p = rt::suma(c, m); break;
        case 27: articulos().Fields(QStringLiteral("pvp1")) = numero(p); break;
        case 28: m = rt::cociente(rt::producto(c, numero(articulos().Fields(QStringLiteral("margen2")))), 100); break;
        case 29: p = rt::suma(c, m); break;
        case 30: articulos().Fields(QStringLiteral("pvp2")) = numero(p); break;
        case 31: m = rt::cociente(rt::producto(c, numero(articulos().Fields(QStringLiteral("margen3")))), 100); break;
        case 32: p = rt::suma(c, m); break;
        case 33: articulos().Fields(QStringLiteral("pvp3")) = numero(p); break;
        case 34: actualizados = rt::suma(actualizados, 1); break;
        case 35: articulos().Update(); break;
        case 36: return 39;
        // Listing of an article without entries
        case 37: ultimaFila = v.lstNoActualizadosAdd(texto(articulos().Fields(QStringLiteral("CODARTI")))); break;
        case 38:
            if (!ultimaFila) rt::raise(rt::err::ObjetoNoEstablecido);
            v.lstNoActualizadosSubItem(*ultimaFila, texto(articulos().Fields(QStringLiteral("NOMARTI"))));
            break;
        // Progress and next article
        case 39: v.barraValue(v.barraValue() + 1.0f); break;
        case 40:
            ui::DoEvents();
            // A window closed meanwhile ends the run here: the article is complete, and what was
            // written is committed when the recordsets are released.
            return v.cerrada() ? rt::kFin : 41;
        case 41: {
            bool donde = false;
            QString textoProgreso = kTextoProgreso;
            v.progreso(rt::CLng(v.barraValue()), total(), donde, textoProgreso);
            break;
        }
        case 42: ui::DoEvents(); return v.cerrada() ? rt::kFin : 43;
        case 43: articulos().MoveNext(); break;
        case 44: return 17;
        // Summary and restoring
        case 45:
            ui::MsgBox(QStringLiteral("Proceso finalizado.\r\n\r\n-----------------------\r\nTotal articulos:\t") +
                           QString::number(total()) + QStringLiteral("\r\nActualizados : \t") + rt::CStr(actualizados),
                       ui::vbOKOnly, QStringLiteral("TALVERA"));
            break;
        case 46:
            v.lblInfoCaption(QStringLiteral("Proceso finalizado. Total de articulo:") + QString::number(total()) +
                             QStringLiteral(" Actualizados : ") + rt::CStr(actualizados));
            break;
        case 47: return v.lstNoActualizadosCount() > 0 ? 48 : 54;
        case 48: v.Height(6375); break;
        case 49: v.cmdSalirTop(5040); break;
        case 50: v.fraNoActualizadosVisible(true); break;
        case 51: v.fraNoActualizadosTop(600); break;
        case 52: v.fraNoActualizadosLeft(120); break;
        case 53:
            v.lblArticulosCaption(QStringLiteral("Total de artículos no actualizados ( sin entradas) ") +
                                  QString::number(v.lstNoActualizadosCount()));
            break;
        case 54: v.barraVisible(false); break;
        case 55: v.cmdActualizarVisible(true); break;
        case 56: v.cmdSalirVisible(true); break;
        default: return rt::kFin;
        }
        return paso + 1;
    });
    // The two recordsets are released here; the writes of the run are committed with them.
    rsEntradas.reset();
    rsArticulos.reset();
}

} // namespace actualizacion
