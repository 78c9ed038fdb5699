#pragma once

// A query object on the one connection: SQL text as a list of lines, ":name"
// parameters bound by position, a result read once into a compact store with a
// cursor and its start-of-data / end-of-data flags, fields read by name, a filter,
// field definitions, and editing of "select * from <table>" results.
//
// Two ways to hear about a query:
// - the seven events (afterOpen ... afterScroll), one handler each, for the
//   system's own handlers; they run inside the operation that raises them;
// - the change channel: any number of QueryListener objects (data sources,
//   grid models, report readers) told of every change, before the event of the
//   same operation. disableControls() silences the channel while a reader walks
//   the query; the last enableControls() tells every listener to read it afresh.
//
// Blobs are not kept in the result: a field that asks for one reads it from its
// table, by row id or by the result's key.

#include "data/database.h"

#include <QDate>
#include <QList>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

class Query;
struct QueryColumn;

enum class FieldType { String, Integer, SmallInt, AutoInc, Float, Date, Blob };

struct FieldDef {
    QString name;
    FieldType type = FieldType::String;
    int size = 0;        // characters of a text field; 0 when the result does not say
    QString displayName; // the name, unless given
};

// What a data-bound screen hears from a query. Rows are positions in the query's
// rows as its filter shows them (0 .. rowCount() - 1). A listener removes itself
// from the query before it goes, unless it outlives the query.
class QueryListener
{
  public:
    virtual ~QueryListener() = default;
    // Inactive, browse, edit or insert.
    virtual void stateChanged(Query &) {}
    // The current row, or only the start/end flags, changed.
    virtual void currentChanged(Query &) {}
    // A value of the current row changed; column -1: all of them (cancel, post).
    virtual void fieldChanged(Query &, int /*column*/) {}
    // Every row may have changed (open, close, filter, controls enabled again).
    virtual void rowsReset(Query &) {}
    virtual void rowInserted(Query &, int /*row*/) {}
    virtual void rowRemoved(Query &, int /*row*/) {}
    // Write any text typed but not yet written into its field: the row is about
    // to be saved, or left.
    virtual void flushPending(Query &) {}
    // The query is being destroyed; forget it.
    virtual void queryDestroyed(Query &) {}
};

class Field
{
  public:
    Field(Query *query, int column) : m_query(query), m_column(column) {}

    QString name() const;
    FieldDef def() const;
    // With no current row (an empty result, or every row deleted) a field reads as
    // nothing: null, "", 0, an invalid date. A closed query throws.
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
    // Whether an operation raises the seven events.
    enum class Events { Raise, Skip };
    using Event = std::function<void(Query &)>;

    // Where the cursor stands: a row that keeps its identity while rows around it
    // come and go or the filter changes, and the two flags.
    struct Position {
        qint64 row = -1;
        bool bof = true;
        bool eof = true;
    };
    // What a reader found when it began, to put back when it ends.
    struct ReaderState {
        bool wasOpen = false;
        QString filter;
        Position position;
    };

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

    QStringList parameterNames() const;
    // The first parameter of that name; throws when the text has none.
    void setParam(const QString &name, const QVariant &value);
    void setParam(int index, const QVariant &value);

    void open();
    void close();
    bool isActive() const { return m_state != State::Inactive; }
    // Runs a statement that returns no rows; the count of rows it changed.
    int execSql();

    // Moves. While a row is being added or edited, a move first saves it when a
    // field changed and drops it otherwise.
    void first();
    void next();
    void prior();
    void last();
    void moveTo(int row);
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    int recordCount() const;
    int rowCount() const { return int(m_view.size()); } // with a row being inserted
    int currentRow() const { return m_cur; }
    // Moves to the first row whose column equals value, ignoring case.
    bool locate(const QString &column, const QString &value);
    // The row locate() would move to, without moving; -1 when none.
    int find(const QString &column, const QString &value) const;

    Position position() const;
    // Back to a remembered position: no save, no events; the change channel hears it.
    // A row the filter now hides leaves the cursor on the first row.
    void restorePosition(const Position &position);

