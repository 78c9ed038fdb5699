#include "data/database.h"

#include "data/diatexto.h"
#include "data/sigilo.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QUrl>
#include <QtEndian>
#include <sqlite3.h>

namespace {

constexpr int kMaxIdlePerText = 4;
constexpr int kMaxCachedTexts = 256;
constexpr int kMaxProgramTexts = 512;

// datevalue("<day text>"): the day written in the system's short date format, as stored dates are.
void datevalueFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    if (!text) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    const QDate day = DiaTexto::le(QString::fromUtf8(text));
    if (!day.isValid()) {
        sqlite3_result_error(ctx, "Tipo de dados incompatível na expressão de critério", -1);
        return;
    }
    const QByteArray iso = DiaTexto::paraBanco(day).toUtf8();
    sqlite3_result_text(ctx, iso.constData(), int(iso.size()), SQLITE_TRANSIENT);
}

bool isIdentChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

} // namespace

// ---- Statement

Statement::Statement(Database &db, const QString &sql) : m_db(&db), m_sql(sql), m_stmt(db.acquire(sql)) {}

Statement::~Statement()
{
    if (m_stmt) m_db->release(m_sql, m_stmt);
}

Statement::Statement(Statement &&other) noexcept
    : m_db(other.m_db), m_sql(std::move(other.m_sql)), m_stmt(std::exchange(other.m_stmt, nullptr))
{
}

int Statement::parameterCount() const { return sqlite3_bind_parameter_count(m_stmt); }

void Statement::bind(int index, const QVariant &v)
{
    int rc;
    if (v.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        switch (v.typeId()) {
        case QMetaType::QDate:
            rc = sqlite3_bind_text(m_stmt, index, DiaTexto::paraBanco(v.toDate()).toUtf8().constData(), -1,
                                   SQLITE_TRANSIENT);
            break;
        case QMetaType::QDateTime: // a date value: the day only
            rc = sqlite3_bind_text(m_stmt, index, DiaTexto::paraBanco(v.toDateTime().date()).toUtf8().constData(),
                                   -1, SQLITE_TRANSIENT);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Short:
            rc = sqlite3_bind_int64(m_stmt, index, v.toLongLong());
            break;
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(m_stmt, index, v.toBool() ? 1 : 0);
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(m_stmt, index, v.toDouble());
            break;
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            rc = sqlite3_bind_blob64(m_stmt, index, b.constData(), sqlite3_uint64(b.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::QString: {
            // Through one buffer of the connection: the engine copies the text anyway.
            const QString &t = *static_cast<const QString *>(v.constData());
            QByteArray &buffer = m_db->m_bindBuffer;
            buffer.resize(t.size() * 3);
            QStringEncoder encoder(QStringEncoder::Utf8);
            const char *end = encoder.appendToBuffer(buffer.data(), t);
            rc = sqlite3_bind_text64(m_stmt, index, buffer.constData(), sqlite3_uint64(end - buffer.constData()),
                                     SQLITE_TRANSIENT, SQLITE_UTF8);
            break;
        }
        default: {
            const QByteArray t = v.toString().toUtf8();
            rc = sqlite3_bind_text64(m_stmt, index, t.constData(), sqlite3_uint64(t.size()), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
        }
        }
    }
    if (rc != SQLITE_OK) m_db->raise(rc);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    // The reset returns the same error again; it only makes the next use start clean,
    // and the error text stays on the connection for raise().
    (void)sqlite3_reset(m_stmt);
    m_db->raise(rc);
}

int Statement::columnCount() const { return sqlite3_column_count(m_stmt); }
QString Statement::columnName(int i) const { return QString::fromUtf8(sqlite3_column_name(m_stmt, i)); }
QString Statement::columnDeclType(int i) const
{
    const char *t = sqlite3_column_decltype(m_stmt, i);
    return t ? QString::fromUtf8(t) : QString();
}
QString Statement::columnTableName(int i) const
{
    const char *t = sqlite3_column_table_name(m_stmt, i);
    return t ? QString::fromUtf8(t) : QString();
}
QString Statement::columnOriginName(int i) const
{
    const char *t = sqlite3_column_origin_name(m_stmt, i);
    return t ? QString::fromUtf8(t) : QString();
}

QVariant Statement::column(int i) const
{
    switch (sqlite3_column_type(m_stmt, i)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, i));
    case SQLITE_TEXT: {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, i));
        if (!p) m_db->raise(SQLITE_NOMEM); // a text column gives NULL only when memory ran out
        return QVariant(QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, i)));
    }
    case SQLITE_BLOB: {
        const int n = sqlite3_column_bytes(m_stmt, i);
        const void *p = sqlite3_column_blob(m_stmt, i);
        if (!p && n > 0) m_db->raise(SQLITE_NOMEM);
        return QVariant(QByteArray(static_cast<const char *>(p), n));
    }
    default:
        return QVariant();
    }
}

