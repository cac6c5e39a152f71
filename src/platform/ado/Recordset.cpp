#include "platform/ado/Recordset.h"
#include "platform/runtime/Conversions.h"
#include "platform/runtime/Failure.h"

#include <QDate>
#include <QRegularExpression>
#include <sqlite3.h>

namespace ado {

namespace {

[[noreturn]] void fallar(long numero, const QString& texto) { throw rt::Failure(numero, texto); }

[[noreturn]] void objetoCerrado() {
    fallar(err::ObjetoCerrado, QStringLiteral("No se permite realizar la operación si el objeto está cerrado."));
}

[[noreturn]] void sinRegistroActual() {
    fallar(err::SinRegistroActual,
           QStringLiteral("BOF o EOF es True, o el registro actual se eliminó. La operación solicitada requiere un "
                          "registro actual."));
}

QString citado(const QString& tabla) {
    return QLatin1Char('"') + QString(tabla).replace('"', "\"\"") + QLatin1Char('"');
}

// A query that selects every column of one table: its rows can be followed by their keys.
struct ConsultaDeTabla {
    QString tabla, resto;
    static bool de(const QString& sql, ConsultaDeTabla& out) {
        static const QRegularExpression patron(
            QStringLiteral("^\\s*SELECT\\s+\\*\\s+FROM\\s+(?:\\[([^\\]]+)\\]|\"([^\"]+)\"|(\\w+))(.*)$"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        const auto m = patron.match(sql);
        if (!m.hasMatch()) return false;
        out.tabla = m.captured(1) + m.captured(2) + m.captured(3);
        out.resto = m.captured(4);
        // Only a WHERE and an ORDER BY may follow; joins and groups are not one table's rows.
        static const QRegularExpression siguiente(QStringLiteral("^\\s*(;\\s*)?$|^\\s*(WHERE|ORDER)\\b|^\\s*\\?"),
                                                  QRegularExpression::CaseInsensitiveOption);
        return siguiente.match(out.resto).hasMatch() || out.resto.trimmed().isEmpty();
    }
};

void enlazar(Statement& st, const QVector<QString>& literales) {
    for (int i = 0; i < literales.size(); ++i)
        st.bind(i + 1, literales[i]);
}

rt::FieldValue leerColumna(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER: return rt::FieldValue(static_cast<double>(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT: return rt::FieldValue(sqlite3_column_double(st, i));
    case SQLITE_NULL: return rt::FieldValue::Null();
    default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        return rt::FieldValue(QString::fromUtf8(p, sqlite3_column_bytes(st, i)));
    }
    }
}

// Dates are kept as ISO texts; a date column gives them back as dates.
rt::FieldValue comoFecha(const rt::FieldValue& v) {
    if (!v.isText()) return v;
    static const QRegularExpression iso(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2})(?::(\\d{2}))?)?"));
    const auto m = iso.match(v.text());
    if (!m.hasMatch()) return v;
    rt::Date d = rt::Date::fromYmd(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    d.serial += (m.captured(4).toInt() * 3600 + m.captured(5).toInt() * 60 + m.captured(6).toInt()) / 86400.0;
    return rt::FieldValue(d);
}

QString textoIso(rt::Date d) {
    const QDate dia = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(d.serial)));
    const int s = static_cast<int>(std::lround((d.serial - std::floor(d.serial)) * 86400.0));
    return dia.toString(Qt::ISODate) + QStringLiteral(" %1:%2:%3")
                                           .arg(s / 3600, 2, 10, QChar('0'))
                                           .arg(s / 60 % 60, 2, 10, QChar('0'))
                                           .arg(s % 60, 2, 10, QChar('0'));
}

void enlazarValor(Statement& st, int i, const rt::FieldValue& v) {
    switch (v.kind()) {
    case rt::FieldValue::Kind::Number: st.bindDouble(i, v.number()); break;
    case rt::FieldValue::Kind::Text: st.bind(i, v.text()); break;
    case rt::FieldValue::Kind::Date: st.bind(i, textoIso(v.date())); break;
    default: st.bindNull(i); break;
    }
}

} // namespace