    int fieldCount() const;
    QString fieldName(int column) const;
    int fieldIndex(const QString &name) const; // -1 when absent
    Field field(const QString &name);
    Field field(int column) { return Field(this, column); }
    QVariant value(int row, int column) const;
    // A value as a field shows it (day text for dates); "" for null.
    QString displayText(int row, int column) const;

    // The fields of the open result, or the fixed list. A fixed list (closes the
    // query) makes the query expose exactly those fields, in that order, and fail to
    // open when its result lacks one; an empty list gives the result's own fields.
    QList<FieldDef> fieldDefs() const;
    void setFixedFields(const QList<FieldDef> &fields);

    // Conditions "[campo] = 'valor'" joined by " and " (a quote inside a value
    // doubled); = and <> compare the field's text with the value in full and with
    // letter case; <, <=, > and >= compare them as texts. Set on an open query it
    // goes to the first row the filter lets through; "" shows every row.
    QString filter() const { return m_filter; }
    void setFilter(const QString &text, Events events = Events::Raise);
    void clearFilter() { setFilter(QString()); }

    State state() const { return m_state; }
    bool canModify() const;
    bool modified() const { return m_modified; }
    void insert();
    // On an empty result, starts adding a row, as the data-entry screens expect.
    void edit();
    void post();
    void cancel();
    void remove();

    // The change channel.
    void addListener(QueryListener *listener);
    void removeListener(QueryListener *listener);
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disabled > 0; }

    // A reader (a report's data connection) walking the query: beginReading
    // remembers the open state, filter and position, silences the channel and opens
    // the query on its first row if it was closed; endReading puts all of that back
    // (the row without events) and lets the channel speak again.
    ReaderState beginReading();
    void endReading(const ReaderState &state);

    Event afterOpen, afterClose, afterInsert, beforePost, afterPost, afterDelete, afterScroll;

  private:
    friend class Field;
    struct Cell {
        QVariant value;
        bool deferred = false; // a blob not yet read: the stored one, unchanged
    };
    struct Condition;
    class Store;
    static std::vector<Condition> parseFilter(const QString &text);
    static void resolveConditions(std::vector<Condition> &conditions,
                                  const std::vector<QueryColumn> &columns);

    QVariant current(int column) const;
    void setCurrent(int column, const QVariant &value);
    void checkBrowseMode();
    void requireActive() const;
    void requireColumn(int column) const;
    void fire(const Event &e);
    void bindAll(Statement &st) const;
    void reloadRow(quint32 id);
    void removeFromView(int at);
    void applyFilter();
    bool passes(quint32 id) const;
    QVariant cellValue(quint32 id, int column) const;
    QVariant blobOf(quint32 id, int column) const;
    QString textOf(const QVariant &v) const;
    void invalidateCaches();
    void setCursor(int row, bool bof, bool eof);
    template <class F> void notify(F &&f);

    Database &m_db;
    QStringList m_lines;
    std::shared_ptr<const SqlText> m_text;
    QVector<QVariant> m_params;
    QList<FieldDef> m_fixed;
    QString m_filter;
    std::shared_ptr<std::vector<Condition>> m_conditions;

    State m_state = State::Inactive;
    std::shared_ptr<QueryPlan> m_plan;
    std::shared_ptr<const std::vector<QueryColumn>> m_columns;
    std::unique_ptr<Store> m_store;
    std::vector<quint32> m_view;  // the rows the filter lets through, in the result's order
    std::vector<quint32> m_order; // while filtered: every row, in the result's order
    bool m_filtered = false;
    int m_cur = -1;
    bool m_bof = true;
    bool m_eof = true;
    std::vector<Cell> m_buffer; // the row being edited or inserted
    bool m_modified = false;

    std::vector<QueryListener *> m_listeners;
    int m_disabled = 0;
    int m_notifying = 0;
    bool m_destroying = false;

    struct Index;
    mutable std::unique_ptr<Index> m_index;
    // Rows by the exact text of one column, for filters with an equality: a report's
    // lookups set a new filter for every row they look up. Kept across filter
    // changes, dropped when rows change.
    struct FilterIndex;
    std::unique_ptr<FilterIndex> m_filterIndex;
    struct BlobCache {
        quint32 id = 0;
        int column = -1;
        QVariant value;
    };
    mutable BlobCache m_blob;
};
