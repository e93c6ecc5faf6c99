#include "store/Table.h"

#include "store/GbkText.h"
#include "store/TableInternal.h"
#include "store/TableSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace store {

namespace {

QString quoted(const QString &identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

[[noreturn]] void raise(const QString &table, const QString &field, const QString &reason)
{
    QString where = QStringLiteral("Table \"%1\"").arg(table);
    if (!field.isEmpty())
        where += QStringLiteral(", field \"%1\"").arg(field);
    throw TableError(where + QStringLiteral(": ") + reason);
}

// One prepared statement; finalized when it goes out of scope, so that no read is left
// holding a lock that would keep another handle from storing.
class Statement
{
public:
    Statement(sqlite3 *db, const QString &sql, const QString &table) : m_db(db), m_table(table)
    {
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void bind(int index, const QVariant &value)
    {
        int rc;
        if (value.isNull()) {
            rc = sqlite3_bind_null(m_stmt, index);
        } else if (value.typeId() == QMetaType::QString) {
            const QByteArray utf8 = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        } else if (value.typeId() == QMetaType::Bool) {
            rc = sqlite3_bind_int64(m_stmt, index, value.toBool() ? 1 : 0);
        } else {
            rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
        }
        if (rc != SQLITE_OK)
            fail();
    }

    bool step() // true: a row is there
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        fail();
    }

    qint64 int64(int col) const { return sqlite3_column_int64(m_stmt, col); }
    int type(int col) const { return sqlite3_column_type(m_stmt, col); }
    QString text(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
        return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, col));
    }

    [[noreturn]] void fail() const
    {
        raise(m_table, QString(), QStringLiteral("database error: %1").arg(QString::fromUtf8(sqlite3_errmsg(m_db))));
    }

private:
    sqlite3 *m_db;
    QString m_table;
    sqlite3_stmt *m_stmt = nullptr;
};

// A row of the snapshot, with what orders it: keyed tables by the code page 936 bytes of the
// key (then its UTF-8 bytes, for texts that code page 936 cannot tell apart), the others by rowid.
struct RowRef
{
    qint64 rowid = 0;
    bool keyNull = true;
    QString key;
    QByteArray gbk;
    QByteArray utf8;
};

bool keyLess(const RowRef &a, const RowRef &b)
{
    if (a.keyNull != b.keyNull)
        return a.keyNull; // an empty key comes first
    if (a.gbk != b.gbk)
        return a.gbk < b.gbk;
    if (a.utf8 != b.utf8)
        return a.utf8 < b.utf8;
    return a.rowid < b.rowid;
}

bool rowidLess(const RowRef &a, const RowRef &b) { return a.rowid < b.rowid; }

bool parseInteger(const QString &text, qlonglong *out)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    for (int i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (!(c.unicode() >= '0' && c.unicode() <= '9') && !(i == 0 && (c == QLatin1Char('-') || c == QLatin1Char('+'))))
            return false;
    }
    bool ok = false;
    *out = t.toLongLong(&ok, 10);
    return ok;
}

struct Filter
{
    QString field;
    QString value;
};

// "Field = 'value'": the value is everything between the first quote after "=" and the last
// quote, so a value may itself hold quotes. Returns false for any other form.
bool parseFilter(const QString &text, Filter *out)
{
    const QString t = text.trimmed();
    const int eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    const QString field = t.left(eq).trimmed();
    if (field.isEmpty())
        return false;
    for (QChar c : field)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('_')))
            return false;
    const QString rest = t.mid(eq + 1);
    const int open = rest.indexOf(QLatin1Char('\''));
    const int close = rest.lastIndexOf(QLatin1Char('\''));
    if (open < 0 || close <= open || !rest.left(open).trimmed().isEmpty() || !rest.mid(close + 1).trimmed().isEmpty())
        return false;
    out->field = field;
    out->value = rest.mid(open + 1, close - open - 1);
    return true;
}

} // namespace