// ---- Database

Database::Database() = default;
Database::~Database() { close(); }

sqlite3 *Database::handle() const
{
    if (!m_db) throw DbError(QStringLiteral("O banco de dados não está conectado"));
    return m_db;
}

QString Database::translateMessage(const QString &engineMessage) const
{
    return m_translator ? m_translator(engineMessage) : engineMessage;
}

void Database::raise(int rc) const
{
    // The connection's message is the one that tells what went wrong (names the
    // constraint, the table); when it speaks of another error, the code's own text.
    const bool mesmaFalha = m_db && (sqlite3_extended_errcode(m_db) & 0xff) == (rc & 0xff);
    const QString text = mesmaFalha ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(rc));
    throw DbError(translateMessage(text), mesmaFalha ? sqlite3_extended_errcode(m_db) : rc, text);
}

std::shared_ptr<const SqlText> Database::sqlText(const QString &programText)
{
    auto it = m_texts.constFind(programText);
    if (it != m_texts.constEnd()) return *it;
    auto t = std::make_shared<SqlText>();
    t->engine = translate(programText, &t->parameterNames);
    // Day filters make texts that are used once; keep the cache from growing without end.
    if (m_texts.size() >= kMaxProgramTexts) m_texts.clear();
    m_texts.insert(programText, t);
    return t;
}

std::shared_ptr<const SqlText> Database::sqlText(const QStringList &lines)
{
    // Found by the lines themselves, a lookup need not join them first.
    auto it = m_textsByLines.constFind(lines);
    if (it != m_textsByLines.constEnd()) return *it;
    QString joined;
    for (const QString &line : lines) joined += line + QStringLiteral("\r\n");
    auto t = sqlText(joined);
    if (m_textsByLines.size() >= kMaxProgramTexts) m_textsByLines.clear();
    m_textsByLines.insert(lines, t);
    return t;
}

void Database::forgetTexts()
{
    // Queries keep their texts: what was learnt about the results goes from those too.
    for (const auto &t : std::as_const(m_texts)) t->plan.reset();
    m_texts.clear();
    m_textsByLines.clear();
    // A kept statement still describes the tables as they were until it runs again.
    for (auto &list : m_idle)
        for (sqlite3_stmt *s : list) (void)sqlite3_finalize(s);
    m_idle.clear();
}

void Database::tablesMayHaveChanged(const QString &sql)
{
    if (sql.contains(QLatin1String("create"), Qt::CaseInsensitive) ||
        sql.contains(QLatin1String("alter"), Qt::CaseInsensitive) ||
        sql.contains(QLatin1String("drop"), Qt::CaseInsensitive))
        forgetTexts();
}

QHash<QString, QString> Database::parseConnectionString(const QString &text)
{
    QHash<QString, QString> attrs;
    const QStringList parts = text.split(u';');
    for (const QString &raw : parts) {
        const QString part = raw.trimmed();
        if (part.isEmpty()) continue;
        const qsizetype eq = part.indexOf(u'=');
        if (eq <= 0)
            throw DbError(QStringLiteral("Formato inválido na cadeia de conexão: \"%1\"").arg(part));
        attrs.insert(part.left(eq).trimmed().toLower(), part.mid(eq + 1).trimmed());
    }
    return attrs;
}

QString Database::connectionStringFor(const QString &file)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Mode=Share Deny Read|Share Deny Write")
        .arg(file);
}

QString Database::translate(const QString &sql, QStringList *names)
{
    QString out;
    out.reserve(sql.size());
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == u'\'') { // single-quoted literal: copied as it is
            qsizetype j = i + 1;
            while (j < n && !(sql[j] == u'\'' && !(j + 1 < n && sql[j + 1] == u'\''))) j += (sql[j] == u'\'') ? 2 : 1;
            out += sql.mid(i, j - i + 1);
            i = j;
        } else if (c == u'"') { // the engine's string quotes
            QString lit;
            qsizetype j = i + 1;
            for (; j < n; ++j) {
                if (sql[j] == u'"') {
                    if (j + 1 < n && sql[j + 1] == u'"') {
                        lit += u'"';
                        ++j;
                    } else {
                        break;
                    }
                } else {
                    lit += sql[j];
                }
            }
            lit.replace(u'\'', QStringLiteral("''"));
            out += u'\'' + lit + u'\'';
            i = j;
        } else if (c == u':' && i + 1 < n && (sql[i + 1].isLetter() || sql[i + 1] == u'_') &&
                   (i == 0 || !isIdentChar(sql[i - 1]))) {
            qsizetype j = i + 1;
            while (j < n && isIdentChar(sql[j])) ++j;
            if (names) names->append(sql.mid(i + 1, j - i - 1));
            out += u'?';
            i = j - 1;
        } else {
            out += c;
        }
    }
    return out;
}