Recordset::~Recordset() {
    try {
        Close();
    } catch (...) {
        // The writes stay pending on the connection, which commits them at its next point.
    }
}

void Recordset::comprobarAbierto() const {
    if (!abierto_) objetoCerrado();
}

void Recordset::Open(const QString& source, Connection& conn, int, int lockType, long) {
    if (abierto_)
        fallar(err::OperacionNoAdmitida,
               QStringLiteral("No se permite realizar la operación si el objeto está abierto."));
    if (!conn.State()) objetoCerrado();
    const SqlParametrizado p = SqlParametrizado::de(source);
    ConsultaDeTabla consulta;
    claves_.clear();
    filasFijas_.clear();
    tabla_.clear();
    if (ConsultaDeTabla::de(p.sql, consulta)) {
        Statement& keys =
            conn.sentencia(QStringLiteral("SELECT rowid FROM ") + citado(consulta.tabla) + consulta.resto);
        enlazar(keys, p.literales);
        while (keys.step())
            claves_.push_back(sqlite3_column_int64(keys.handle(), 0));
        keys.reset();
        Statement& fila = conn.sentencia(QStringLiteral("SELECT * FROM ") + citado(consulta.tabla) +
                                         QStringLiteral(" WHERE rowid=?"));
        if (columnas_.isEmpty() || tabla_ != consulta.tabla) {
            columnas_.clear();
            esFecha_.clear();
            for (int i = 0; i < fila.columnCount(); ++i) {
                columnas_ << fila.columnName(i);
                const QString tipo = fila.columnDeclType(i).toUpper();
                esFecha_.push_back(tipo.contains(QLatin1String("DATE")) || tipo.contains(QLatin1String("TIME")));
            }
        }
        tabla_ = consulta.tabla;
        actualizable_ = lockType != adLockReadOnly;
    } else {
        Statement& st = conn.sentencia(p.sql);
        enlazar(st, p.literales);
        columnas_.clear();
        esFecha_.assign(static_cast<std::size_t>(st.columnCount()), false);
        for (int i = 0; i < st.columnCount(); ++i)
            columnas_ << st.columnName(i);
        while (st.step()) {
            std::vector<rt::FieldValue> f;
            for (int i = 0; i < st.columnCount(); ++i)
                f.push_back(leerColumna(st.handle(), i));
            filasFijas_.push_back(std::move(f));
        }
        st.reset();
        actualizable_ = false;
    }
    conn_ = &conn;
    abierto_ = true;
    escribio_ = false;
    posicion_ = 0;
    filaCargada_ = false;
    pendientes_.clear();
}

void Recordset::Close() {
    if (!abierto_) return;
    abierto_ = false;
    claves_ = {};
    filasFijas_ = {};
    pendientes_.clear();
    filaCargada_ = false;
    if (escribio_) {
        escribio_ = false;
        conn_->confirmar();
    }
}

long Recordset::RecordCount() const {
    comprobarAbierto();
    return static_cast<long>(tabla_.isEmpty() ? filasFijas_.size() : claves_.size());
}

bool Recordset::Eof() const {
    comprobarAbierto();
    return posicion_ >= RecordCount();
}

bool Recordset::Bof() const {
    comprobarAbierto();
    return posicion_ < 0 || RecordCount() == 0;
}

void Recordset::irA(long posicion) {
    pendientes_.clear(); // an edit not written by Update is dropped when the cursor moves
    posicion_ = posicion;
    filaCargada_ = false;
}

void Recordset::MoveFirst() {
    comprobarAbierto();
    irA(0);
}

void Recordset::MoveLast() {
    comprobarAbierto();
    irA(RecordCount() - 1);
}

void Recordset::MoveNext() {
    comprobarAbierto();
    if (Eof()) sinRegistroActual();
    irA(posicion_ + 1);
}