namespace detail {

void exec(sqlite3 *db, const QString &sql, const QString &table)
{
    char *err = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        raise(table, QString(), QStringLiteral("database error: %1").arg(msg));
    }
}

} // namespace detail

struct Table::Private
{
    QString folder;
    QString name;
    const TableSchema *schema = nullptr;
    sqlite3 *db = nullptr;
    State state = State::Inactive;

    std::vector<RowRef> rows; // the rows the handle shows, in their order
    int pos = -1;
    bool bof = true;
    bool eof = true;
    QVector<QVariant> current; // values of the current row
    QVector<QVariant> buffer;  // the row being edited or inserted
    qint64 editRowid = -1;
    bool modified = false;
    bool refused = false; // a write or post of the pending row was refused
    QVector<QVariant> keyBuffer;

    QString filterText;
    bool hasFilter = false;
    Filter filter;
    bool filterOn = false;

    // --- errors -------------------------------------------------------------------------

    [[noreturn]] void fail(const QString &field, const QString &reason) const { raise(name, field, reason); }
    [[noreturn]] void fail(const QString &reason) const { raise(name, QString(), reason); }

    const TableSchema &requireSchema() const
    {
        if (name.isEmpty())
            raise(QStringLiteral("?"), QString(), QStringLiteral("no table name is set"));
        if (!schema)
            fail(QStringLiteral("not one of the tables of this program"));
        return *schema;
    }

    void requireActive() const
    {
        if (state == State::Inactive)
            fail(QStringLiteral("the table is not open"));
    }

    void requireInactive() const
    {
        if (state != State::Inactive)
            fail(QStringLiteral("not allowed while the table is open"));
    }

    void requireKeyed() const
    {
        if (!requireSchema().keyed())
            fail(QStringLiteral("the table has no key"));
    }

    QString path() const { return QDir(folder).filePath(tableFileName(name)); }

    QString columnList() const
    {
        QStringList cols;
        for (const FieldDef &f : schema->fields)
            cols << quoted(f.name);
        return cols.join(QStringLiteral(", "));
    }

    QString sqlTable() const { return quoted(schema->sqlName); }

    QVector<QVariant> emptyRow() const { return QVector<QVariant>(schema->fields.size()); }

    // --- values ---------------------------------------------------------------------------

    // The stored form of a value written to field i; throws when the field cannot take it.
    QVariant toStored(int i, const QVariant &in) const
    {
        const FieldDef &f = schema->fields.at(i);
        if (in.isNull())
            return QVariant();
        const bool isText = in.typeId() == QMetaType::QString;
        const bool isBool = in.typeId() == QMetaType::Bool;
        switch (f.type) {
        case FieldType::Text: {
            const QString s = isBool ? (in.toBool() ? QStringLiteral("True") : QStringLiteral("False")) : in.toString();
            if (s.isEmpty())
                return QVariant();
            return cutToBytes(s, f.width);
        }
        case FieldType::Int16:
        case FieldType::Int32: {
            qlonglong n = 0;
            if (isText) {
                if (in.toString().trimmed().isEmpty())
                    return QVariant();
                if (!parseInteger(in.toString(), &n))
                    fail(f.name, QStringLiteral("\"%1\" is not a number").arg(in.toString()));
            } else {
                n = isBool ? (in.toBool() ? 1 : 0) : in.toLongLong();
            }
            const qlonglong lo = f.type == FieldType::Int16 ? -32768 : INT_MIN;
            const qlonglong hi = f.type == FieldType::Int16 ? 32767 : INT_MAX;
            if (n < lo || n > hi)
                fail(f.name, QStringLiteral("%1 is out of range (%2 to %3)").arg(n).arg(lo).arg(hi));
            return QVariant(n);
        }
        case FieldType::Bool: {
            if (!isText)
                return QVariant(isBool ? in.toBool() : in.toLongLong() != 0);
            const QString t = in.toString().trimmed().toLower();
            if (t.isEmpty())
                return QVariant();
            if (t == QLatin1String("true") || t == QLatin1String("t") || t == QLatin1String("yes") || t == QLatin1String("y") || t == QLatin1String("1"))
                return QVariant(true);
            if (t == QLatin1String("false") || t == QLatin1String("f") || t == QLatin1String("no") || t == QLatin1String("n") || t == QLatin1String("0"))
                return QVariant(false);
            fail(f.name, QStringLiteral("\"%1\" is not a logical value").arg(in.toString()));
        }
        }
        return QVariant();
    }

