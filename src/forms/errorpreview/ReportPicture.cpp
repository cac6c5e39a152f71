#include "forms/errorpreview/ReportPicture.h"
#include "platform/imageviewer/ImageViewer.h"
#include "platform/runtime/Failure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace forms {

QString ReportPicture::basePathFor(const QString& programFolder, const QDateTime& moment) {
    const QDate d = moment.date();
    const QTime t = moment.time();
    QString digits;
    for (const int part : {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()})
        digits += QString::number(part);
    return programFolder + QStringLiteral("/imagenerror/") + digits;
}

namespace {

// The base paths held by this program's windows, from load to close.
std::set<QString>& heldBasePaths() {
    static std::set<QString> held;
    return held;
}

} // namespace

void ReportPicture::makeFolder(const QString& folder) {
    if (QFileInfo(folder).isDir()) return; // an existing folder keeps its mode
    if (!QDir().mkdir(folder)) runtime::raise(runtime::err::PathFileAccessError);
    // In a folder shared by a group (set-group-ID, as the package makes the program's), every
    // member makes reports: the folder is the group's to write too, whatever this user's umask,
    // and, as /tmp, each member's files are that member's alone to remove or rename.
    struct stat parent {
    }, made{};
    const QByteArray path = QFile::encodeName(folder);
    if (::stat(QFile::encodeName(QFileInfo(folder).absolutePath()).constData(), &parent) == 0 &&
        (parent.st_mode & S_ISGID) && ::stat(path.constData(), &made) == 0)
        ::chmod(path.constData(), (made.st_mode & 07777) | S_IRWXG | S_ISGID | S_ISVTX);
}

namespace {

// Whether anything stands at that name, or at one that differs from it only in letter case (the
// picture is read back under either, as names were on the original platform), a link that leads
// nowhere included.
bool taken(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 || !imageviewer::filesIgnoringCase(path).isEmpty();
}

// Whether the name still stands for the open file: another program may have removed it, or put
// another file there, since it was opened.
bool namesFile(const QByteArray& path, int fd) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(path.constData(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Whether the open file is empty.
bool empty(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

// Whether the open file is this user's: in a shared folder (sticky, as the package makes it) only
// its owner may put the picture in its place.
bool ours(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid();
}

} // namespace

const QString& ReportPicture::hold(const QString& documented) {
    release();
    constexpr int kMostReports = 10000; // reports of one moment: past that, the name is shared
    for (int n = 1; n <= kMostReports; ++n) {
        const QString candidate = n == 1 ? documented : documented + QStringLiteral("-%1").arg(n);
        if (heldBasePaths().count(candidate) || taken(candidate + QStringLiteral(".bmp"))) continue;
        // The JPEG's name, made empty and locked for as long as the window lives. An empty one
        // that no program holds was left by a program that ended without closing its window:
        // its name is free again. Whoever locks it first owns it: a program that finds it
        // locked, or gone or replaced once it holds the lock, takes another name.
        const QByteArray jpg = QFile::encodeName(candidate + QStringLiteral(".jpg"));
        // Only this user's to write, whatever the umask (as every report file): in a folder a
        // group shares, no other member writes into the picture.
        int fd = ::open(jpg.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == EEXIST) {
            fd = ::open(jpg.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0) continue; // another user's, or a link
        }
        if (fd >= 0 && !(::flock(fd, LOCK_EX | LOCK_NB) == 0 && namesFile(jpg, fd) && empty(fd) && ours(fd))) {
            ::close(fd);
            continue; // a kept report's picture, or another program's window's
        }
        // Where the folder cannot be written, the name is held in this program only.
        placeholder_ = fd;
        heldBasePaths().insert(candidate);
        basePath_ = candidate;
        return basePath_;
    }
    basePath_ = documented;
    return basePath_;
}

void ReportPicture::release() {
    if (basePath_.isEmpty()) return;
    heldBasePaths().erase(basePath_);
    // A report never prepared leaves nothing behind.
    if (placeholder_ >= 0) {
        // The picture, once made, is another file under the name: only the empty placeholder goes.
        const QByteArray jpg = QFile::encodeName(basePath_ + QStringLiteral(".jpg"));
        if (empty(placeholder_) && namesFile(jpg, placeholder_)) ::unlink(jpg.constData());
        ::close(placeholder_);
        placeholder_ = -1;
    }
    basePath_.clear();
}

ReportPicture::~ReportPicture() { release(); }

} // namespace forms
