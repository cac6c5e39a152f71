#pragma once
// What the pending writes need of their connection, and nothing more: the file, its handle for
// the statements that write, and the moment a write transaction begins and ends.
#include <QString>
#include <cstddef>
#include <memory>

struct sqlite3;

namespace ado {

class Statement;

class WriteTarget {
public:
    virtual sqlite3* handle() const = 0; // null once closed
    virtual const QString& path() const = 0;
    // Whether this user may not write the file.
    virtual bool readOnly() const = 0;
    // A statement of the connection's cache.
    virtual std::shared_ptr<Statement> statement(const QString& sql) = 0;
    // Lets go of the shared read and begins a write transaction (BEGIN IMMEDIATE), with what the
    // connection's owner asked to be done first in every one of them.
    virtual void beginWriting() = 0;
    // A statement that writes has ended; `kept`: the engine did not undo it (see ChangeLog).
    virtual void statementEnded(bool kept) = 0;
    // Ends the write transaction, which updated that many rows itself.
    virtual void commit(std::size_t rowsUpdated) = 0;

    static constexpr int kBusyMs = 1500; // how long an operation waits for another program's lock

protected:
    ~WriteTarget() = default;
};

} // namespace ado