    // A column as the handle holds it: QString for texts, qlonglong for integers, bool.
    QVariant fromColumn(const Statement &st, int col, const FieldDef &f) const
    {
        const int t = st.type(col);
        if (t == SQLITE_NULL)
            return QVariant();
        switch (f.type) {
        case FieldType::Text: {
            const QString s = st.text(col);
            return s.isEmpty() ? QVariant() : QVariant(s); // an empty text is an empty field
        }
        case FieldType::Int16:
        case FieldType::Int32:
            return t == SQLITE_INTEGER ? QVariant(qlonglong(st.int64(col))) : QVariant(st.text(col));
        case FieldType::Bool:
            return t == SQLITE_INTEGER ? QVariant(st.int64(col) != 0) : QVariant(st.text(col));
        }
        return QVariant();
    }

    // The field's value in the current state: the key buffer, the edit buffer or the row.
    QVariant value(int i) const
    {
        if (state == State::SetKey)
            return keyBuffer.value(i);
        if (state == State::Edit || state == State::Insert)
            return buffer.value(i);
        return current.value(i);
    }

    void setValue(int i, const QVariant &v)
    {
        requireActive();
        if (state == State::SetKey) {
            keyBuffer[i] = toStored(i, v);
            return;
        }
        if (state != State::Edit && state != State::Insert)
            fail(schema->fields.at(i).name, QStringLiteral("the table is not in edit or insert mode"));
        try {
            buffer[i] = toStored(i, v);
        } catch (...) {
            refused = true;
            throw;
        }
        modified = true;
    }

    // --- reading ------------------------------------------------------------------------

    int filterField() const
    {
        const int idx = schema->indexOf(filter.field);
        if (idx < 0)
            fail(filter.field, QStringLiteral("the filter names a field the table does not have"));
        return idx;
    }

    void requery()
    {
        const bool keyed = schema->keyed();
        QString sql = QStringLiteral("SELECT rowid%1 FROM %2")
                          .arg(keyed ? QStringLiteral(", ") + quoted(schema->fields.at(schema->keyField).name) : QString(), sqlTable());
        QVariant bound;
        bool useBound = false;
        if (filterOn && hasFilter) {
            const int idx = filterField();
            bound = toStored(idx, filter.value);
            const QString col = quoted(schema->fields.at(idx).name);
            if (bound.isNull()) {
                sql += schema->fields.at(idx).type == FieldType::Text ? QStringLiteral(" WHERE (%1 IS NULL OR %1 = '')").arg(col)
                                                                       : QStringLiteral(" WHERE %1 IS NULL").arg(col);
            } else {
                sql += QStringLiteral(" WHERE %1 = ?1").arg(col);
                useBound = true;
            }
        }
        Statement st(db, sql, name);
        if (useBound)
            st.bind(1, bound);
        std::vector<RowRef> fresh;
        while (st.step()) {
            RowRef r;
            r.rowid = st.int64(0);
            if (keyed && st.type(1) != SQLITE_NULL && !st.text(1).isEmpty()) {
                r.keyNull = false;
                r.key = st.text(1);
                r.gbk = toGbk(r.key);
                r.utf8 = r.key.toUtf8();
            }
            fresh.push_back(std::move(r));
        }
        std::sort(fresh.begin(), fresh.end(), keyed ? keyLess : rowidLess);
        rows = std::move(fresh);
    }