void Recordset::MovePrevious() {
    comprobarAbierto();
    if (Bof() && posicion_ < 0) sinRegistroActual();
    irA(posicion_ - 1);
}

void Recordset::comprobarFilaActual() const {
    comprobarAbierto();
    if (posicion_ < 0 || posicion_ >= RecordCount()) sinRegistroActual();
}

void Recordset::cargarFila() const {
    if (filaCargada_) return;
    comprobarFilaActual();
    if (tabla_.isEmpty()) {
        fila_ = filasFijas_[static_cast<std::size_t>(posicion_)];
    } else {
        Statement& st =
            conn_->sentencia(QStringLiteral("SELECT * FROM ") + citado(tabla_) + QStringLiteral(" WHERE rowid=?"));
        st.bindInt64(1, claves_[static_cast<std::size_t>(posicion_)]);
        if (!st.step()) {
            st.reset();
            fallar(err::FilaEliminada,
                   QStringLiteral(
                       "El identificador de fila hace referencia a una fila eliminada o marcada para eliminación."));
        }
        const int n = st.columnCount();
        fila_.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            fila_[static_cast<std::size_t>(i)] = leerColumna(st.handle(), i);
        st.reset();
    }
    filaCargada_ = true;
}

Field Recordset::Fields(const QString& name) {
    comprobarAbierto();
    for (int i = 0; i < columnas_.size(); ++i)
        if (columnas_[i].compare(name, Qt::CaseInsensitive) == 0) return Field(this, i);
    fallar(err::ElementoNoEncontrado,
           QStringLiteral("No se encontró el elemento en la colección que corresponde con el nombre o el ordinal "
                          "solicitado."));
}

rt::FieldValue Recordset::valor(int column) const {
    if (auto it = pendientes_.find(column); it != pendientes_.end()) return it->second;
    cargarFila();
    const auto& v = fila_[static_cast<std::size_t>(column)];
    return esFecha_[static_cast<std::size_t>(column)] ? comoFecha(v) : v;
}

void Recordset::asignar(int column, const rt::FieldValue& value) {
    comprobarFilaActual();
    if (!actualizable_)
        fallar(err::OperacionNoAdmitida,
               QStringLiteral("El conjunto de registros no admite actualizaciones. Puede deberse a una limitación del "
                              "proveedor o del tipo de bloqueo seleccionado."));
    pendientes_[column] = value;
}

void Recordset::Update() {
    comprobarFilaActual();
    if (pendientes_.empty()) return;
    QString sql = QStringLiteral("UPDATE ") + citado(tabla_) + QStringLiteral(" SET ");
    bool primero = true;
    for (const auto& [col, v] : pendientes_) {
        if (!primero) sql += QLatin1Char(',');
        sql += citado(columnas_[col]) + QStringLiteral("=?");
        primero = false;
    }
    sql += QStringLiteral(" WHERE rowid=?");
    conn_->antesDeEscribir();
    Statement& st = conn_->sentencia(sql);
    int i = 1;
    for (const auto& [col, v] : pendientes_)
        enlazarValor(st, i++, v);
    st.bindInt64(i, claves_[static_cast<std::size_t>(posicion_)]);
    st.step();
    st.reset();
    if (sqlite3_changes(conn_->db()) == 0)
        fallar(err::FilaEliminada,
               QStringLiteral(
                   "El identificador de fila hace referencia a una fila eliminada o marcada para eliminación."));
    escribio_ = true;
    if (filaCargada_)
        for (const auto& [col, v] : pendientes_)
            fila_[static_cast<std::size_t>(col)] = v;
    pendientes_.clear();
    conn_->despuesDeEscribir();
}

rt::FieldValue Field::Value() const { return rs_->valor(column_); }

Field& Field::operator=(const rt::FieldValue& value) {
    rs_->asignar(column_, value);
    return *this;
}

QString Field::Name() const { return rs_->columnas_[column_]; }

} // namespace ado
