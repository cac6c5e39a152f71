// The program: it creates and shows the main window and runs until none of its windows is open.
#include "errors/Protocol.h"
#include "forms/main/frmPrecioCoste.h"
#include "platform/ui/App.h"
#include "platform/ui/Events.h"
#include "platform/ui/MsgBox.h"
#include "report/basCapturaPantalla.h"

#include <clocale>

int main(int argc, char** argv) {
    ui::App::useRuntimeFolder();
    ui::GuardedApplication app(argc, argv);
    ui::App::usePluginsOfQtOnly();
    errors::setReportStarter(&report::basCapturaPantalla::startReport);
    std::setlocale(LC_NUMERIC, "C");
    app.setApplicationName(ui::App::Title());
    app.setDesktopFileName(QStringLiteral("actualizapvp")); // its menu entry
    forms::frmPrecioCoste window;
    window.show();
    const int code = app.exec();
    ui::beforeOperatorWait(true);
    return code;
}