    bool loadRow(qint64 rowid, QVector<QVariant> *out) const
    {
        Statement st(db, QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?1").arg(columnList(), sqlTable()), name);
        st.bind(1, rowid);
        if (!st.step())
            return false;
        QVector<QVariant> values(schema->fields.size());
        for (int i = 0; i < values.size(); ++i)
            values[i] = fromColumn(st, i, schema->fields.at(i));
        *out = values;
        return true;
    }

    int indexOfRowid(qint64 rowid) const
    {
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].rowid == rowid)
                return int(i);
        return -1;
    }

    // Makes the first row at or after index `from` that still exists current.
    bool settleFrom(int from)
    {
        for (int i = from; i < int(rows.size()); ++i) {
            if (loadRow(rows[size_t(i)].rowid, &current)) {
                pos = i;
                return true;
            }
        }
        return false;
    }

    void clearPosition()
    {
        pos = -1;
        current = emptyRow();
        bof = eof = true;
    }

    void goFirst()
    {
        requery();
        if (settleFrom(0)) {
            bof = true;
            eof = false;
        } else {
            clearPosition();
        }
    }

    // After the snapshot was read anew: stay on the row with this rowid if it is still shown,
    // otherwise on the row now at the old position (or the last row).
    void relocate(qint64 rowid, int oldPos)
    {
        int i = indexOfRowid(rowid);
        if (i < 0)
            i = std::min(std::max(oldPos, 0), int(rows.size()) - 1);
        if (i < 0 || !loadRow(rows[size_t(i)].rowid, &current)) {
            clearPosition();
            return;
        }
        pos = i;
    }

    bool locateKey(const QVariant &wanted)
    {
        const QVariant key = toStored(schema->keyField, wanted);
        const QString text = key.toString();
        for (size_t i = 0; i < rows.size(); ++i) {
            const RowRef &r = rows[i];
            if (r.keyNull == key.isNull() && (key.isNull() || r.key == text)) {
                if (loadRow(r.rowid, &current)) {
                    pos = int(i);
                    bof = eof = false;
                    return true;
                }
            }
        }
        return false;
    }

    bool findKey(const QVariant &wanted)
    {
        const qint64 was = pos >= 0 ? rows[size_t(pos)].rowid : -1;
        const int oldPos = pos;
        const bool oldBof = bof, oldEof = eof;
        requery();
        if (locateKey(wanted))
            return true;
        relocate(was, oldPos);
        if (pos >= 0) {
            bof = oldBof;
            eof = oldEof;
        }
        return false;
    }

    // --- writing ------------------------------------------------------------------------

    // Before a move: store a row that was written to, drop one that was not. A row with a
    // refused write or post is dropped too: the operation that wrote it was abandoned, and
    // its half must not be stored by the next move.
    void checkBrowseMode(Table *q)
    {
        if (state == State::SetKey) {
            state = State::Browse;
        } else if (state == State::Edit || state == State::Insert) {
            if (modified && !refused)
                q->post();
            else
                q->cancel();
        }
    }

    void validate(const QVector<QVariant> &row) const
    {
        for (int i = 0; i < schema->fields.size(); ++i) {
            const FieldDef &f = schema->fields.at(i);
            const QVariant &v = row.at(i);
            if (v.isNull()) {
                if (f.required)
                    fail(f.name, QStringLiteral("a value is required"));
                continue;
            }
            // The stored form must be what writing it would store: width cut, ranges, type.
            const QVariant again = toStored(i, v);
            const bool same = f.type == FieldType::Text ? again.toString() == v.toString()
                              : f.type == FieldType::Bool ? (v.typeId() == QMetaType::Bool && again == v)
                                                          : (v.typeId() != QMetaType::QString && again.toLongLong() == v.toLongLong());
            if (!same) {
                if (f.type == FieldType::Text)
                    fail(f.name, QStringLiteral("\"%1\" is longer than %2 bytes").arg(v.toString()).arg(f.width));
                fail(f.name, QStringLiteral("\"%1\" is not a stored value of this field").arg(v.toString()));
            }
        }
    }

    void checkUniqueKey(const QVector<QVariant> &row, qint64 ownRowid) const
    {
        if (!schema->keyed())
            return;
        const FieldDef &kf = schema->fields.at(schema->keyField);
        const QVariant &key = row.at(schema->keyField);
        const QString col = quoted(kf.name);
        Statement st(db, QStringLiteral("SELECT rowid FROM %1 WHERE %2 AND rowid <> ?2 LIMIT 1")
                             .arg(sqlTable(), key.isNull() ? QStringLiteral("(%1 IS NULL OR %1 = '') AND ?1 IS NULL").arg(col) : col + QStringLiteral(" = ?1")),
                     name);
        st.bind(1, key);
        st.bind(2, ownRowid);
        if (st.step())
            fail(kf.name, key.isNull() ? QStringLiteral("key violation: a row with an empty key is already in the table")
                                       : QStringLiteral("key violation: \"%1\" is already in the table").arg(key.toString()));
    }

    // One atomic, durable change; rolled back on any failure.
    template <typename F>
    void transaction(F &&work)
    {
        detail::exec(db, QStringLiteral("BEGIN IMMEDIATE"), name);
        try {
            work();
            detail::exec(db, QStringLiteral("COMMIT"), name);
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    }
};

