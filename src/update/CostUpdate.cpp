#include "update/CostUpdate.h"
#include "database/DatabaseAccess.h"
#include "errors/Protocol.h"
#include "history/PriceHistory.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Conversions.h"
#include "platform/ui/App.h"
#include "platform/ui/Events.h"
#include "platform/ui/MsgBox.h"

#include <algorithm>
#include <optional>

namespace update {

const QString kDatabaseFile = QStringLiteral("veskgestion.mdb");
const QString kProgressText = QStringLiteral("Espere por favor, realizando tareas necesarias....");

QString entriesQuery(const QString& code) {
    return QStringLiteral("SELECT * FROM tblHistoricoEntradas where CODARTI='") +
           QString(code).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'') +
           QStringLiteral("ORDER BY entro DESC");
}

namespace {

template <typename T> T& object(const std::unique_ptr<T>& p) {
    if (!p) runtime::raise(runtime::err::ObjectNotSet);
    return *p;
}

// number(x): Null is 0, zero or more keeps at most 15 significant digits, and what cannot be
// read counts as 0.
double number(const ado::Field& field) { return runtime::CDbl(database::ValorSinNulo(field, database::kTypeNumber)); }
double number(double value) {
    runtime::FieldValue v(value);
    return runtime::CDbl(database::ValorSinNulo(v, database::kTypeNumber));
}
QString text(const ado::Field& field) { return runtime::textOf(database::ValorSinNulo(field, database::kTypeText)); }

} // namespace

namespace {
// The steps that a jump names; every other step goes on with the next number.
enum Step : int {
    kNextArticle = 17, // the end-of-articles test
    kUpdateArticle = 21,
    kListArticle = 37,
    kProgress = 39,
    kSummary = 45,
    kResultsLayout = 48,
    kRestore = 54,
};
} // namespace

