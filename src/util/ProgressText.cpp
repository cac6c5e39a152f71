#include "util/ProgressText.h"
#include "errors/Protocol.h"
#include "platform/runtime/Arithmetic.h"
#include "platform/runtime/Conversions.h"

namespace util {

QString progressText(const QString& TEXTO, double percentage) {
    return TEXTO + QStringLiteral("    ") + runtime::formatHashes(percentage) + QLatin1Char('%');
}

void progreso(const errors::Identity& identity, int32_t value, int32_t max, const bool& donde, const QString& TEXTO,
              const std::function<void(const QString&)>& toCaption,
              const std::function<void(const QString&)>& toLabel) {
    double percentage = 0;
    QString text;
    errors::runGuarded(
        identity,
        [&](int step) {
            switch (step) {
            case 1: percentage = runtime::divide(runtime::multiplyLong(value, 100), max); break;
            case 2: text = progressText(TEXTO, percentage); break;
            case 3:
                if (donde)
                    toCaption(text);
                else
                    toLabel(text);
                return runtime::kEnd;
            default: return runtime::kEnd;
            }
            return step + 1;
        },
        1, 1); // after a failure of the text or of where it goes, "Continuar" ends the call
}

} // namespace util
