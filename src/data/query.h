#pragma once

// A query object on the one connection: SQL text as a list of lines, ":name"
// parameters bound by position, a materialised result with a cursor and its
// start-of-data / end-of-data flags, fields read by name, and editing of
// "select * from <table>" results with the events the data-bound screens use.

#include "data/database.h"

#include <QDate>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <vector>

class Query;

class Field
{
public:
    Field(Query *query, int column) : m_query(query), m_column(column) {}

    QString name() const;
    QVariant value() const;
    bool isNull() const;
    QString asString() const;
    qint64 asInteger() const;
    // A null date reads as an invalid QDate (the engine's 0).
    QDate asDate() const;
    QByteArray asBytes() const;
    qint64 blobSize() const;

    // Writing needs the edit or insert state.
    void setValue(const QVariant &value);
    void clear();
    void loadFromFile(const QString &path);
    void saveToFile(const QString &path) const;

private:
    Query *m_query;
    int m_column;
};

class Query
{
public:
    enum class State { Inactive, Browse, Edit, Insert };
    using Event = std::function<void(Query &)>;

    explicit Query(Database &db);
    ~Query();
    Query(const Query &) = delete;
    Query &operator=(const Query &) = delete;

    // The text: changing it closes the query first. The engine receives the lines
    // joined by CR LF.
    QStringList sql() const { return m_lines; }
    void setSql(const QStringList &lines);
    void setSql(const QString &oneLine) { setSql(QStringList{oneLine}); }
    void addSql(const QString &line);
    void clearSql() { setSql(QStringList{}); }
    QString text() const;

    QStringList parameterNames() const { return m_paramNames; }
    // The first parameter of that name; throws when the text has none.
    void setParam(const QString &name, const QVariant &value);
    void setParam(int index, const QVariant &value);

    void open();
    void close();
    bool isActive() const { return m_state != State::Inactive; }
    // Runs a statement that returns no rows; the count of rows it changed.
    int execSql();

    void first();
    void next();
    void prior();
    void last();
    void moveTo(int row);
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    int recordCount() const;
    int rowCount() const { return int(m_rows.size()); } // with a row being inserted
    int currentRow() const { return m_cur; }
    // Moves to the first row whose column equals value, ignoring case.
    bool locate(const QString &column, const QString &value);

    int fieldCount() const { return int(m_columns.size()); }
    QString fieldName(int column) const { return m_columns.value(column); }
    int fieldIndex(const QString &name) const; // -1 when absent
    Field field(const QString &name);
    Field field(int column) { return Field(this, column); }
    QVariant value(int row, int column) const;

    State state() const { return m_state; }
    bool canModify() const { return !m_table.isEmpty(); }
    bool modified() const { return m_modified; }
    void insert();
    void edit();
    void post();
    void cancel();
    void remove();

    Event afterOpen, afterClose, afterInsert, beforePost, afterPost, afterDelete, afterScroll;

private:
    friend class Field;
    const QVariant &current(int column) const;
    void setCurrent(int column, const QVariant &value);
    void checkBrowseMode();
    void updateFlagsAfterChange();
    void fire(const Event &e);
    QVariant fromEngine(int column, const QVariant &v) const;
    void bindAll(Statement &st) const;
    void reloadRow(int row, qint64 rowid);
    void requireActive() const;

    Database &m_db;
    QStringList m_lines;
    QString m_engineText; // the lines as the engine reads them
    QStringList m_paramNames;
    QVector<QVariant> m_params;

    State m_state = State::Inactive;
    QStringList m_columns;
    std::vector<bool> m_isDate;
    std::vector<QVector<QVariant>> m_rows;
    std::vector<qint64> m_rowids; // editing only
    QString m_table;               // editing only
    int m_cur = -1;
    bool m_bof = true;
    bool m_eof = true;
    QVector<QVariant> m_buffer; // the row being edited or inserted
    bool m_modified = false;
};
