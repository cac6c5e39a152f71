#include "platform/runtime/EsperaOperador.h"

#include <map>

namespace rt {

namespace {
std::map<IdEspera, std::function<void()>>& acciones() {
    static std::map<IdEspera, std::function<void()>> m;
    return m;
}
IdEspera siguiente = 1;
} // namespace

IdEspera alEsperarOperador(std::function<void()> accion) {
    acciones().emplace(siguiente, std::move(accion));
    return siguiente++;
}

void quitarEspera(IdEspera id) { acciones().erase(id); }

void antesDeEsperarOperador() {
    const auto copia = acciones(); // an action may unregister itself
    for (const auto& [id, accion] : copia)
        accion();
}

} // namespace rt
