// The program: it creates and shows the main window and runs until none of its windows is open.
#include "forms/main/frmPrecioCoste.h"
#include "platform/ui/Events.h"

#include <clocale>

int main(int argc, char** argv) {
    ui::Aplicacion app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    app.setApplicationName(QStringLiteral("ZUK"));
    frmPrecioCoste ventana;
    ventana.show();
    return app.exec();
}