// ---------------------------------------------------------------------------------------
// Field

QString Field::asString() const
{
    const QVariant v = m_table->d->value(m_index);
    if (v.isNull())
        return QString();
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return v.toString();
}

int Field::asInteger() const
{
    const QVariant v = m_table->d->value(m_index);
    if (v.isNull()) {
        // An empty number field is 0; an empty text holds no number (an empty "timeout"
        // must not become a time-out of 0 ms).
        if (m_table->d->schema->fields.at(m_index).type == FieldType::Text)
            m_table->d->fail(fieldName(), QStringLiteral("an empty text is not a number"));
        return 0;
    }
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? 1 : 0;
    if (v.typeId() == QMetaType::QString) {
        qlonglong n = 0;
        if (!parseInteger(v.toString(), &n))
            m_table->d->fail(fieldName(), QStringLiteral("\"%1\" is not a number").arg(v.toString()));
        if (n < INT_MIN || n > INT_MAX)
            m_table->d->fail(fieldName(), QStringLiteral("%1 is out of the range of an integer").arg(n));
        return int(n);
    }
    return int(v.toLongLong());
}

bool Field::asBoolean() const
{
    const QVariant v = m_table->d->value(m_index);
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        return !s.isEmpty() && QStringLiteral("TtYy1").contains(s.at(0));
    }
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    return v.toLongLong() != 0;
}

bool Field::isNull() const
{
    return m_table->d->value(m_index).isNull();
}

void Field::setAsString(const QString &value) { m_table->d->setValue(m_index, value); }
void Field::setAsInteger(int value) { m_table->d->setValue(m_index, QVariant(qlonglong(value))); }
void Field::setAsBoolean(bool value) { m_table->d->setValue(m_index, QVariant(value)); }
void Field::clear() { m_table->d->setValue(m_index, QVariant()); }

QString Field::fieldName() const { return m_table->d->schema->fields.at(m_index).name; }

// ---------------------------------------------------------------------------------------
// Table

Table::Table() : d(std::make_unique<Private>()) {}

Table::~Table()
{
    close();
}

void Table::setDatabaseName(const QString &folder)
{
    d->requireInactive();
    d->folder = folder;
}

QString Table::databaseName() const { return d->folder; }

void Table::setTableName(const QString &name)
{
    d->requireInactive();
    d->name = name;
    d->schema = schemaFor(name);
}

QString Table::tableName() const { return d->name; }

QString Table::filePath() const { return d->path(); }

const TableSchema *Table::schema() const { return d->schema; }

