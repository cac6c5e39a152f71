// Runs the cost update once, as an operator would, without a screen: the main window, the click
// of "&ACTUALIZAR", and every box answered with its first button after SUMMARY_WAIT_MS. It prints
// each box, each tenth of the pass, and the final text. For the tests that kill the program in the
// middle of a run, or run it beside other programs.
//   run_update [SUMMARY_WAIT_MS]        (in the folder of the database, veskgestion.mdb)
#include "forms/main/frmPrecioCoste.h"
#include "platform/ui/Events.h"
#include "platform/ui/MsgBox.h"

#include <QApplication>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <clocale>
#include <cstdio>

using forms::frmPrecioCoste;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ui::GuardedApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    const int wait = argc > 1 ? std::atoi(argv[1]) : 0;
    // Every box is answered with its first button ("Aceptar", "Continuar"...), after the wait.
    // (A box may be shown again after it was answered: a retry that failed once more.)
    QTimer boxes;
    bool answering = false;
    QObject::connect(&boxes, &QTimer::timeout, [wait, &answering] {
        auto* box = qobject_cast<ui::MessageBox*>(QApplication::activeModalWidget());
        if (!box || answering) return;
        answering = true;
        std::printf("box: %s: %s\n", qPrintable(box->windowTitle()), qPrintable(box->prompt().simplified().left(160)));
        std::fflush(stdout);
        QTimer::singleShot(wait, qApp, [box = QPointer<ui::MessageBox>(box), &answering] {
            answering = false;
            if (box && box->isVisible()) box->buttons().front()->click();
        });
    });
    boxes.start(10);
    frmPrecioCoste window;
    // Each tenth of the pass is told, so that other programs can act at a known point of it.
    int told = 0;
    QObject::connect(window.barra, &QProgressBar::valueChanged, [&window, &told](int value) {
        const int maximum = window.barra->maximum();
        const int tenths = maximum > 0 ? static_cast<int>(10LL * value / maximum) : 0;
        for (; told < tenths; ++told)
            std::printf("progress: %d%%\n", (told + 1) * 10);
        std::fflush(stdout);
    });
    window.show();
    window.cmdActualizar->click();
    std::printf("done: %s\n", qPrintable(window.lblInfo->text()));
    return 0;
}
