// The packed row cache of a scrollable dataset: every kind of value comes
// back exactly as it went in (type, nullness, contents) after reading, edit,
// insert, delete and refresh; the engines' values read into the cache equal
// those of a one-directional read, which keeps rows as they are; dead rows
// are dropped without losing live ones.
#include "DataTestSupport.h"

#include "data/RowCache.h"

#include <QDebug>
#include <QPointF>
#include <QTimeZone>
#include <cmath>
#include <cstring>
#include <limits>

using namespace DataTest;

namespace {

// Rows given in memory (key, value, tail) that take every edit: Post puts
// `Written` into the record, as an engine's returned values would be.
class TValueSet : public TDataSet {
public:
    QList<QVariantList> Source;
    QVariantList Written;
    const QVariant *Row() const { return CurrentRow(); }

protected:
    void InternalOpen() override
    {
        QList<TColumnDesc> columns;
        for (const char *name : {"K", "V", "TAIL"}) {
            TColumnDesc d;
            d.Name = QString::fromLatin1(name);
            d.Type = ftString;
            d.Size = 20;
            columns.append(d);
        }
        CreateFields(columns);
        m_next = 0;
    }
    bool InternalFetch(QVariant *row) override
    {
        if (m_next >= Source.size())
            return false;
        for (int i = 0; i < RowWidth(); ++i)
            row[i] = Source[m_next][i];
        ++m_next;
        return true;
    }
    bool CanModify() const override { return true; }
    void InternalPost(bool, const QVariant *, std::vector<QVariant> &row, const std::vector<bool> &) override
    {
        for (int i = 0; i < Written.size(); ++i)
            row[size_t(i)] = Written[i];
    }
    void InternalDelete(const QVariant *) override {}
    QVariantList RowKey(const QVariant *row) const override { return {row[0]}; }

private:
    int m_next = 0;
};

} // namespace

class RowCacheTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { writeAliases(); }

    void valuesRoundTrip_data()
    {
        QTest::addColumn<QVariant>("value");
        const auto nullOf = [](QMetaType t) { return QVariant(t); };
        QTest::newRow("invalid") << QVariant();
        QTest::newRow("null text") << nullOf(QMetaType::fromType<QString>());
        QTest::newRow("null int") << nullOf(QMetaType::fromType<int>());
        QTest::newRow("null bigint") << nullOf(QMetaType::fromType<qlonglong>());
        QTest::newRow("null double") << nullOf(QMetaType::fromType<double>());
        QTest::newRow("null bool") << nullOf(QMetaType::fromType<bool>());
        QTest::newRow("null date") << nullOf(QMetaType::fromType<QDate>());
        QTest::newRow("null time") << nullOf(QMetaType::fromType<QTime>());
        QTest::newRow("null date-time") << nullOf(QMetaType::fromType<QDateTime>());
        QTest::newRow("null bytes") << nullOf(QMetaType::fromType<QByteArray>());

        QTest::newRow("text holding null") << QVariant(QString());
        QTest::newRow("empty text") << QVariant(QStringLiteral(""));
        QTest::newRow("ascii") << QVariant(QStringLiteral("client42@example.com"));
        QTest::newRow("latin-1") << QVariant(QStringLiteral("café déjà vu ÿ"));
        QTest::newRow("cyrillic") << QVariant(QStringLiteral("Покупатель №7, ул. Ленина"));
        QTest::newRow("surrogate pair") << QVariant(QStringLiteral("a😀b"));
        QTest::newRow("lone surrogate") << QVariant(QString(QChar(0xD800)) + u'x');
        QTest::newRow("long latin-1") << QVariant(QString(5000, u'x'));
        QTest::newRow("larger than a block") << QVariant(QString(600000, QChar(0x0416)));

        QTest::newRow("false") << QVariant(false);
        QTest::newRow("true") << QVariant(true);
        QTest::newRow("int 0") << QVariant(0);
        QTest::newRow("int -1") << QVariant(-1);
        QTest::newRow("int min") << QVariant(std::numeric_limits<int>::min());
        QTest::newRow("int max") << QVariant(std::numeric_limits<int>::max());
        QTest::newRow("bigint min") << QVariant(std::numeric_limits<qlonglong>::min());
        QTest::newRow("bigint max") << QVariant(std::numeric_limits<qlonglong>::max());
        QTest::newRow("bigint") << QVariant(qlonglong(-1234567890123));
        QTest::newRow("uint max") << QVariant(std::numeric_limits<uint>::max());
        QTest::newRow("ubigint max") << QVariant(std::numeric_limits<qulonglong>::max());
        QTest::newRow("double 0") << QVariant(0.0);
        QTest::newRow("double -0") << QVariant(-0.0);
        QTest::newRow("double") << QVariant(-2.25);
        QTest::newRow("double huge") << QVariant(1.5e300);
        QTest::newRow("double denormal") << QVariant(std::numeric_limits<double>::denorm_min());
        QTest::newRow("double inf") << QVariant(-std::numeric_limits<double>::infinity());
        QTest::newRow("double nan") << QVariant(std::numeric_limits<double>::quiet_NaN());
        QTest::newRow("float") << QVariant(1.25f);

        QTest::newRow("bytes holding null") << QVariant(QByteArray());
        QTest::newRow("empty bytes") << QVariant(QByteArray(""));
        QTest::newRow("binary bytes") << QVariant(QByteArray("\0\x01\xff\x80", 4));

        QTest::newRow("date") << QVariant(QDate(2024, 2, 29));
        QTest::newRow("ancient date") << QVariant(QDate(-4713, 1, 1));
        QTest::newRow("invalid date") << QVariant(QDate());
        QTest::newRow("midnight") << QVariant(QTime(0, 0));
        QTest::newRow("time") << QVariant(QTime(23, 59, 59, 999));
        QTest::newRow("invalid time") << QVariant(QTime());
        QTest::newRow("local date-time") << QVariant(QDateTime(QDate(2024, 3, 31), QTime(2, 30, 0, 5)));
        QTest::newRow("utc date-time") << QVariant(QDateTime(QDate(2023, 10, 1), QTime(12, 0, 1, 250), Qt::UTC));
        QTest::newRow("before 1970") << QVariant(QDateTime(QDate(1900, 1, 1), QTime(0, 0), Qt::UTC));
        QTest::newRow("offset +3") << QVariant(QDateTime(QDate(2024, 1, 2), QTime(3, 4), Qt::OffsetFromUTC, 3 * 3600));
        QTest::newRow("offset -5:30") << QVariant(QDateTime(QDate(2024, 1, 2), QTime(3, 4), Qt::OffsetFromUTC, -19800));
        QTest::newRow("zoned date-time") << QVariant(QDateTime(QDate(2024, 6, 1), QTime(8, 0), QTimeZone(7200)));
        QTest::newRow("invalid date-time") << QVariant(QDateTime());

        QTest::newRow("string list") << QVariant(QStringList{QStringLiteral("a"), QString()});
        QTest::newRow("variant list") << QVariant(QVariantList{1, QStringLiteral("б"), QVariant()});
        QTest::newRow("point") << QVariant(QPointF(1.5, -2));
    }

    void valuesRoundTrip()
    {
        QFETCH(QVariant, value);
        const QVariant tail = QStringLiteral("хвост");
        TValueSet ds;
        ds.Source = {{1, QStringLiteral("первая"), tail}, {2, value, tail}, {3, 3.5, tail}};
        ds.Open();
        ds.Last();
        TField *v = ds.FieldByName("V"), *t = ds.FieldByName("TAIL"), *k = ds.FieldByName("K");
        QCOMPARE(ds.FetchedCount(), 3);
        QUARN_SAME(ds.RowValue(1, v), value);
        QUARN_SAME(ds.RowValue(1, t), tail);   // the value before it was skipped rightly
        ds.MoveTo(1);
        QUARN_SAME(ds.Row()[1], value);
        QUARN_SAME(ds.RowValue(1, v), value);

        // an edit puts the value into the first row
        ds.MoveTo(0);
        ds.Edit();
        t->SetAsString(QStringLiteral("изменено"));
        ds.Written = {1, value, tail};
        ds.Post();
        QUARN_SAME(ds.Row()[1], value);
        QUARN_SAME(ds.RowValue(0, v), value);
        QUARN_SAME(ds.RowValue(1, v), value);
        QUARN_SAME(ds.RowValue(2, v), QVariant(3.5));

        // an insert before the second row
        ds.MoveTo(1);
        ds.Insert();
        ds.Written = {4, value, tail};
        ds.Post();
        QCOMPARE(ds.FetchedCount(), 4);
        QCOMPARE(ds.RecNo(), 2);
        QUARN_SAME(ds.Row()[0], QVariant(4));
        const QVariantList keys{1, 4, 2, 3};
        for (int r = 0; r < 4; ++r) {
            QUARN_SAME(ds.RowValue(r, k), keys[r]);
            QUARN_SAME(ds.RowValue(r, v), r < 3 ? value : QVariant(3.5));
            QUARN_SAME(ds.RowValue(r, t), tail);
        }

        // deleting the first row moves the others up
        ds.MoveTo(0);
        ds.Delete();
        QCOMPARE(ds.FetchedCount(), 3);
        QUARN_SAME(ds.Row()[0], QVariant(4));
        QUARN_SAME(ds.Row()[1], value);
        QUARN_SAME(ds.RowValue(1, k), QVariant(2));
        QUARN_SAME(ds.RowValue(1, v), value);

        // a refresh reads the rows again and finds the record by its key
        ds.MoveTo(1);
        ds.Source = {{4, value, tail}, {3, 3.5, tail}, {2, value, QStringLiteral("новый хвост")}};
        ds.Refresh();
        QCOMPARE(ds.RecNo(), 3);
        QUARN_SAME(ds.Row()[0], QVariant(2));
        QUARN_SAME(ds.Row()[1], value);
        QUARN_SAME(ds.Row()[2], QVariant(QStringLiteral("новый хвост")));
        v = ds.FieldByName("V");   // the fields are made anew
        QUARN_SAME(ds.RowValue(0, v), value);
        QUARN_SAME(ds.RowValue(1, v), QVariant(3.5));
    }

    // What each engine returns, read into the cache, is what a
    // one-directional read (rows kept as they are) returns.
    void engineValuesAsRead_data() { engineRows(); }
    void engineValuesAsRead()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        const bool pg = isPg(alias);
        const QString blob = pg ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
        const auto bytes = [pg](const char *hex) {
            return pg ? QStringLiteral("'\\x%1'::bytea").arg(QLatin1String(hex)) : QStringLiteral("X'%1'").arg(QLatin1String(hex));
        };
        exec(alias, {QStringLiteral("DROP TABLE IF EXISTS rc_values"),
                     ddl(alias, QStringLiteral("CREATE TABLE rc_values (id %SERIAL%, name VARCHAR(40), memo TEXT, "
                                               "n NUMERIC(12,2), f FLOAT, d DATE, ts %TS%, b ") + blob + u')'),
                     QStringLiteral("INSERT INTO rc_values (name, memo, n, f, d, ts, b) VALUES ('Иванов', "
                                    "'две\nстроки', 12.5, -0.5, '2024-02-29', '2024-02-29 13:45:10', ") + bytes("00ff80") + u')',
                     QStringLiteral("INSERT INTO rc_values (name) VALUES (NULL)"),
                     QStringLiteral("INSERT INTO rc_values (name, memo, n, f, d, ts, b) VALUES ('', '', 0, 0, "
                                    "'1900-01-01', '1969-12-31 23:59:59', ") + bytes("") + u')'});
        const auto readForward = [&alias]() {
            TQuery q;
            q.SetDatabaseName(alias);
            q.SetUniDirectional(true);
            q.SetSQLText(QStringLiteral("SELECT * FROM rc_values ORDER BY id"));
            q.Open();
            QList<QMap<QString, QVariant>> rows;
            for (; !q.Eof(); q.Next()) {
                QMap<QString, QVariant> row;
                for (int i = 0; i < q.FieldCount(); ++i)
                    row.insert(q.Fields(i)->FieldName(), q.RowValue(0, q.Fields(i)));
                rows.append(row);
            }
            return rows;
        };
        TQuery live;
        live.SetDatabaseName(alias);
        live.SetRequestLive(true);
        live.SetSQLText(QStringLiteral("SELECT * FROM rc_values ORDER BY id"));
        live.Open();
        QVERIFY(live.CanModify());
        const auto compare = [&live](const QList<QMap<QString, QVariant>> &want) {
            live.Last();
            QCOMPARE(live.FetchedCount(), want.size());
            for (int r = 0; r < want.size(); ++r) {
                for (auto it = want[r].begin(); it != want[r].end(); ++it)
                    QUARN_SAME(live.RowValue(r, live.FieldByName(it.key())), it.value());
                live.MoveTo(r);   // the current row is decoded whole
                for (auto it = want[r].begin(); it != want[r].end(); ++it)
                    QUARN_SAME(live.RowValue(r, live.FieldByName(it.key())), it.value());
            }
        };
        compare(readForward());
        if (QTest::currentTestFailed())
            return;

        // a posted record holds what the engine returned for it
        live.MoveTo(1);
        live.Edit();
        live.FieldByName("name")->SetAsString(QStringLiteral("Петров"));
        live.FieldByName("d")->SetAsString(QStringLiteral("01.02.2003"));
        live.Post();
        live.Append();
        live.FieldByName("memo")->SetAsString(QStringLiteral("новая"));
        live.Post();
        live.First();
        live.Delete();
        compare(readForward());
        if (QTest::currentTestFailed())
            return;
        live.Refresh();
        compare(readForward());
    }

    // Replaced and erased rows are dropped from the arena in time, and the
    // live rows survive it.
    void deadRowsDropped()
    {
        TRowCache cache;
        cache.Reset(2);
        const int rows = 200, rounds = 10;
        const auto text = [](int row, int round) { return QString(2000, QChar(u'a' + (row + round) % 26)) + QString::number(round); };
        std::vector<QVariant> row(2);
        for (int r = 0; r < rows; ++r) {
            row = {r, text(r, 0)};
            cache.Append(row.data());
        }
        for (int round = 1; round <= rounds; ++round)
            for (int r = 0; r < rows; ++r) {
                row = {r, text(r, round)};
                cache.Replace(r, row.data());
            }
        for (int r = rows - 1; r >= 0; r -= 3)
            cache.Erase(r);
        QCOMPARE(cache.Count(), rows - (rows + 2) / 3);
        int at = 0;
        for (int r = 0; r < rows; ++r) {
            if ((rows - 1 - r) % 3 == 0)
                continue;
            QUARN_SAME(cache.Value(at, 0), QVariant(r));
            QUARN_SAME(cache.Value(at, 1), QVariant(text(r, rounds)));
            ++at;
        }
        const size_t written = size_t(rows) * (rounds + 1) * 2010;
        QVERIFY2(cache.ArenaBytes() < written / 3, qPrintable(QString::number(cache.ArenaBytes())));
    }
};

QUARN_TEST_MAIN(RowCacheTest)
#include "RowCacheTest.moc"