bool Table::exists() const
{
    return !d->name.isEmpty() && QFileInfo(d->path()).isFile();
}

void Table::createTable()
{
    const TableSchema &s = d->requireSchema();
    d->requireInactive();
    const QString path = d->path();
    if (QFileInfo::exists(path))
        d->fail(QStringLiteral("\"%1\" already exists").arg(path));
    if (!QFileInfo(d->folder).isDir())
        d->fail(QStringLiteral("the database folder \"%1\" does not exist").arg(d->folder));
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    try {
        if (rc != SQLITE_OK)
            d->fail(QStringLiteral("cannot create \"%1\": %2").arg(path, QString::fromUtf8(sqlite3_errmsg(db))));
        detail::exec(db, QStringLiteral("BEGIN;") + createTableSql(s) + QStringLiteral("COMMIT;"), d->name);
    } catch (...) {
        sqlite3_close(db);
        QFile::remove(path);
        throw;
    }
    sqlite3_close(db);
}

void Table::open()
{
    if (d->state != State::Inactive)
        return;
    const TableSchema &s = d->requireSchema();
    const QString path = d->path();
    if (!QFileInfo(path).isFile())
        d->fail(QStringLiteral("the table does not exist in \"%1\"").arg(d->folder));
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        d->fail(QStringLiteral("cannot open \"%1\": %2").arg(path, msg));
    }
    d->db = db;
    try {
        sqlite3_busy_timeout(db, 5000);
        // Write-ahead log with a full sync on every commit: each post or delete is durable
        // when it returns, at one sync per commit instead of the rollback journal's three.
        detail::exec(db, QStringLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL"), d->name);
        // The file must hold the declared fields.
        QStringList columns;
        {
            Statement st(db, QStringLiteral("PRAGMA table_info(%1)").arg(quoted(s.sqlName)), d->name);
            while (st.step())
                columns << st.text(1);
        }
        for (const FieldDef &f : s.fields) {
            if (!columns.contains(f.name, Qt::CaseInsensitive))
                d->fail(f.name, QStringLiteral("the file \"%1\" has no such field").arg(path));
        }
        d->state = State::Browse;
        d->current = d->emptyRow();
        d->goFirst();
    } catch (...) {
        d->state = State::Inactive;
        d->db = nullptr;
        d->rows.clear();
        sqlite3_close(db);
        throw;
    }
}

void Table::close()
{
    if (d->state == State::Inactive)
        return;
    sqlite3_close(d->db);
    d->db = nullptr;
    d->state = State::Inactive;
    d->rows.clear();
    d->pos = -1;
    d->bof = d->eof = true;
    d->current.clear();
    d->buffer.clear();
    d->keyBuffer.clear();
    d->modified = false;
    d->refused = false;
    d->editRowid = -1;
}

bool Table::active() const { return d->state != State::Inactive; }

Table::State Table::state() const { return d->state; }

void Table::first()
{
    d->requireActive();
    d->checkBrowseMode(this);
    d->goFirst();
}

void Table::next()
{
    d->requireActive();
    d->checkBrowseMode(this);
    if (d->eof || d->pos < 0)
        return;
    d->bof = false;
    if (!d->settleFrom(d->pos + 1))
        d->eof = true;
}

bool Table::bof() const { return d->bof; }
bool Table::eof() const { return d->eof; }

bool Table::isEmpty()
{
    first();
    return bof() && eof();
}

int Table::recordCount() const { return d->state == State::Inactive ? 0 : int(d->rows.size()); }

int Table::position() const { return d->state == State::Inactive ? -1 : d->pos; }

bool Table::moveTo(int position)
{
    d->requireActive();
    d->checkBrowseMode(this);
    if (position < 0 || position >= int(d->rows.size()))
        return false;
    QVector<QVariant> values;
    if (!d->loadRow(d->rows[size_t(position)].rowid, &values))
        return false;
    d->current = values;
    d->pos = position;
    d->bof = d->eof = false;
    return true;
}

