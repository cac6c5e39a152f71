#pragma once
// What a file is, by its first bytes: the program's own SQLite file, or a shop's Access database
// (Jet 3, Jet 4 or ACE), which the program does not open and the converter brings over.
#include <QByteArray>
#include <QString>

namespace schema {

enum class FileKind {
    Unreadable, // missing, a folder, or not to be read by this user
    Sqlite,
    Access,
    Other,
};

// By the file's first bytes; nothing else of it is read.
FileKind fileKind(const QString& path);

// The first 16 bytes of every SQLite 3 file.
bool hasSqliteSignature(const QByteArray& first);

// A Jet or ACE file's first page: the signature ("Standard Jet DB" or "Standard ACE DB" after four
// bytes 00 01 00 00), then the engine's version at 0x14, which also sets the page size.
struct AccessHeader {
    bool access = false; // the signature and the version are there
    int version = -1;    // 0 Jet 3, 1 Jet 4, 2 and above ACE
    int pageSize = 0;    // 2048 bytes for Jet 3, 4096 for the others
};
bool hasAccessSignature(const QByteArray& first);
AccessHeader accessHeader(const QByteArray& first); // from the file's first 0x20 bytes

} // namespace schema
