#include "TargetFile.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace importer {

namespace {

bool syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Gives the complete file its name: with `replace` over whatever is there, otherwise only where
// nothing is, a file made meanwhile kept as it is. 0, or why not (an errno).
int giveName(const QByteArray& from, const QByteArray& to, bool replace) {
    if (replace) return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // A file system without that rename: a second name, refused where a file is, then the first gone.
    if (::link(from.constData(), to.constData()) != 0) return errno;
    ::unlink(from.constData());
    return 0;
}

} // namespace

Temporary makeTemporary(const QString& target) {
    const QFileInfo to(target);
    QByteArray pattern =
        QFile::encodeName(to.absolutePath() + QStringLiteral("/.") + to.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return {{}, errno};
    // mkstemp makes it for this user alone; a database is the group's too, as the user's umask says.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    return {QFile::decodeName(pattern), 0};
}

int publish(const QString& temporary, const QString& target, bool replace) {
    const QByteArray from = QFile::encodeName(temporary);
    // On the disk first, then under its name, then the name on the disk too.
    const int done = ::open(from.constData(), O_RDONLY);
    const int synced = done >= 0 && ::fsync(done) == 0 ? 0 : errno;
    if (done >= 0) ::close(done);
    const int named = synced == 0 ? giveName(from, QFile::encodeName(target), replace) : synced;
    if (named != 0) {
        discard(temporary);
        return named;
    }
    syncFolder(QFileInfo(target).absolutePath());
    return 0;
}

void discard(const QString& temporary) { ::unlink(QFile::encodeName(temporary).constData()); }

} // namespace importer
