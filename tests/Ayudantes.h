#pragma once
// Test helpers: a real database in the program's folder, and an answerer of modal boxes.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <QVariant>
#include <deque>
#include <functional>

namespace pruebas {

QString rutaBaseDatos(); // veskgestion.mdb in the program's folder

// A real SQLite veskgestion.mdb with the two tables; removed when the helper goes.
class BaseDePrueba {
public:
    explicit BaseDePrueba(bool conTablas = true);
    ~BaseDePrueba();
    void sql(const QString& sentencia) const;
    QVariant valor(const QString& consulta) const;
    void articulo(const QString& codigo, const QString& nombre, const QVariant& m1, const QVariant& m2,
                  const QVariant& m3) const;
    void entrada(const QString& codigo, const QString& entro, const QVariant& pvp, const QVariant& descuento) const;
    const QString ruta;
};

QString textoDe(const QVariant& v);

// Whether another program can take the write lock of the file right now.
bool otroPuedeEscribir(const QString& ruta);

// Another program holding the database file locked (an exclusive transaction), or only reading it
// (a read transaction, which keeps others from committing), until released.
class Bloqueador {
public:
    enum Modo { Exclusivo, Lector };
    explicit Bloqueador(const QString& ruta, Modo modo = Exclusivo);
    ~Bloqueador();
    void soltar();

private:
    QProcess proceso_;
};

// Answers the modal boxes that open while a test runs: records each box's title, text and
// button captions (left to right), then performs the next queued action on it.
class Contestador : public QObject {
    Q_OBJECT
public:
    struct Caja {
        QString titulo, texto;
        QStringList botones;
        QString porDefecto;
    };
    using Accion = std::function<void(QDialog*)>;

    Contestador();
    ~Contestador() override;
    Contestador& luego(Accion accion);
    Contestador& pulsar(const QString& caption);
    int pendientes() const { return static_cast<int>(acciones_.size()); }

    std::vector<Caja> cajas;
    // Boxes met with no action queued: closed through their first button, and the test fails.
    int sinRespuesta = 0;

private:
    void mirar();
    Caja primeraInesperada_;
    QTimer timer_;
    std::deque<Accion> acciones_;
};

// Actions on a box.
Contestador::Accion clicEn(const QString& caption);
Contestador::Accion tecla(int key);
Contestador::Accion cerrarVentana();

QStringList captionsIzquierdaADerecha(QDialog* caja);

} // namespace pruebas
