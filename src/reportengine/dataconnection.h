#pragma once

// How the engine reads rows: a data connection, registered under a name that the
// project file's sections, lookups and fingerprints use. The engine calls a
// connection only on the thread that runs the report (the GUI thread), in this
// order: begin, then any number of filter / first / next / end-test / value
// calls, then end, which must put the source back as it was before begin.

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <vector>

namespace ReportEngine
{

enum class FieldType { Text, Integer, Float, Boolean, Date, DateTime, Blob, Other };

struct FieldInfo {
    FieldInfo(QString n = {}, FieldType t = FieldType::Text, int s = 0, QString display = {})
        : name(std::move(n)), type(t), size(s), displayName(std::move(display))
    {
    }
    QString name;
    FieldType type = FieldType::Text;
    int size = 0; // characters of a text field; 0 when it has no fixed size
    QString displayName;
};

class DataConnection
{
  public:
    virtual ~DataConnection() = default;

    // Remember the source's state (open or not, filter, current row) and open it if needed.
    virtual void begin() = 0;
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool atEnd() const = 0;
    virtual QList<FieldInfo> fields() const = 0;
    // The current row's value of the field at that position in fields().
    virtual QVariant value(int field) const = 0;
    // Restricts the rows to those meeting the conditions written as filterText()
    // writes them; an empty text gives every row again.
    virtual void setFilter(const QString &filter) = 0;
    // Put the source back as begin found it.
    virtual void end() = 0;
};

// One condition of a lookup: the field, the operator ("=", "<>", "<", "<=", ">" or ">=")
// and the value as text.
struct Condition {
    QString field;
    QString op;
    QString value;
};

// [field] op 'value' joined by " and "; a single quote inside a value is doubled.
// Values are compared in full and with letter case significant.
QString filterText(const QList<Condition> &conditions);

// Reads a filter text back into its conditions (the form queries read too);
// throws ReportError on a text that is not a filter.
QList<Condition> parseFilter(const QString &filter);

// The rows of a begun connection as one canonical text (every row, every field,
// filter cleared), the form a report's sha256() hashes; see docs/report-format.md.
QByteArray canonicalText(DataConnection &connection, const QString &name);
// The SHA-256, in lower-case hexadecimal, of the canonical texts one after the other.
QString fingerprint(const QList<QPair<QString, DataConnection *>> &connections);

// Connections by name; names are matched without regard to letter case.
class ConnectionRegistry
{
  public:
    void add(const QString &name, DataConnection *connection);
    void remove(const QString &name);
    DataConnection *find(const QString &name) const;
    // The name as registered.
    QString registeredName(const QString &name) const;

  private:
    struct Entry {
        QString name;
        DataConnection *connection;
    };
    QHash<QString, Entry> m_byName; // by lower-case name
};

// A table held in memory: rows of values over a fixed list of fields. It keeps
// the same state a query has (open or closed, current row, filter) and restores
// it at end, so reports, tests and tools can run over data that is not in a database.
class MemoryTable : public DataConnection
{
  public:
    explicit MemoryTable(QList<FieldInfo> fields);

    void appendRow(const QVariantList &values);
    int rowCount() const { return int(m_rows.size()); }

    void open();
    void close();
    bool isOpen() const { return m_open; }
    // Position among the rows that pass the filter; -1 when closed or past the end.
    int currentRow() const { return m_open && m_cursor < m_visible.size() ? m_cursor : -1; }
    void moveTo(int row);
    QString filter() const { return m_filter; }

    void begin() override;
    void first() override;
    void next() override;
    bool atEnd() const override;
    QList<FieldInfo> fields() const override { return m_fields; }
    QVariant value(int field) const override;
    void setFilter(const QString &filter) override;
    void end() override;

  private:
    void applyFilter();

    QList<FieldInfo> m_fields;
    std::vector<QVariantList> m_rows;
    QList<int> m_visible; // rows passing the filter, in order
    QString m_filter;
    bool m_open = false;
    int m_cursor = 0;

    struct Saved {
        bool open;
        QString filter;
        int row;
    };
    std::vector<Saved> m_saved;
};

} // namespace ReportEngine
