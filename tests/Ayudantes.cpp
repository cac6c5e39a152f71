#include "Ayudantes.h"
#include "platform/ui/App.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <sqlite3.h>
#include <stdexcept>

namespace pruebas {

QString rutaBaseDatos() { return ui::App::Path() + QStringLiteral("/veskgestion.mdb"); }

namespace {
sqlite3* abrir(const QString& ruta) {
    sqlite3* db = nullptr;
    if (sqlite3_open(ruta.toUtf8().constData(), &db) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    return db;
}
} // namespace

BaseDePrueba::BaseDePrueba(bool conTablas) : ruta(rutaBaseDatos()) {
    QFile::remove(ruta);
    QFile::remove(ruta + QStringLiteral("-journal"));
    if (!conTablas) return;
    sql(QStringLiteral(
        "CREATE TABLE tblArticulos (CODARTI TEXT COLLATE NOCASE, NOMARTI TEXT, FAMILIA TEXT, margen1 REAL,"
        " margen2 REAL, margen3 REAL, costesiniva REAL, ultimopreciocoste REAL, pvp1 REAL, pvp2 REAL, pvp3 REAL);"
        "CREATE TABLE tblHistoricoEntradas (NUMENTRADA INTEGER PRIMARY KEY, CODARTI TEXT COLLATE NOCASE,"
        " entro DATETIME, pvp REAL, descuento REAL);"
        "CREATE INDEX i1 ON tblArticulos(CODARTI COLLATE NOCASE);"
        "CREATE INDEX i2 ON tblHistoricoEntradas(CODARTI COLLATE NOCASE, entro);"));
}

BaseDePrueba::~BaseDePrueba() {
    QFile f(ruta);
    f.setPermissions(f.permissions() | QFileDevice::WriteOwner);
    QFile::remove(ruta);
    QFile::remove(ruta + QStringLiteral("-journal"));
}

void BaseDePrueba::sql(const QString& sentencia) const {
    sqlite3* db = abrir(ruta);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sentencia.toUtf8().constData(), nullptr, nullptr, &error);
    const QString texto = error ? QString::fromUtf8(error) : QString();
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error(("SQL: " + texto + " in " + sentencia).toStdString());
}

QVariant BaseDePrueba::valor(const QString& consulta) const {
    sqlite3* db = abrir(ruta);
    sqlite3_stmt* st = nullptr;
    QVariant v;
    if (sqlite3_prepare_v2(db, consulta.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW) {
        switch (sqlite3_column_type(st, 0)) {
        case SQLITE_INTEGER: v = static_cast<qlonglong>(sqlite3_column_int64(st, 0)); break;
        case SQLITE_FLOAT: v = sqlite3_column_double(st, 0); break;
        case SQLITE_NULL: v = QVariant(); break;
        default: v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))); break;
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}

namespace {
QString literal(const QVariant& v) {
    if (!v.isValid() || v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isNull()))
        return QStringLiteral("NULL");
    if (v.typeId() == QMetaType::QString)
        return QLatin1Char('\'') + v.toString().replace("'", "''") + QLatin1Char('\'');
    return QString::number(v.toDouble(), 'g', 17);
}
} // namespace

void BaseDePrueba::articulo(const QString& codigo, const QString& nombre, const QVariant& m1, const QVariant& m2,
                            const QVariant& m3) const {
    sql(QStringLiteral("INSERT INTO tblArticulos (CODARTI, NOMARTI, FAMILIA, margen1, margen2, margen3) VALUES "
                       "(%1, %2, 'F', %3, %4, %5)")
            .arg(literal(codigo), literal(nombre), literal(m1), literal(m2), literal(m3)));
}

void BaseDePrueba::entrada(const QString& codigo, const QString& entro, const QVariant& pvp,
                           const QVariant& descuento) const {
    sql(QStringLiteral("INSERT INTO tblHistoricoEntradas (CODARTI, entro, pvp, descuento) VALUES (%1, %2, %3, %4)")
            .arg(literal(codigo), literal(entro), literal(pvp), literal(descuento)));
}

QString textoDe(const QVariant& v) { return v.toString(); }

