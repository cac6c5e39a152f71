#include "platform/ui/App.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace ui::App {

QString Path() {
    QString dir = QCoreApplication::applicationDirPath();
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

QString EXEName() { return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(); }

QString Title() { return QStringLiteral("ZUK"); }

} // namespace ui::App
