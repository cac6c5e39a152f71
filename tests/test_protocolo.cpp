// The error dialog with relabelled buttons, the hook behind it, and the handler of a guarded
// procedure.
#include "Ayudantes.h"
#include "errors/Protocolo.h"
#include "errors/basMsgbox.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/ui/Events.h"
#include "platform/ui/Form.h"
#include "platform/ui/MsgBox.h"
#include "platform/winapi/User32.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

using namespace pruebas;
using errores::RespuestaError;

namespace {
const QStringList kCaptions{QStringLiteral("Continuar"), QStringLiteral("Salir"), QStringLiteral("Enviar Vesk")};
constexpr errores::Identidad kPrueba{"modPrueba", "procPrueba", "modPrueba", "procPrueba"};
constexpr errores::Identidad kInterna{"modInterno", "procInterno", "modInterno", "procInterno"};

int32_t mostrar(const QString& c1, int32_t id2, const QString& c2) {
    return basMsgbox::MsgBoxExText(QStringLiteral("p"), 2, QStringLiteral("t"), 3, c1, id2, c2, 5,
                                   QStringLiteral("Enviar Vesk"));
}
} // namespace

class TestProtocolo : public QObject {
    Q_OBJECT
private slots:
    void dialogo_captionsOrdenYPorDefecto() {
        Contestador c;
        c.pulsar("Salir");
        const int16_t eleccion = errores::InformarError("basForm", "CentrarFrm", "Desbordamiento");
        QCOMPARE(eleccion, int16_t(1));
        QCOMPARE(RespuestaError, int16_t(4)); // the raw code, stored by the dialog itself
        const auto& caja = c.cajas.at(0);
        QCOMPARE(caja.titulo, QStringLiteral("Informando errores "));
        QCOMPARE(caja.botones, kCaptions);
        QCOMPARE(caja.porDefecto, QStringLiteral("Continuar"));
        QCOMPARE(caja.texto, QStringLiteral("Ocurrió un error:\r\nMódulo: basForm\r\nFunción: CentrarFrm\r\n"
                                            "Descripción: Desbordamiento"));
        QCOMPARE(winapi::ganchosInstalados(), 0);
        QVERIFY(basMsgbox::ButtonCaption1.isEmpty() && basMsgbox::ButtonCaption3.isEmpty());
    }

    void dialogo_cruceDeCodigos_data() {
        QTest::addColumn<QString>("boton");
        QTest::addColumn<int>("crudo");
        QTest::addColumn<int>("eleccion");
        QTest::newRow("Continuar") << "Continuar" << 3 << 2;
        QTest::newRow("Salir") << "Salir" << 4 << 1;
        QTest::newRow("Enviar Vesk") << "Enviar Vesk" << 5 << 3;
    }
    void dialogo_cruceDeCodigos() {
        QFETCH(QString, boton);
        QFETCH(int, crudo);
        QFETCH(int, eleccion);
        Contestador c;
        c.pulsar(boton);
        QCOMPARE(int(errores::InformarError("m", "p", "d")), eleccion);
        QCOMPARE(int(RespuestaError), crudo);
        c.pulsar(boton);
        QCOMPARE(mostrar("Continuar", 4, "Salir"), crudo);
    }

    void dialogo_teclas() {
        // Return presses "Continuar"; Escape and the close box do nothing.
        Contestador c;
        bool seguia = false;
        c.luego([&](QDialog* caja) {
            QTest::keyClick(caja, Qt::Key_Escape);
            caja->close();
            QApplication::processEvents();
            seguia = caja->isVisible();
            QTest::keyClick(caja, Qt::Key_Return);
        });
        QCOMPARE(errores::InformarError("m", "p", "d"), int16_t(2));
        QVERIFY(seguia);
    }

    void dialogo_tabYReturnEsSalir() {
        Contestador c;
        c.luego([](QDialog* caja) {
            QTest::keyClick(caja->focusWidget(), Qt::Key_Tab);
            QTest::keyClick(caja->focusWidget(), Qt::Key_Return);
        });
        QCOMPARE(errores::InformarError("m", "p", "d"), int16_t(1));
    }