bool otroPuedeEscribir(const QString& ruta) {
    sqlite3* db = abrir(ruta);
    const bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE; ROLLBACK;", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

Bloqueador::Bloqueador(const QString& ruta, Modo modo) {
    const QString guion = QStringLiteral("import sqlite3, sys\n"
                                         "c = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                                         "if sys.argv[2] == 'x':\n"
                                         "    c.execute('BEGIN EXCLUSIVE')\n"
                                         "else:\n"
                                         "    c.execute('BEGIN')\n"
                                         "    c.execute('SELECT count(*) FROM sqlite_master').fetchone()\n"
                                         "print('bloqueada', flush=True)\n"
                                         "sys.stdin.readline()\n"
                                         "c.execute('COMMIT')\n");
    proceso_.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"), guion, ruta, modo == Exclusivo ? QStringLiteral("x") : QStringLiteral("r")});
    if (!proceso_.waitForReadyRead(10000)) throw std::runtime_error("the locking process did not start");
}

Bloqueador::~Bloqueador() { soltar(); }

void Bloqueador::soltar() {
    if (proceso_.state() == QProcess::NotRunning) return;
    proceso_.write("\n");
    proceso_.closeWriteChannel();
    proceso_.waitForFinished(10000);
}

QStringList captionsIzquierdaADerecha(QDialog* caja) {
    auto botones = caja->findChildren<QPushButton*>();
    std::sort(botones.begin(), botones.end(), [](QPushButton* a, QPushButton* b) {
        return a->mapTo(a->window(), QPoint()).x() < b->mapTo(b->window(), QPoint()).x();
    });
    QStringList r;
    for (auto* b : botones)
        r << b->text();
    return r;
}

Contestador::Contestador() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &Contestador::mirar);
    timer_.start();
}

Contestador::~Contestador() {
    timer_.stop();
    // A box nobody expected, or an answer that no box took, means the test did not see what it meant to.
    if (sinRespuesta > 0)
        QTest::qFail(qPrintable(QStringLiteral("%1 box(es) nobody expected, the first '%2': %3")
                                    .arg(sinRespuesta)
                                    .arg(primeraInesperada_.titulo, primeraInesperada_.texto)),
                     __FILE__, __LINE__);
    else if (!acciones_.empty())
        QTest::qFail(qPrintable(QStringLiteral("%1 answer(s) never used").arg(acciones_.size())), __FILE__, __LINE__);
}

Contestador& Contestador::luego(Accion accion) {
    acciones_.push_back(std::move(accion));
    return *this;
}

Contestador& Contestador::pulsar(const QString& caption) { return luego(clicEn(caption)); }

void Contestador::mirar() {
    auto* caja = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!caja || !caja->isVisible() || caja->property("atendida").toBool()) return;
    caja->setProperty("atendida", true);
    Caja c;
    c.titulo = caja->windowTitle();
    if (auto* m = qobject_cast<ui::CajaMensaje*>(caja)) c.texto = m->prompt();
    c.botones = captionsIzquierdaADerecha(caja);
    for (auto* b : caja->findChildren<QPushButton*>())
        if (b->isDefault()) c.porDefecto = b->text();
    cajas.push_back(c);
    if (acciones_.empty()) {
        if (sinRespuesta++ == 0) primeraInesperada_ = c;
        auto botones = caja->findChildren<QPushButton*>();
        if (!botones.isEmpty()) botones.front()->click();
        return;
    }
    Accion a = std::move(acciones_.front());
    acciones_.pop_front();
    // Acting from inside the timer's slot would nest the next box's loop here: act afterwards.
    QPointer<QDialog> p = caja;
    QTimer::singleShot(0, caja, [a, p] {
        if (p) a(p);
    });
}

Contestador::Accion clicEn(const QString& caption) {
    return [caption](QDialog* caja) {
        for (auto* b : caja->findChildren<QPushButton*>()) {
            if (b->text() == caption) {
                b->click();
                return;
            }
        }
        // Recorded as a failure of the test; the box is closed all the same, so the test goes on.
        QTest::qFail(qPrintable(QStringLiteral("no button '%1' in the box '%2'").arg(caption, caja->windowTitle())),
                     __FILE__, __LINE__);
        if (auto botones = caja->findChildren<QPushButton*>(); !botones.isEmpty()) botones.front()->click();
    };
}

Contestador::Accion tecla(int key) {
    return [key](QDialog* caja) { QTest::keyClick(caja, static_cast<Qt::Key>(key)); };
}

Contestador::Accion cerrarVentana() {
    return [](QDialog* caja) { caja->close(); };
}

} // namespace pruebas