void Database::checkFileLooksLikeDatabase(const QString &path)
{
    QFile f(path);
    if (!f.exists()) throw DbError(QStringLiteral("Arquivo não encontrado: %1").arg(path));
    // A folder or a pipe is no database; opening a pipe would block.
    if (!QFileInfo(path).isFile()) throw DbError(QStringLiteral("%1 não é um arquivo").arg(path));
    if (!f.open(QIODevice::ReadOnly))
        throw DbError(QStringLiteral("Não foi possível abrir o arquivo %1: %2").arg(path, f.errorString()));
    const QByteArray head = f.read(100);
    const QString notDb = QStringLiteral("O arquivo %1 não é um banco de dados válido").arg(path);
    if (head.size() < 100 || !head.startsWith(QByteArrayLiteral("SQLite format 3\0"))) throw DbError(notDb);
    const auto *h = reinterpret_cast<const uchar *>(head.constData());
    quint32 pageSize = qFromBigEndian<quint16>(h + 16);
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1))) throw DbError(notDb);
    // A file shorter than its header says has been cut short. Only trusted while no
    // write-ahead log holds newer pages.
    const quint32 pages = qFromBigEndian<quint32>(h + 28);
    const bool countValid = qFromBigEndian<quint32>(h + 24) == qFromBigEndian<quint32>(h + 92);
    if (countValid && !QFileInfo::exists(path + QStringLiteral("-wal")) &&
        f.size() < qint64(pages) * qint64(pageSize))
        throw DbError(QStringLiteral("O arquivo %1 está danificado (incompleto)").arg(path));
}