    void dialogo_descripciones() {
        Contestador c;
        c.pulsar("Salir").pulsar("Salir");
        errores::InformarError("m", "p", "uno\r\ndos");
        errores::InformarError("m", "p", QString());
        QCOMPARE(c.cajas[0].texto.count(QStringLiteral("\r\n")), 4);
        QVERIFY(c.cajas[1].texto.endsWith(QStringLiteral("\r\nDescripción: ")));
    }

    void relabel_identificadorCeroYCodePage() {
        Contestador c;
        c.pulsar("Omitir");
        // A second pair with identifier 0 leaves the platform's caption; the first is always applied.
        QCOMPARE(basMsgbox::MsgBoxExText(QStringLiteral("p"), 2, QStringLiteral("t"), 3, QStringLiteral("Uno"), 0,
                                         QStringLiteral("Dos"), 0, QStringLiteral("Tres")),
                 5);
        QCOMPARE(c.cajas[0].botones, (QStringList{"Uno", "Reintentar", "Omitir"}));
        // Through the narrow code page: characters outside Windows-1252 become "?".
        c.pulsar("Reintentar");
        basMsgbox::MsgBoxExText(QStringLiteral("p"), 2, QStringLiteral("t"), 3, QStringLiteral("€ñ→Ω"), 0, QString(), 0,
                                QString());
        QCOMPARE(c.cajas[1].botones.at(0), QStringLiteral("€ñ??"));
        // An identifier the box does not have changes nothing.
        c.pulsar("Aceptar");
        QCOMPARE(basMsgbox::MsgBoxExText(QStringLiteral("p"), 0, QStringLiteral("t"), 3, QStringLiteral("X"), 0,
                                         QString(), 0, QString()),
                 1);
        QCOMPARE(c.cajas[2].botones, QStringList{"Aceptar"});
    }

    void relabel_ventanasPosterioresConservanSusTextos() {
        Contestador c;
        c.pulsar("Salir");
        errores::InformarError("m", "p", "d");
        QCOMPARE(winapi::ganchosInstalados(), 0);
        c.pulsar("Reintentar");
        ui::MsgBox(QStringLiteral("después"), ui::vbAbortRetryIgnore);
        QCOMPARE(c.cajas[1].botones, (QStringList{"Anular", "Reintentar", "Omitir"}));
    }

    void gancho_sinRelabelSiNoSeInstala() {
        // With no hook, the box keeps the platform's captions and codes.
        Contestador c;
        c.pulsar("Anular");
        QCOMPARE(ui::MsgBox(QStringLiteral("p"), 2), 3);
        QCOMPARE(winapi::SetWindowsHookExA(winapi::WH_CBT, nullptr, 0, winapi::GetCurrentThreadId()), 0);
        QCOMPARE(winapi::SetWindowsHookExA(winapi::WH_CBT, &basMsgbox::winProc, 0, 12345), 0);
    }

    void gancho_quitarseDentroDelProcedimiento() {
        static int llamadas = 0;
        static winapi::HHOOK propio = 0;
        llamadas = 0;
        propio = winapi::SetWindowsHookExA(
            winapi::WH_CBT,
            [](int32_t, int32_t, int32_t) -> winapi::LRESULT {
                ++llamadas;
                winapi::UnhookWindowsHookEx(propio);
                return 0;
            },
            0, winapi::GetCurrentThreadId());
        ui::Form a, b;
        a.show();
        b.show();
        QCOMPARE(llamadas, 1);
        QVERIFY(!winapi::ganchoInstalado(propio));
    }

    void gancho_pendienteNoQuedaParaSiempre() {
        // A hook whose box never came (the box failed) is removed by the next relabelled box.
        basMsgbox::ButtonId1 = 3;
        basMsgbox::ButtonCaption1 = QStringLiteral("Huérfano");
        basMsgbox::Hook();
        const winapi::HHOOK primero = basMsgbox::hHook;
        QVERIFY(winapi::ganchoInstalado(primero));
        Contestador c;
        c.pulsar("Salir");
        errores::InformarError("m", "p", "d");
        QVERIFY(!winapi::ganchoInstalado(primero));
        QCOMPARE(winapi::ganchosInstalados(), 0);
        QCOMPARE(c.cajas[0].botones, kCaptions);
    }