void cmdActualizar_Click(UpdateWindow& v) {
    QString query;
    std::unique_ptr<ado::Recordset> rsArticles;
    std::unique_ptr<ado::Recordset> rsEntries;
    double updated = 0;
    double c = 0, m = 0, p = 0;
    std::optional<int> lastItem;
    auto articles = [&]() -> ado::Recordset& { return object(rsArticles); };
    auto entries = [&]() -> ado::Recordset& { return object(rsEntries); };
    auto connection = [&]() -> ado::Connection& { return object(v.cnDatos()); };
    auto articleCount = [&] { return static_cast<int32_t>(articles().RecordCount()); };

    errors::runGuarded(errors::id::PrecioCoste_cmdActualizar_Click, [&](int step) -> int {
        switch (step) {
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
            connection().Open(database::CadenaConexion(ui::App::Path(), kDatabaseFile, QString()), QString(), QString(),
                              -1);
            // Every price the run replaces is kept, with what it wrote, in the same transactions.
            history::recordRun(connection());
            break;
        case 10: query = QStringLiteral("SELECT * FROM tblArticulos ORDER BY CODARTI"); break;
        case 11: database::AbrirRecordset(query, rsArticles, connection(), ado::adLockOptimistic); break;
        case 12: v.barraMin(0); break;
        case 13: v.barraValue(0.0f); break;
        case 14: v.barraMax(runtime::toSingle(runtime::addLong(articleCount(), 1))); break;
        case 15: v.lblInfoCaption(QStringLiteral("Actualizando datos ...  ")); break;
        case 16: updated = 0; break;
        // The pass over the articles
        case kNextArticle: return articles().Eof() ? kSummary : kNextArticle + 1;
        case 18: query = entriesQuery(text(articles().Fields(QStringLiteral("CODARTI")))); break;
        case 19: database::AbrirRecordset(query, rsEntries, connection(), ado::adLockOptimistic); break;
        case 20: return entries().RecordCount() > 0 ? kUpdateArticle : kListArticle;
        // Update of the article
        case kUpdateArticle: c = number(entries().Fields(QStringLiteral("pvp"))); break;
        case 22: {
            const double q = runtime::divide(number(entries().Fields(QStringLiteral("descuento"))), 100);
            const double r = runtime::subtract(1, q);
            c = runtime::multiply(c, r);
            break;
        }
        case 23: articles().Fields(QStringLiteral("costesiniva")) = c; break;
        case 24: articles().Fields(QStringLiteral("ultimopreciocoste")) = c; break;
        case 25:
            m = runtime::divide(runtime::multiply(c, number(articles().Fields(QStringLiteral("margen1")))), 100);
            break;
        case 26: p = runtime::add(c, m); break;
        case 27: articles().Fields(QStringLiteral("pvp1")) = number(p); break;
        case 28:
            m = runtime::divide(runtime::multiply(c, number(articles().Fields(QStringLiteral("margen2")))), 100);
            break;
        case 29: p = runtime::add(c, m); break;
        case 30: articles().Fields(QStringLiteral("pvp2")) = number(p); break;
        case 31:
            m = runtime::divide(runtime::multiply(c, number(articles().Fields(QStringLiteral("margen3")))), 100);
            break;
        case 32: p = runtime::add(c, m); break;
        case 33: articles().Fields(QStringLiteral("pvp3")) = number(p); break;
        case 34: updated = runtime::add(updated, 1); break;
        case 35: articles().Update(); break;
        case 36: return kProgress;
        // Listing of an article without entries
        case kListArticle: lastItem = v.lstNoActualizadosAdd(text(articles().Fields(QStringLiteral("CODARTI")))); break;
        case 38:
            if (!lastItem) runtime::raise(runtime::err::ObjectNotSet);
            v.lstNoActualizadosSubItem(*lastItem, text(articles().Fields(QStringLiteral("NOMARTI"))));
            break;
        // Progress and next article
        case kProgress: v.barraValue(v.barraValue() + 1.0f); break;
        case 40:
            ui::DoEventsInLoop();
            // A window closed meanwhile ends the run here: the article is complete, and what was
            // written is saved when the recordsets are released.
            return v.closed() ? runtime::kEnd : step + 1;
        case 41: {
            bool donde = false;
            QString progressText = kProgressText;
            v.progreso(runtime::CLng(v.barraValue()), articleCount(), donde, progressText);
            break;
        }
        case 42: ui::DoEventsInLoop(); return v.closed() ? runtime::kEnd : step + 1;
        case 43: articles().MoveNext(); break;
        case 44: return kNextArticle;
        // Summary and restoring
        case kSummary:
            // What waits is written first: an article the file refused is told (by its code). The
            // count is of the articles whose new prices are in the file now, as the connection
            // counts the rows it wrote: not those the file refused, nor those another program
            // changed after they were read, nor those still waiting to be written (the box before
            // this one said so, when the operator chose to go on without them), nor an article
            // counted whose Update failed and the operator went on.
            ui::beforeOperatorWait();
            if (const ado::Connection* cn = v.cnDatos().get())
                updated = std::min(updated, static_cast<double>(cn->writtenRows()));
            ui::MsgBox(QStringLiteral("Proceso finalizado.\r\n\r\n-----------------------\r\nTotal articulos:\t") +
                           QString::number(articleCount()) + QStringLiteral("\r\nActualizados : \t") +
                           runtime::CStr(updated),
                       ui::vbOKOnly, QStringLiteral("TALVERA"));
            break;
        case 46:
            v.lblInfoCaption(QStringLiteral("Proceso finalizado. Total de articulo:") +
                             QString::number(articleCount()) + QStringLiteral(" Actualizados : ") +
                             runtime::CStr(updated));
            break;
        case 47: return v.lstNoActualizadosCount() > 0 ? kResultsLayout : kRestore;
        case kResultsLayout: v.Height(layout::kResultsHeight); break;
        case 49: v.cmdSalirTop(layout::kResultsSalirTop); break;
        case 50: v.fraNoActualizadosVisible(true); break;
        case 51: v.fraNoActualizadosTop(layout::kResultsPanelTop); break;
        case 52: v.fraNoActualizadosLeft(layout::kResultsPanelLeft); break;
        case 53:
            v.lblArticulosCaption(QStringLiteral("Total de artículos no actualizados ( sin entradas) ") +
                                  QString::number(v.lstNoActualizadosCount()));
            break;
        case kRestore: v.barraVisible(false); break;
        case 55: v.cmdActualizarVisible(true); break;
        case 56: v.cmdSalirVisible(true); break;
        default: return runtime::kEnd;
        }
        return step + 1;
    });
    // The two recordsets are released here; the writes of the run are saved with them.
    rsEntries.reset();
    rsArticles.reset();
}

} // namespace update
