#include "schema/FileKind.h"

#include <QFile>

namespace schema {

namespace {
constexpr int kVersionAt = 0x14;
constexpr int kJet3 = 0;
} // namespace

bool hasSqliteSignature(const QByteArray& first) { return first.startsWith(QByteArray("SQLite format 3\0", 16)); }

bool hasAccessSignature(const QByteArray& first) {
    if (!first.startsWith(QByteArray("\x00\x01\x00\x00", 4))) return false;
    const QByteArray engine = first.mid(4, 15);
    return engine == "Standard Jet DB" || engine == "Standard ACE DB";
}

AccessHeader accessHeader(const QByteArray& first) {
    AccessHeader h;
    if (first.size() < 0x18 || !hasAccessSignature(first)) return h;
    h.access = true;
    h.version = static_cast<unsigned char>(first[kVersionAt]);
    h.pageSize = h.version == kJet3 ? 2048 : 4096;
    return h;
}

FileKind fileKind(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return FileKind::Unreadable;
    const QByteArray first = f.read(0x20);
    if (hasSqliteSignature(first)) return FileKind::Sqlite;
    if (hasAccessSignature(first)) return FileKind::Access;
    return FileKind::Other;
}

} // namespace schema