Field Table::fieldByName(const QString &name)
{
    const TableSchema &s = d->requireSchema();
    d->requireActive();
    const int i = s.indexOf(name);
    if (i < 0)
        d->fail(name, QStringLiteral("no such field"));
    return Field(this, i);
}

Field Table::field(int index)
{
    const TableSchema &s = d->requireSchema();
    d->requireActive();
    if (index < 0 || index >= s.fields.size())
        d->fail(QStringLiteral("no field at position %1").arg(index));
    return Field(this, index);
}

int Table::fieldCount() const { return d->schema ? int(d->schema->fields.size()) : 0; }

QString Table::fieldName(int index) const
{
    return d->schema && index >= 0 && index < d->schema->fields.size() ? d->schema->fields.at(index).name : QString();
}

void Table::append()
{
    d->requireActive();
    d->checkBrowseMode(this);
    d->state = State::Insert;
    d->buffer = d->emptyRow();
    d->editRowid = -1;
    d->modified = false;
    d->refused = false;
}

void Table::edit()
{
    d->requireActive();
    if (d->state == State::Edit || d->state == State::Insert)
        return;
    if (d->state == State::SetKey)
        d->state = State::Browse;
    if (d->pos < 0) {
        append();
        return;
    }
    // Edit what is stored now, not what was read when the row became current.
    const qint64 rowid = d->rows[size_t(d->pos)].rowid;
    if (!d->loadRow(rowid, &d->current))
        d->fail(QStringLiteral("the current row was deleted meanwhile"));
    d->state = State::Edit;
    d->buffer = d->current;
    d->editRowid = rowid;
    d->modified = false;
    d->refused = false;
}