    void manejador_continuarSalirYPasos() {
        // "Continuar" resumes at the next step and a failing test falls into its block.
        std::vector<int> hechos;
        auto procedimiento = [&] {
            hechos.clear();
            errores::runGuarded(kPrueba, [&](int paso) {
                hechos.push_back(paso);
                switch (paso) {
                case 1: return rt::cociente(1, 0) > 0 ? 2 : 5; // a failing test
                case 2: return 3;
                case 3: rt::raise(rt::err::Desbordamiento);
                case 4: return rt::kFin;
                default: return rt::kFin;
                }
            });
        };
        Contestador c;
        c.pulsar("Continuar").pulsar("Continuar");
        procedimiento();
        QCOMPARE(hechos, (std::vector<int>{1, 2, 3, 4}));
        QCOMPARE(RespuestaError, int16_t(2));
        QCOMPARE(c.cajas[0].texto, QStringLiteral("Ocurrió un error:\r\nMódulo: modPrueba\r\nFunción: procPrueba\r\n"
                                                  "Descripción: División por cero"));
        c.pulsar("Salir");
        procedimiento();
        QCOMPARE(hechos, (std::vector<int>{1}));
        QCOMPARE(RespuestaError, int16_t(1));
        c.pulsar("Enviar Vesk");
        procedimiento();
        QCOMPARE(hechos, (std::vector<int>{1}));
        QCOMPARE(RespuestaError, int16_t(3));
    }

    void manejador_cualquierExcepcionEsUnFallo_data() {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<QString>("descripcion");
        QTest::newRow("memoria") << 0 << QStringLiteral("Memoria insuficiente");
        QTest::newRow("estándar") << 1 << QStringLiteral("Error interno (vector::");
        QTest::newRow("otra") << 2 << QStringLiteral("Error interno");
    }
    void manejador_cualquierExcepcionEsUnFallo() {
        // A C++ exception in a step gets the procedure's own dialog and the "Continuar" rule.
        QFETCH(int, tipo);
        QFETCH(QString, descripcion);
        std::vector<int> hechos;
        Contestador c;
        c.pulsar("Continuar");
        errores::runGuarded(kPrueba, [&](int paso) {
            hechos.push_back(paso);
            if (paso == 1) {
                if (tipo == 0) throw std::bad_alloc();
                if (tipo == 1) (void)std::vector<int>().at(3);
                throw 42;
            }
            return paso < 3 ? paso + 1 : rt::kFin;
        });
        QCOMPARE(hechos, (std::vector<int>{1, 2, 3}));
        QVERIFY(c.cajas[0].texto.startsWith(QStringLiteral("Ocurrió un error:")));
        QVERIFY2(c.cajas[0].texto.contains(QStringLiteral("\r\nDescripción: ") + descripcion), qPrintable(c.cajas[0].texto));
    }

    void manejador_continuarSoloHastaElUltimoReanudable() {
        // A procedure whose later steps end the call on "Continuar".
        std::vector<int> hechos;
        Contestador c;
        c.pulsar("Continuar").pulsar("Continuar");
        errores::runGuarded(
            kPrueba,
            [&](int paso) {
                hechos.push_back(paso);
                if (paso <= 2) rt::raise(rt::err::Desbordamiento); // 1 resumes at 2, 2 ends the call
                return rt::kFin;
            },
            1, 1);
        QCOMPARE(hechos, (std::vector<int>{1, 2}));
        QCOMPARE(c.cajas.size(), std::size_t(2));
    }

    void manejador_continuarEnElUltimoPasoSale() {
        int pasos = 0;
        Contestador c;
        c.pulsar("Continuar");
        errores::runGuarded(kPrueba, [&](int paso) {
            ++pasos;
            if (paso == 1) return 2;
            if (paso == 2) rt::raise(rt::err::Desbordamiento);
            return rt::kFin;
        });
        QCOMPARE(pasos, 3); // 1, the failing 2, then the exit
        QCOMPARE(c.cajas.size(), std::size_t(1));
    }

