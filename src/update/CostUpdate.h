#pragma once
// The cost update run: every article with a purchase entry gets its cost and its three sale
// prices from its latest entry; the articles without entries are listed in the window.
#include "update/UpdateWindow.h"

namespace update {

extern const QString kDatabaseFile; // "veskgestion.mdb", in the application's folder
extern const QString kProgressText; // "Espere por favor, realizando tareas necesarias...."

// The entries query of one article; apostrophes in the code are doubled.
QString entriesQuery(const QString& code);

void cmdActualizar_Click(UpdateWindow& v); // v: the window, as the run refers to it all along

} // namespace update