void Database::open()
{
    if (m_db) return;
    const auto attrs = parseConnectionString(m_connectionString);
    const QString provider = attrs.value(QStringLiteral("provider"));
    if (provider.compare(QLatin1String("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) != 0)
        throw DbError(QStringLiteral("Provedor não encontrado: %1").arg(provider));
    const QString file = attrs.value(QStringLiteral("data source"));
    if (file.isEmpty()) throw DbError(QStringLiteral("A cadeia de conexão não indica o arquivo (Data Source)"));
    const QString mode = attrs.value(QStringLiteral("mode")).toLower();
    const bool exclusive = (mode.contains(QLatin1String("share deny read")) &&
                            mode.contains(QLatin1String("share deny write"))) ||
                           mode.contains(QLatin1String("share exclusive"));

    // "Mode=Read" (as ADO names it): the file is only looked at, never written, and
    // other readers may share it; a file that a writer holds locked is refused.
    const bool readOnly = mode == QLatin1String("read");

    checkFileLooksLikeDatabase(file);
    if (readOnly && unheldWalFile(file)) {
        // Read as immutable, SQLite creates no -wal or -shm: the folder stays as it was.
        openHandle(QString::fromUtf8(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()).toEncoded()) +
                       QStringLiteral("?immutable=1"),
                   SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
        m_fileName = file;
    } else {
        openHandle(file, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    }
    try {
        if (readOnly) {
            execScript(QStringLiteral("PRAGMA query_only=ON"));
            // The first read takes the shared lock: a file held by the program fails here.
            Transaction look(*this);
            if (m_openCheck) m_openCheck(*this);
            else Statement(*this, QStringLiteral("select count(*) from sqlite_master")).step();
            look.commit();
            return;
        }
        if (exclusive) execScript(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"));
        // Take the lock and look at the schema before anything is written to the file.
        Transaction lock(*this, Transaction::Mode::Exclusive);
        if (m_openCheck) m_openCheck(*this);
        lock.commit();
        // One fsync per vote, and a vote counts once its insert returns.
        execScript(QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA recursive_triggers=OFF"));
    } catch (...) {
        close();
        throw;
    }
}

bool Database::unheldWalFile(const QString &file)
{
    // The program keeps "-wal" beside a WAL file for as long as it holds it, and
    // removes it when it closes; a WAL file without one is held by nobody.
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(20);
    return head.size() == 20 && head[18] == 2 && head[19] == 2 && !QFileInfo::exists(file + QStringLiteral("-wal"));
}

void Database::openHandle(const QString &file, int flags)
{
    sqlite3 *db = nullptr;
    // Pages reach the file with their cells in key order (ballot secrecy).
    const int rc =
        sqlite3_open_v2(file.toUtf8().constData(), &db, flags | SQLITE_OPEN_NOMUTEX, Sigilo::nomeVfs());
    if (rc != SQLITE_OK) {
        const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        // A handle that failed to open has nothing pending: closing it cannot fail.
        (void)sqlite3_close(db);
        throw DbError(translateMessage(msg), rc, msg);
    }
    m_db = db;
    m_fileName = file;
    try {
        const auto verifica = [this](int rc) {
            if (rc != SQLITE_OK) raise(rc);
        };
        verifica(sqlite3_extended_result_codes(m_db, 1));
        // Double quotes name columns only; the program's own double-quoted texts are
        // turned into string literals before the engine sees them.
        int off = -1;
        verifica(sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DML, 0, &off));
        if (off != 0) raise(SQLITE_MISUSE);
        verifica(sqlite3_db_config(m_db, SQLITE_DBCONFIG_DQS_DDL, 0, &off));
        if (off != 0) raise(SQLITE_MISUSE);
        verifica(sqlite3_create_function_v2(m_db, "datevalue", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                            datevalueFunction, nullptr, nullptr, nullptr));
        verifica(sqlite3_busy_timeout(m_db, 0));
    } catch (...) {
        close();
        throw;
    }
}

void Database::create(const QString &file)
{
    if (m_db) throw DbError(QStringLiteral("A conexão já está aberta"));
    openHandle(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
}

void Database::close()
{
    forgetTexts();
    if (m_db) {
        // close_v2 fails only for a handle that is not a connection: it defers the
        // closing while statements are still out, and never leaves it half done.
        const int rc = sqlite3_close_v2(m_db);
        Q_ASSERT(rc == SQLITE_OK);
        (void)rc;
        m_db = nullptr;
    }
}

void Database::execScript(const QString &sql)
{
    char *err = nullptr;
    const int rc = sqlite3_exec(handle(), sql.toUtf8().constData(), nullptr, nullptr, &err);
    tablesMayHaveChanged(sql);
    if (rc != SQLITE_OK) {
        const QString msg = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(err);
        throw DbError(translateMessage(msg), sqlite3_extended_errcode(m_db), msg);
    }
}

void Database::checkpoint()
{
    const int rc = sqlite3_wal_checkpoint_v2(handle(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (rc != SQLITE_OK) raise(rc);
}

int Database::changes() const { return sqlite3_changes(handle()); }
qint64 Database::lastInsertRowid() const { return sqlite3_last_insert_rowid(handle()); }

sqlite3_stmt *Database::acquire(const QString &sql)
{
    auto it = m_idle.find(sql);
    if (it != m_idle.end() && !it->empty()) {
        sqlite3_stmt *s = it->back();
        it->pop_back();
        return s;
    }
    sqlite3_stmt *s = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v3(handle(), utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &s,
                                      &tail);
    if (rc != SQLITE_OK) raise(rc);
    if (!s) throw DbError(QStringLiteral("Comando SQL vazio"));
    if (tail && QByteArray(tail).trimmed().size() > 0) {
        (void)sqlite3_finalize(s); // prepared without error: nothing to report
        throw DbError(QStringLiteral("Caracteres encontrados após o final da instrução SQL"));
    }
    return s;
}

void Database::release(const QString &sql, sqlite3_stmt *stmt)
{
    // reset() returns the error of the last step, already raised by step(); the
    // statement is reset all the same. One whose bindings cannot be cleared is not
    // handed out again.
    (void)sqlite3_reset(stmt);
    // finalize() repeats the last error of the statement's last run, which was
    // reported then; here it has nothing new to say.
    if (sqlite3_clear_bindings(stmt) != SQLITE_OK || !m_db) {
        (void)sqlite3_finalize(stmt);
        return;
    }
    auto it = m_idle.find(sql);
    if (it == m_idle.end()) {
        // Day filters make texts that are used once; keep the cache from growing without end.
        if (m_idle.size() >= kMaxCachedTexts) {
            (void)sqlite3_finalize(stmt);
            return;
        }
        it = m_idle.insert(sql, {});
    }
    if (int(it->size()) < kMaxIdlePerText)
        it->push_back(stmt);
    else
        (void)sqlite3_finalize(stmt);
}

// ---- Transaction

Transaction::Transaction(Database &db, Mode mode) : m_db(db)
{
    m_db.execScript(mode == Mode::Exclusive   ? QStringLiteral("BEGIN EXCLUSIVE")
                    : mode == Mode::Immediate ? QStringLiteral("BEGIN IMMEDIATE")
                                              : QStringLiteral("BEGIN"));
}

Transaction::~Transaction()
{
    if (!m_open || !m_db.isOpen()) return;
    sqlite3 *db = m_db.handle();
    // Some errors (a full disk, a failed write) roll the transaction back by
    // themselves; a ROLLBACK then has nothing left to undo.
    if (sqlite3_get_autocommit(db)) return;
    // A failed ROLLBACK leaves nothing to do here: the engine rolls back what it
    // could not finish when the connection next reads.
    (void)sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    if (!m_open) throw DbError(QStringLiteral("A transação já foi concluída"));
    m_db.execScript(QStringLiteral("COMMIT"));
    m_open = false;
}
