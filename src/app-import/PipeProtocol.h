#pragma once
// What the reading process tells the command, through a pipe: one line each, a word, and for some
// a text after it. The command judges the reading by these lines alone (and by how the process
// ends): the process's standard output is the operator's, its standard error libmdb's.
#include <QByteArray>
#include <QString>
#include <cstring>
#include <unistd.h>

namespace importer::pipe {

// The words, with the space that parts them from their text where they have one.
inline constexpr char kTableStarts[] = "T "; // then the table's name, printable
inline constexpr char kProgress[] = "P";     // rows read, or SQLite still at work: the reading goes on
inline constexpr char kOutOfMemory[] = "M";  // memory was refused
inline constexpr char kUnreadable[] = "E ";  // then why the source cannot be read, in Spanish
inline constexpr char kUnwritable[] = "W ";  // then why the target cannot be written, in Spanish
inline constexpr char kComplete[] = "OK";    // the target is whole: the last line of a conversion

// Writes one line; a reading process has no use for a line it could not send.
inline void tell(int fd, const char* word, const QString& text = {}) {
    const QByteArray bytes = QByteArray(word) + text.toUtf8() + '\n';
    [[maybe_unused]] const ssize_t n = ::write(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

inline bool is(const QString& line, const char* word) { return line == QLatin1String(word); }
inline bool startsWith(const QString& line, const char* word) { return line.startsWith(QLatin1String(word)); }
// The text after a word that has one.
inline QString textAfter(const QString& line, const char* word) { return line.mid(qsizetype(std::strlen(word))); }

} // namespace importer::pipe
