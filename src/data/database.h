#pragma once

// The one connection to the election database: a SQLite file reached through a
// connection string of the form "Provider=...;Data Source=...;Mode=...". With the
// mode "Share Deny Read|Share Deny Write" the file is locked for the whole run, so
// no other process can read or write it while the program runs.
// With the mode "Read" the file is opened read-only and shared with other readers
// (the database tool's checks); a file held by the program is refused as busy.

#include "data/dberror.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class Database;

// A prepared statement borrowed from the connection's cache; handed back reset on destruction.
class Statement
{
public:
    Statement(Database &db, const QString &sql);
    ~Statement();
    Statement(Statement &&other) noexcept;
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    Statement &operator=(Statement &&) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    int parameterCount() const;
    void bind(int index, const QVariant &value); // 1-based
    // One step: true while a row is ready.
    bool step();
    int columnCount() const;
    QString columnName(int i) const;
    QString columnDeclType(int i) const;
    // The table and column a result column comes from; empty for an expression.
    QString columnTableName(int i) const;
    QString columnOriginName(int i) const;
    QVariant column(int i) const;

private:
    Database *m_db;
    QString m_sql;
    sqlite3_stmt *m_stmt = nullptr;
};

struct QueryPlan;

// A program text as the engine runs it, worked out once per text and connection.
struct SqlText {
    QString engine;             // in SQLite's dialect
    QStringList parameterNames; // in order of appearance
    // What a query object learnt about the text's result the first time it ran it.
    mutable std::shared_ptr<QueryPlan> plan;
};

class Database
{
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Turns an engine message into the text a person reads; unset, messages pass unchanged.
    using MessageTranslator = std::function<QString(const QString &engineMessage)>;
    // Runs on open, under the exclusive lock and before anything is written to the file;
    // throws DbError to refuse a file that is not what the program expects.
    using OpenCheck = std::function<void(Database &)>;
    void setMessageTranslator(MessageTranslator translator) { m_translator = std::move(translator); }
    void setOpenCheck(OpenCheck check) { m_openCheck = std::move(check); }
    QString translateMessage(const QString &engineMessage) const;

    void setConnectionString(const QString &text) { m_connectionString = text; }
    QString connectionString() const { return m_connectionString; }

    // Opens the file named by the connection string; throws DbError and stays closed on failure.
    void open();
    // Creates a new, empty database file (shared, without checks) for the schema to fill.
    void create(const QString &file);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString fileName() const { return m_fileName; }

    // Runs statements without parameters or results (schema, pragmas).
    void execScript(const QString &sql);
    int changes() const;
    // Moves what the write-ahead log holds into the file and empties the log. The log
    // keeps pages in the order they were written, so emptying it often keeps it from
    // telling the order in which votes were cast.
    void checkpoint();
    qint64 lastInsertRowid() const;

    sqlite3 *handle() const;
    // Throws the connection's last error, translated, with the engine's code and text.
    [[noreturn]] void raise(int rc) const;

    // The engine's form of a program text, from a cache; the same object for the same
    // text. The lines are the text joined by CR LF, as a query object sends it.
    std::shared_ptr<const SqlText> sqlText(const QString &programText);
    std::shared_ptr<const SqlText> sqlText(const QStringList &lines);
    // After a statement that may have changed tables (create, alter, drop), what the
    // connection learnt about results and the statements it keeps are dropped.
    void tablesMayHaveChanged(const QString &sql);

    // The attributes of a connection string, keys in lower case; empty attributes are skipped.
    static QHash<QString, QString> parseConnectionString(const QString &text);
    // An exclusive connection string for a database file.
    static QString connectionStringFor(const QString &file);
    // Turns the program's SQL dialect into SQLite's: double-quoted texts become
    // string literals and ":name" markers become positional "?".
    static QString translate(const QString &sql, QStringList *parameterNames = nullptr);

private:
    friend class Statement;
    sqlite3_stmt *acquire(const QString &sql);
    void release(const QString &sql, sqlite3_stmt *stmt);
    static void checkFileLooksLikeDatabase(const QString &path);
    // A file in WAL mode that no connection holds (no "-wal" beside it).
    static bool unheldWalFile(const QString &path);
    void openHandle(const QString &file, int flags);
    void forgetTexts();

    MessageTranslator m_translator;
    OpenCheck m_openCheck;

    QString m_connectionString;
    QString m_fileName;
    sqlite3 *m_db = nullptr;
    QHash<QString, std::vector<sqlite3_stmt *>> m_idle;
    QHash<QString, std::shared_ptr<const SqlText>> m_texts;
    QHash<QStringList, std::shared_ptr<const SqlText>> m_textsByLines;
    QByteArray m_bindBuffer;
};

// A transaction that rolls back when it goes out of scope without commit(): an
// error between BEGIN and COMMIT can never leave half of a change behind, nor a
// transaction open on the connection. The destructor never throws.
class Transaction
{
public:
    enum class Mode { Deferred, Immediate, Exclusive };
    explicit Transaction(Database &db, Mode mode = Mode::Deferred);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Throws DbError when the engine refuses; the destructor then rolls back.
    void commit();

private:
    Database &m_db;
    bool m_open = true;
};
