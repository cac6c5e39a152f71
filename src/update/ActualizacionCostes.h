#pragma once
// The cost update run: every article with a purchase entry gets its cost and its three sale
// prices from its latest entry; the articles without entries are listed in the window.
#include "update/VentanaActualizacion.h"

namespace actualizacion {

extern const QString kArchivoBaseDatos; // "veskgestion.mdb", in the application's folder
extern const QString kTextoProgreso;    // "Espere por favor, realizando tareas necesarias...."

// The entries query of one article; apostrophes in the code are doubled.
QString consultaEntradas(const QString& codigo);

void cmdActualizar_Click(VentanaActualizacion& ventana);

} // namespace actualizacion
