#include "command/Progress.h"
#include "command/Command.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace command {

QString thousands(long long n) {
    QString s = QString::number(n);
    for (int i = static_cast<int>(s.size()) - 3; i > (n < 0 ? 1 : 0); i -= 3)
        s.insert(i, QLatin1Char('.'));
    return s;
}

bool onTerminal() { return isatty(STDOUT_FILENO) != 0; }

void showProgress(const QString& label, long long done, long long total) {
    if (!onTerminal()) return;
    total = std::max(total, done);
    constexpr int kWidth = 30, kLabel = 28;
    const int filled = total ? static_cast<int>(kWidth * done / total) : kWidth;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kWidth - filled, QLatin1Char(' '));
    // Cut and padded in characters, not bytes: a name is never cut inside a character.
    const QString shown = printable(label).leftJustified(kLabel, QLatin1Char(' '), true);
    std::printf("\r  %s [%s] %s de %s", shown.toUtf8().constData(), bar.toUtf8().constData(),
                thousands(done).toUtf8().constData(), thousands(total).toUtf8().constData());
    std::fflush(stdout);
}

void endProgressLine() {
    if (onTerminal()) std::printf("\n");
}

} // namespace command