    void manejador_salirEnUnaFuncionDevuelveLoFijado() {
        auto funcion = [](double divisor) {
            double resultado = 0;
            errores::runGuarded(kPrueba, [&](int paso) {
                switch (paso) {
                case 1: resultado = 5; return 2;
                case 2: resultado = rt::cociente(10, divisor); return rt::kFin;
                default: return rt::kFin;
                }
            });
            return resultado;
        };
        Contestador c;
        c.pulsar("Salir");
        QCOMPARE(funcion(0), 5.0);
        QCOMPARE(funcion(4), 2.5);
    }

    void anidado_fallosEnUnProcedimientoLlamado() {
        // A failure inside a called guarded procedure opens that procedure's dialog; one raised
        // while a handler runs goes to the caller's.
        Contestador c;
        c.pulsar("Salir").pulsar("Continuar");
        bool siguio = false;
        errores::runGuarded(kPrueba, [&](int paso) {
            switch (paso) {
            case 1: errores::runGuarded(kInterna, [&](int) -> int { rt::raise(rt::err::TiposNoCoinciden); }); return 2;
            case 2:
                rt::ejecutarPasos(
                    1, [](int) -> int { rt::raise(rt::err::Desbordamiento); },
                    [](int, const rt::Failure&) -> int { rt::raise(rt::err::DivisionPorCero); });
                return 3;
            case 3: siguio = true; return rt::kFin;
            default: return rt::kFin;
            }
        });
        QCOMPARE(c.cajas.size(), std::size_t(2));
        QVERIFY(c.cajas[0].texto.contains(QStringLiteral("Módulo: modInterno")));
        QVERIFY(c.cajas[1].texto.contains(QStringLiteral("Módulo: modPrueba")));
        QVERIFY(c.cajas[1].texto.endsWith(QStringLiteral("División por cero")));
        QVERIFY(siguio);
    }

    void anidado_dialogoDentroDelRelabel() {
        // A relabelled box opened while another one is waiting for its relabelling: the inner box
        // gets its captions, and no hook is left behind.
        static bool anidar = false;
        anidar = true;
        static winapi::HHOOK externo = 0;
        externo = winapi::SetWindowsHookExA(
            winapi::WH_CBT,
            [](int32_t, int32_t, int32_t) -> winapi::LRESULT {
                winapi::UnhookWindowsHookEx(externo);
                if (anidar) {
                    anidar = false;
                    errores::InformarError("interno", "p", "d");
                }
                return 0;
            },
            0, winapi::GetCurrentThreadId());
        Contestador c;
        // The outer box lost its pending hook to the inner one: it keeps the platform's captions,
        // and its codes, so the mapping is the same. Return presses its first button.
        c.pulsar("Salir").luego(tecla(Qt::Key_Return));
        QCOMPARE(errores::InformarError("externo", "p", "d"), int16_t(2));
        QCOMPARE(c.cajas.size(), std::size_t(2));
        QVERIFY(c.cajas[0].texto.contains(QStringLiteral("interno")));
        QCOMPARE(c.cajas[0].botones, kCaptions);
        QCOMPARE(winapi::ganchosInstalados(), 0);
    }

    void eventos_ningunaFallaCruzaElBucle() {
        // A failure at the top of an event gets the platform's default: a box, and the program goes on.
        Contestador c;
        c.pulsar("Aceptar");
        ui::enEvento([] { rt::raise(rt::err::Desbordamiento); });
        QCOMPARE(c.cajas.size(), std::size_t(1));
        QCOMPARE(c.cajas[0].titulo, QStringLiteral("ZUK"));
        QCOMPARE(c.cajas[0].texto, QStringLiteral("Error '6' en tiempo de ejecución:\r\n\r\nDesbordamiento"));
    }
};

QTEST_MAIN(TestProtocolo)
#include "test_protocolo.moc"
