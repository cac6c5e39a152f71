#include "platform/ui/App.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace ui::App {

QString Path() {
    QString dir = QCoreApplication::applicationDirPath();
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

QString EXEName() { return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName(); }

QString Title() { return QStringLiteral("ZUK"); }

void usePluginsOfQtOnly() {
    QStringList folders;
    for (const QString& folder : qEnvironmentVariable("QT_PLUGIN_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << folder;
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    QCoreApplication::setLibraryPaths(folders);
}

void useRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const QByteArray folder =
        QFile::encodeName(QDir::tempPath()) + "/actualizapvp-runtime-" + QByteArray::number(::getuid());
    ::mkdir(folder.constData(), 0700);
    // Only a folder that is this user's alone will do: otherwise Qt's own default stands.
    struct stat st {};
    if (::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
        (st.st_mode & 077) == 0)
        qputenv("XDG_RUNTIME_DIR", folder);
}

} // namespace ui::App