void Table::post()
{
    d->requireActive();
    if (d->state != State::Edit && d->state != State::Insert)
        return;
    const QVector<QVariant> row = d->buffer;
    const bool inserting = d->state == State::Insert;
    qint64 rowid = d->editRowid;
    try {
        d->validate(row);
        d->transaction([&] {
            d->checkUniqueKey(row, inserting ? -1 : rowid);
            QStringList cols, params;
            for (int i = 0; i < d->schema->fields.size(); ++i) {
                cols << quoted(d->schema->fields.at(i).name);
                params << QStringLiteral("?%1").arg(i + 1);
            }
            if (inserting) {
                Statement st(d->db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(d->sqlTable(), cols.join(QStringLiteral(", ")), params.join(QStringLiteral(", "))), d->name);
                for (int i = 0; i < row.size(); ++i)
                    st.bind(i + 1, row.at(i));
                st.step();
                rowid = sqlite3_last_insert_rowid(d->db);
            } else {
                QStringList sets;
                for (int i = 0; i < cols.size(); ++i)
                    sets << cols.at(i) + QStringLiteral(" = ") + params.at(i);
                Statement st(d->db, QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?%3").arg(d->sqlTable(), sets.join(QStringLiteral(", "))).arg(row.size() + 1), d->name);
                for (int i = 0; i < row.size(); ++i)
                    st.bind(i + 1, row.at(i));
                st.bind(int(row.size()) + 1, rowid);
                st.step();
                if (sqlite3_changes(d->db) == 0)
                    d->fail(QStringLiteral("the row being changed was deleted meanwhile"));
            }
        });
    } catch (...) {
        d->refused = true;
        throw;
    }
    const int oldPos = d->pos;
    d->state = State::Browse;
    d->buffer.clear();
    d->modified = false;
    d->refused = false;
    d->editRowid = -1;
    d->requery();
    d->relocate(rowid, oldPos);
    d->bof = d->pos < 0;
    d->eof = d->pos < 0;
}

void Table::cancel()
{
    if (d->state == State::Edit || d->state == State::Insert || d->state == State::SetKey) {
        d->state = State::Browse;
        d->buffer.clear();
        d->keyBuffer.clear();
        d->modified = false;
        d->refused = false;
        d->editRowid = -1;
    }
}

void Table::deleteRow()
{
    d->requireActive();
    if (d->state == State::Insert) {
        cancel();
        return;
    }
    cancel(); // edits of the row are dropped with it; key mode ends
    if (d->pos < 0)
        d->fail(QStringLiteral("cannot delete from an empty table"));
    const RowRef gone = d->rows[size_t(d->pos)];
    d->transaction([&] {
        Statement st(d->db, QStringLiteral("DELETE FROM %1 WHERE rowid = ?1").arg(d->sqlTable()), d->name);
        st.bind(1, gone.rowid);
        st.step();
    });
    d->requery();
    // The row that followed the deleted one becomes current.
    const auto less = d->schema->keyed() ? keyLess : rowidLess;
    const int next = int(std::upper_bound(d->rows.begin(), d->rows.end(), gone, less) - d->rows.begin());
    if (d->settleFrom(next)) {
        d->bof = false;
        d->eof = false;
    } else if (!d->rows.empty() && d->loadRow(d->rows.back().rowid, &d->current)) {
        d->pos = int(d->rows.size()) - 1;
        d->bof = false;
        d->eof = true;
    } else {
        d->clearPosition();
    }
}

bool Table::findKey(const QVariant &value)
{
    d->requireActive();
    d->requireKeyed();
    d->checkBrowseMode(this);
    return d->findKey(value);
}

void Table::setKey()
{
    d->requireActive();
    d->requireKeyed();
    d->checkBrowseMode(this);
    d->state = State::SetKey;
    d->keyBuffer = d->emptyRow();
}

void Table::setKeyValue(const QString &field, const QVariant &value)
{
    d->requireActive();
    if (d->state != State::SetKey)
        d->fail(field, QStringLiteral("setKey() must come before the key value"));
    const int i = d->schema->indexOf(field);
    if (i < 0)
        d->fail(field, QStringLiteral("no such field"));
    if (i != d->schema->keyField)
        d->fail(field, QStringLiteral("not the key of the table"));
    d->keyBuffer[i] = d->toStored(i, value);
}

bool Table::gotoKey()
{
    d->requireActive();
    if (d->state != State::SetKey)
        d->fail(QStringLiteral("setKey() must come before gotoKey()"));
    const QVariant key = d->keyBuffer.value(d->schema->keyField);
    d->state = State::Browse;
    d->keyBuffer.clear();
    return d->findKey(key);
}

void Table::setFilter(const QString &filter)
{
    Filter parsed;
    const bool has = !filter.trimmed().isEmpty();
    if (has && !parseFilter(filter, &parsed))
        raise(d->name.isEmpty() ? QStringLiteral("?") : d->name, QString(),
              QStringLiteral("the filter \"%1\" is not of the form Field = 'value'").arg(filter));
    if (d->state != State::Inactive && d->filterOn)
        d->checkBrowseMode(this);
    d->filterText = filter;
    d->hasFilter = has;
    d->filter = parsed;
    if (d->state != State::Inactive && d->filterOn)
        d->goFirst();
}

QString Table::filter() const { return d->filterText; }

void Table::setFiltered(bool on)
{
    if (d->filterOn == on)
        return;
    if (d->state != State::Inactive)
        d->checkBrowseMode(this);
    d->filterOn = on;
    if (d->state != State::Inactive)
        d->goFirst();
}

bool Table::filtered() const { return d->filterOn; }

// ---------------------------------------------------------------------------------------

namespace detail {

void checkStoredRows(Table &table)
{
    Table::Private &p = *table.d;
    p.requireActive();
    p.requery();
    for (const RowRef &r : p.rows) {
        QVector<QVariant> row;
        if (!p.loadRow(r.rowid, &row))
            continue;
        p.validate(row);
        p.checkUniqueKey(row, r.rowid);
    }
    p.goFirst();
}

} // namespace detail

} // namespace store
