// The error dialog with relabelled buttons, the hook behind it, and the handler of a guarded
// procedure.
#include "BoxAnswerer.h"
#include "errors/Protocol.h"
#include "errors/basMsgbox.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/ui/Events.h"
#include "platform/ui/Form.h"
#include "platform/ui/MsgBox.h"
#include "platform/winapi/User32.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

using namespace testing;
using errors::RespuestaError;

namespace {
const QStringList kCaptions{QStringLiteral("Continuar"), QStringLiteral("Salir"), QStringLiteral("Enviar Vesk")};
constexpr errors::Identity kTest{"modPrueba", "procPrueba", "modPrueba", "procPrueba"};
constexpr errors::Identity kInner{"modInterno", "procInterno", "modInterno", "procInterno"};

int32_t showBox(const QString& c1, int32_t id2, const QString& c2) {
    return errors::basMsgbox::MsgBoxExText(QStringLiteral("p"), 2, QStringLiteral("t"), 3, c1, id2, c2, 5,
                                           QStringLiteral("Enviar Vesk"));
}
} // namespace

class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void dialog_captionsOrderAndDefault() {
        BoxAnswerer c;
        c.press("Salir");
        const int16_t choice = errors::InformarError("basForm", "CentrarFrm", "Desbordamiento");
        QCOMPARE(choice, int16_t(1));
        QCOMPARE(RespuestaError, int16_t(4)); // the raw code, stored by the dialog itself
        const auto& box = c.boxes.at(0);
        QCOMPARE(box.title, QStringLiteral("Informando errores "));
        QCOMPARE(box.buttons, kCaptions);
        QCOMPARE(box.defaultButton, QStringLiteral("Continuar"));
        QCOMPARE(box.text, QStringLiteral("Ocurrió un error:\r\nMódulo: basForm\r\nFunción: CentrarFrm\r\n"
                                          "Descripción: Desbordamiento"));
        QCOMPARE(winapi::installedHookCount(), 0);
        QVERIFY(errors::basMsgbox::ButtonCaption1.isEmpty() && errors::basMsgbox::ButtonCaption3.isEmpty());
    }

    void dialog_crossedCodes_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("raw");
        QTest::addColumn<int>("choice");
        QTest::newRow("Continuar") << "Continuar" << 3 << 2;
        QTest::newRow("Salir") << "Salir" << 4 << 1;
        QTest::newRow("Enviar Vesk") << "Enviar Vesk" << 5 << 3;
    }
    void dialog_crossedCodes() {
        QFETCH(QString, button);
        QFETCH(int, raw);
        QFETCH(int, choice);
        BoxAnswerer c;
        c.press(button);
        QCOMPARE(int(errors::InformarError("m", "p", "d")), choice);
        QCOMPARE(int(RespuestaError), raw);
        c.press(button);
        QCOMPARE(showBox("Continuar", 4, "Salir"), raw);
    }

    void dialog_keys() {
        // Return presses "Continuar"; Escape and the close box do nothing.
        BoxAnswerer c;
        bool stillOpen = false;
        c.then(tryToEscape(stillOpen, pressKey(Qt::Key_Return)));
        QCOMPARE(errors::InformarError("m", "p", "d"), int16_t(2));
        QVERIFY(stillOpen);
    }

    void dialog_tabAndReturnIsSalir() {
        BoxAnswerer c;
        c.then([](QDialog* box) {
            QTest::keyClick(box->focusWidget(), Qt::Key_Tab);
            QTest::keyClick(box->focusWidget(), Qt::Key_Return);
        });
        QCOMPARE(errors::InformarError("m", "p", "d"), int16_t(1));
    }

    void dialog_descriptions() {
        BoxAnswerer c;
        c.press("Salir").press("Salir");
        errors::InformarError("m", "p", "uno\r\ndos");
        errors::InformarError("m", "p", QString());
        QCOMPARE(c.boxes[0].text.count(QStringLiteral("\r\n")), 4);
        QVERIFY(c.boxes[1].text.endsWith(QStringLiteral("\r\nDescripción: ")));
    }

    void relabel_idZeroAndCodePage() {
        BoxAnswerer c;
        c.press("Omitir");
        // A second pair with identifier 0 leaves the platform's caption; the first is always applied.
        QCOMPARE(errors::basMsgbox::MsgBoxExText(QStringLiteral("p"), 2, QStringLiteral("t"), 3, QStringLiteral("Uno"),
                                                 0, QStringLiteral("Dos"), 0, QStringLiteral("Tres")),
                 5);
        QCOMPARE(c.boxes[0].buttons, (QStringList{"Uno", "Reintentar", "Omitir"}));
        // Through the narrow code page: characters outside Windows-1252 become "?".
        c.press("Reintentar");
        errors::basMsgbox::MsgBoxExText(QStringLiteral("p"), 2, QStringLiteral("t"), 3, QStringLiteral("€ñ→Ω"), 0,
                                        QString(), 0, QString());
        QCOMPARE(c.boxes[1].buttons.at(0), QStringLiteral("€ñ??"));
        // An identifier the box does not have changes nothing.
        c.press("Aceptar");
        QCOMPARE(errors::basMsgbox::MsgBoxExText(QStringLiteral("p"), 0, QStringLiteral("t"), 3, QStringLiteral("X"), 0,
                                                 QString(), 0, QString()),
                 1);
        QCOMPARE(c.boxes[2].buttons, QStringList{"Aceptar"});
    }

    void relabel_laterWindowsKeepTheirTexts() {
        BoxAnswerer c;
        c.press("Salir");
        errors::InformarError("m", "p", "d");
        QCOMPARE(winapi::installedHookCount(), 0);
        c.press("Reintentar");
        ui::MsgBox(QStringLiteral("después"), ui::vbAbortRetryIgnore);
        QCOMPARE(c.boxes[1].buttons, (QStringList{"Anular", "Reintentar", "Omitir"}));
    }

    void hook_noRelabelWhenNotInstalled() {
        // With no hook, the box keeps the platform's captions and codes.
        BoxAnswerer c;
        c.press("Anular");
        QCOMPARE(ui::MsgBox(QStringLiteral("p"), 2), 3);
        QCOMPARE(winapi::SetWindowsHookExA(winapi::WH_CBT, nullptr, 0, winapi::GetCurrentThreadId()), 0);
        QCOMPARE(winapi::SetWindowsHookExA(winapi::WH_CBT, &errors::basMsgbox::winProc, 0, 12345), 0);
    }

    void hook_removedInsideItsProcedure() {
        static int calls = 0;
        static winapi::HHOOK own = 0;
        calls = 0;
        own = winapi::SetWindowsHookExA(
            winapi::WH_CBT,
            [](int32_t, int32_t, int32_t) -> winapi::LRESULT {
                ++calls;
                winapi::UnhookWindowsHookEx(own);
                return 0;
            },
            0, winapi::GetCurrentThreadId());
        ui::Form a, b;
        a.show();
        b.show();
        QCOMPARE(calls, 1);
        QVERIFY(!winapi::isHookInstalled(own));
    }

    void hook_pendingDoesNotStayForever() {
        // A hook whose box never came (the box failed) is removed by the next relabelled box.
        errors::basMsgbox::ButtonId1 = 3;
        errors::basMsgbox::ButtonCaption1 = QStringLiteral("Huérfano");
        errors::basMsgbox::Hook();
        const winapi::HHOOK first = errors::basMsgbox::hHook;
        QVERIFY(winapi::isHookInstalled(first));
        BoxAnswerer c;
        c.press("Salir");
        errors::InformarError("m", "p", "d");
        QVERIFY(!winapi::isHookInstalled(first));
        QCOMPARE(winapi::installedHookCount(), 0);
        QCOMPARE(c.boxes[0].buttons, kCaptions);
    }

    void handler_continueLeaveAndSteps() {
        // "Continuar" resumes at the next step and a failing test falls into its block.
        std::vector<int> done;
        auto procedureName = [&] {
            done.clear();
            errors::runGuarded(kTest, [&](int step) {
                done.push_back(step);
                switch (step) {
                case 1: return runtime::divide(1, 0) > 0 ? 2 : 5; // a failing test
                case 2: return 3;
                case 3: runtime::raise(runtime::err::Overflow);
                case 4: return runtime::kEnd;
                default: return runtime::kEnd;
                }
            });
        };
        BoxAnswerer c;
        c.press("Continuar").press("Continuar");
        procedureName();
        QCOMPARE(done, (std::vector<int>{1, 2, 3, 4}));
        QCOMPARE(RespuestaError, int16_t(2));
        QCOMPARE(c.boxes[0].text, QStringLiteral("Ocurrió un error:\r\nMódulo: modPrueba\r\nFunción: procPrueba\r\n"
                                                 "Descripción: División por cero"));
        c.press("Salir");
        procedureName();
        QCOMPARE(done, (std::vector<int>{1}));
        QCOMPARE(RespuestaError, int16_t(1));
        c.press("Enviar Vesk");
        procedureName();
        QCOMPARE(done, (std::vector<int>{1}));
        QCOMPARE(RespuestaError, int16_t(3));
    }

    void handler_anyExceptionIsAFailure_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("description");
        QTest::newRow("memoria") << 0 << QStringLiteral("Memoria insuficiente");
        QTest::newRow("estándar") << 1 << QStringLiteral("Error interno (vector::");
        QTest::newRow("otra") << 2 << QStringLiteral("Error interno");
    }
    void handler_anyExceptionIsAFailure() {
        // A C++ exception in a step gets the procedure's own dialog and the "Continuar" rule.
        QFETCH(int, type);
        QFETCH(QString, description);
        std::vector<int> done;
        BoxAnswerer c;
        c.press("Continuar");
        errors::runGuarded(kTest, [&](int step) {
            done.push_back(step);
            if (step == 1) {
                if (type == 0) throw std::bad_alloc();
                if (type == 1) (void)std::vector<int>().at(3);
                throw 42;
            }
            return step < 3 ? step + 1 : runtime::kEnd;
        });
        QCOMPARE(done, (std::vector<int>{1, 2, 3}));
        QVERIFY(c.boxes[0].text.startsWith(QStringLiteral("Ocurrió un error:")));
        QVERIFY2(c.boxes[0].text.contains(QStringLiteral("\r\nDescripción: ") + description),
                 qPrintable(c.boxes[0].text));
    }

    void handler_continueOnlyUpToLastResumable() {
        // A procedure whose later steps end the call on "Continuar".
        std::vector<int> done;
        BoxAnswerer c;
        c.press("Continuar").press("Continuar");
        errors::runGuarded(
            kTest,
            [&](int step) {
                done.push_back(step);
                if (step <= 2) runtime::raise(runtime::err::Overflow); // 1 resumes at 2, 2 ends the call
                return runtime::kEnd;
            },
            1, 1);
        QCOMPARE(done, (std::vector<int>{1, 2}));
        QCOMPARE(c.boxes.size(), std::size_t(2));
    }

    void handler_continueOnLastStepLeaves() {
        int steps = 0;
        BoxAnswerer c;
        c.press("Continuar");
        errors::runGuarded(kTest, [&](int step) {
            ++steps;
            if (step == 1) return 2;
            if (step == 2) runtime::raise(runtime::err::Overflow);
            return runtime::kEnd;
        });
        QCOMPARE(steps, 3); // 1, the failing 2, then the exit
        QCOMPARE(c.boxes.size(), std::size_t(1));
    }

    void handler_leaveInFunctionReturnsWhatWasSet() {
        auto function_ = [](double divisor) {
            double result = 0;
            errors::runGuarded(kTest, [&](int step) {
                switch (step) {
                case 1: result = 5; return 2;
                case 2: result = runtime::divide(10, divisor); return runtime::kEnd;
                default: return runtime::kEnd;
                }
            });
            return result;
        };
        BoxAnswerer c;
        c.press("Salir");
        QCOMPARE(function_(0), 5.0);
        QCOMPARE(function_(4), 2.5);
    }

    void nested_failuresInCalledProcedure() {
        // A failure inside a called guarded procedure opens that procedure's dialog; one raised
        // while a handler runs goes to the caller's.
        BoxAnswerer c;
        c.press("Salir").press("Continuar");
        bool wentOn = false;
        errors::runGuarded(kTest, [&](int step) {
            switch (step) {
            case 1:
                errors::runGuarded(kInner, [&](int) -> int { runtime::raise(runtime::err::TypeMismatch); });
                return 2;
            case 2:
                runtime::runSteps(
                    1, [](int) -> int { runtime::raise(runtime::err::Overflow); },
                    [](int, const runtime::Failure&) -> int { runtime::raise(runtime::err::DivisionByZero); });
                return 3;
            case 3: wentOn = true; return runtime::kEnd;
            default: return runtime::kEnd;
            }
        });
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QVERIFY(c.boxes[0].text.contains(QStringLiteral("Módulo: modInterno")));
        QVERIFY(c.boxes[1].text.contains(QStringLiteral("Módulo: modPrueba")));
        QVERIFY(c.boxes[1].text.endsWith(QStringLiteral("División por cero")));
        QVERIFY(wentOn);
    }

    void nested_dialogInsideRelabelling() {
        // A relabelled box opened while another one is waiting for its relabelling: the inner box
        // gets its captions, and no hook is left behind.
        static bool nest = false;
        nest = true;
        static winapi::HHOOK outer = 0;
        outer = winapi::SetWindowsHookExA(
            winapi::WH_CBT,
            [](int32_t, int32_t, int32_t) -> winapi::LRESULT {
                winapi::UnhookWindowsHookEx(outer);
                if (nest) {
                    nest = false;
                    errors::InformarError("interno", "p", "d");
                }
                return 0;
            },
            0, winapi::GetCurrentThreadId());
        BoxAnswerer c;
        // The outer box lost its pending hook to the inner one: it keeps the platform's captions,
        // and its codes, so the mapping is the same. Return presses its first button.
        c.press("Salir").then(pressKey(Qt::Key_Return));
        QCOMPARE(errors::InformarError("externo", "p", "d"), int16_t(2));
        QCOMPARE(c.boxes.size(), std::size_t(2));
        QVERIFY(c.boxes[0].text.contains(QStringLiteral("interno")));
        QCOMPARE(c.boxes[0].buttons, kCaptions);
        QCOMPARE(winapi::installedHookCount(), 0);
    }

    void events_noFailureCrossesTheLoop() {
        // A failure at the top of an event gets the platform's default: a box, and the program goes on.
        BoxAnswerer c;
        c.press("Aceptar");
        ui::handleEvent([] { runtime::raise(runtime::err::Overflow); });
        QCOMPARE(c.boxes.size(), std::size_t(1));
        QCOMPARE(c.boxes[0].title, QStringLiteral("ZUK"));
        QCOMPARE(c.boxes[0].text, QStringLiteral("Error '6' en tiempo de ejecución:\r\n\r\nDesbordamiento"));
    }
};

QTEST_MAIN(TestProtocol)
#include "test_protocol.moc"
