#pragma once

// What the parts of a query share and its callers never see: how a result column
// is read, the plan learnt for a text, the store of the rows, the conditions of a
// filter and the caches. query.cpp holds the cursor, queryplan.cpp the reading of
// a text's result, querystore.cpp the rows' encoding, queryfilter.cpp the filter,
// queryedit.cpp the editing and queryfield.cpp the fields.

#include "data/query.h"

#include "filtro/filtro.h"

#include <QHash>
#include <QMultiHash>
#include <sqlite3.h>

// A result column as the query exposes it, and where its value comes from.
struct QueryColumn {
    FieldDef def;
    int source = -1;     // the statement column
    bool isDate = false; // "yyyy-mm-dd" texts read as dates
    bool marker = false; // the statement gives typeof() of a blob in its place
    bool settled = true; // the type is known (an expression's is learnt from its first row)
    int keySlot = -1;    // >= 0: a blob read when asked for, through that key
    QString table;       // the table the column comes from, when one does
    QString origin;      // its name in that table
};

// What the result of a text looks like, learnt the first time a query runs it and
// kept with the text (SqlText::plan).
struct QueryPlan {
    QString runText;    // what the engine runs: blobs of an editable result as typeof()
    QString reloadText; // editable: one row by its rowid, with the same columns
    QString table;      // editable: the table whose rows are edited, as the text names it
    int statementColumns = 0;
    std::vector<int> keySources; // the statement column of each key; an editable result's rowid is key 0
    std::shared_ptr<std::vector<QueryColumn>> columns;
};

namespace QueryInternals
{

// The first column of that name, in any letter case; -1 when there is none.
int indiceDe(const std::vector<QueryColumn> &columns, const QString &name);
// An identifier between double quotes, for the statements the query writes itself.
QString quoted(const QString &identifier);
// Runs the text once, unstepped, to learn its columns and whether its rows can be edited.
std::shared_ptr<QueryPlan> buildPlan(Database &db, const QString &engineText);

// Keeps the count of notifications under way right when a listener throws.
struct Depth {
    int &n;
    explicit Depth(int &d) : n(d) { ++n; }
    ~Depth() { --n; }
};

} // namespace QueryInternals

// The rows of a result, encoded one after the other: a row costs a few bytes more
// than its values. A row is known by an id that stays while rows around it come
// and go; a saved row is written again at the end.
class Query::Store
{
  public:
    enum Tag : char { Null, Int8, Int16, Int32, Int64, Double, Text, Blob, Deferred, Date };

    explicit Store(size_t keySlots) : keys(keySlots) { bytes.reserve(256); }

    quint32 beginRow()
    {
        offsets.push_back(bytes.size());
        for (auto &k : keys)
            k.push_back(0);
        return quint32(offsets.size() - 1);
    }
    void rewriteRow(quint32 id) { offsets[id] = bytes.size(); }
    quint32 emptyRow(int columns)
    {
        const quint32 id = beginRow();
        bytes.insert(bytes.end(), size_t(columns), char(Null));
        return id;
    }

    // The statement's value of that column, appended to the row begun last. A blob
    // the column can find again through its key is left in its table unless kept.
    void put(sqlite3_stmt *s, const QueryColumn &c, bool keepBlob);
    // A blob left in its table reads as null with *deferred set.
    QVariant read(quint32 id, int column, bool *deferred) const;

    std::vector<char> bytes;
    std::vector<size_t> offsets;           // by row id
    std::vector<std::vector<qint64>> keys; // by key slot, then row id

  private:
    void append(const void *p, size_t n)
    {
        const char *c = static_cast<const char *>(p);
        bytes.insert(bytes.end(), c, c + n);
    }
    void putInt(qint64 v);
    void putLength(quint64 n);
    static quint64 readLength(const char *&p);
    static const char *skip(const char *p);
};

struct Query::Condition : Filtro::Condicao {
    int column = -1; // the field's column in the open result
};

// Rows of one column by the case-folded text, for locate() over long results.
struct Query::Index {
    int column = -1;
    QMultiHash<size_t, int> rows;
};

struct Query::FilterIndex {
    QHash<int, QHash<QString, std::vector<quint32>>> byColumn; // ids in the result's order
};

template <class F> void Query::notify(F &&f)
{
    if (m_disabled > 0 || m_destroying) return;
    {
        QueryInternals::Depth depth(m_notifying);
        // A listener may add or remove listeners while it is told.
        for (size_t i = 0; i < m_listeners.size(); ++i)
            if (QueryListener *l = m_listeners[i]) f(*l);
    }
    if (m_notifying == 0) std::erase(m_listeners, nullptr);
}
