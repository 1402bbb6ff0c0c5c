// A grid's rows reached by position in windows: whatever the dataset
// inserts, changes and deletes, every row shows where the dataset put it,
// bookmarks keep their rows, the count follows, and only a bounded number
// of windows is kept. The windows here read a table in memory, either as it
// is now (as SQLite's statements run again do) or as it was when opened (as
// PostgreSQL's held cursor does); the table takes every write, as the
// database would.
#include "data/RowStore.h"

#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <map>

namespace {

struct TRow {
    qint64 id;
    qint64 value;
    bool operator==(const TRow &) const = default;
};

class TTableWindow : public TRowWindow {
public:
    TTableWindow(std::vector<TRow> &table, bool live) : m_table(table), m_live(live), m_snapshot(table)
    {
        m_columns = {TColumnDesc{}, TColumnDesc{}};
    }
    const QList<TColumnDesc> &Columns() const override { return m_columns; }
    bool Live() const override { return m_live; }
    int Read(qint64 offset, int count, QVariant *rows) override
    {
        ++Reads;
        const std::vector<TRow> seen = rowsNow();
        int got = 0;
        for (qint64 i = offset; i < qint64(seen.size()) && got < count; ++i, ++got) {
            rows[2 * got] = seen[size_t(i)].id;
            rows[2 * got + 1] = seen[size_t(i)].value;
        }
        return got;
    }
    qint64 Count() override { return qint64(rowsNow().size()); }
    void Exclude(const std::vector<int> &columns, const std::vector<QVariantList> &keys) override
    {
        QCOMPARE(columns, std::vector<int>{0});
        m_excluded.clear();
        for (const QVariantList &k : keys)
            m_excluded.push_back(k.value(0).toLongLong());
    }
    int Reads = 0;

private:
    std::vector<TRow> rowsNow() const
    {
        std::vector<TRow> rows;
        for (const TRow &r : m_live ? m_table : m_snapshot)
            if (!m_live || std::find(m_excluded.begin(), m_excluded.end(), r.id) == m_excluded.end())
                rows.push_back(r);
        return rows;
    }
    std::vector<TRow> &m_table;
    bool m_live;
    std::vector<TRow> m_snapshot;
    std::vector<qint64> m_excluded;
    QList<TColumnDesc> m_columns;
};

std::unique_ptr<TWindowRows> openStore(TTableWindow &window)
{
    std::vector<QVariant> first(size_t(2 * TWindowRows::WindowRows));
    const int got = window.Read(0, TWindowRows::WindowRows, first.data());
    return std::make_unique<TWindowRows>(2, window, std::move(first), got, std::vector<int>{0});
}

TRow rowAt(TWindowRows &store, qint64 index)
{
    QVariant v[2];
    store.Read(index, v);
    return {v[0].toLongLong(), v[1].toLongLong()};
}

}   // namespace

class RowStoreTest : public QObject {
    Q_OBJECT

private slots:
    void followsTheDatasetsChanges_data()
    {
        QTest::addColumn<bool>("live");
        QTest::addColumn<int>("rows");
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 2u, 3u}) {
            QTest::addRow("live, %u", seed) << true << 1500 << seed;
            QTest::addRow("snapshot, %u", seed) << false << 1500 << seed;
        }
        QTest::newRow("live, one window") << true << 40 << 7u;
        QTest::newRow("snapshot, empty") << false << 0 << 8u;
    }
    void followsTheDatasetsChanges()
    {
        QFETCH(bool, live);
        QFETCH(int, rows);
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        std::vector<TRow> table;
        for (int i = 0; i < rows; ++i)
            table.push_back({i + 1, 1000 + i});
        TTableWindow window(table, live);
        auto store = openStore(window);
        std::vector<TRow> shown = table;   // what the dataset must show
        qint64 nextId = rows + 1;
        // a table's place for a row: where its statement's order puts it
        auto somewhere = [&] { return table.begin() + random.bounded(qint64(table.size()) + 1); };

        for (int step = 0; step < 300; ++step) {
            // bookmarks of a few rows before the change
            std::map<qint64, qint64> marks;   // row id -> the store's id
            for (int k = 0; k < 5 && !shown.empty(); ++k) {
                const qint64 i = random.bounded(qint64(shown.size()));
                QVERIFY(store->Reach(i));
                marks[rowAt(*store, i).id] = store->IdOf(i);
            }
            const int op = shown.empty() ? 0 : random.bounded(3);
            const qint64 at = random.bounded(qint64(shown.size()) + (op == 0 ? 1 : 0));
            if (op == 0) {   // insert: the table puts it where its order says
                const TRow row{nextId++, random.bounded(100000)};
                table.insert(somewhere(), row);
                const QVariant v[2] = {row.id, row.value};
                store->Insert(at, v);
                shown.insert(shown.begin() + at, row);
            } else if (op == 1) {   // change: the row may move in the table's order
                QVERIFY(store->Reach(at));
                TRow row = shown[size_t(at)];
                QCOMPARE(rowAt(*store, at), row);
                row.value = random.bounded(100000);
                if (random.bounded(4) == 0)
                    row.id = nextId++;   // the key itself changed
                std::erase(table, shown[size_t(at)]);
                table.insert(somewhere(), row);
                const QVariant was[2] = {shown[size_t(at)].id, shown[size_t(at)].value};
                const QVariant v[2] = {row.id, row.value};
                store->Replace(at, was, v);
                if (marks.count(was[0].toLongLong()))
                    marks[row.id] = std::exchange(marks[was[0].toLongLong()], -1);
                shown[size_t(at)] = row;
            } else {
                QVERIFY(store->Reach(at));
                std::erase(table, shown[size_t(at)]);
                const QVariant was[2] = {shown[size_t(at)].id, shown[size_t(at)].value};
                store->Erase(at, was);
                shown.erase(shown.begin() + at);
            }
            if (step % 25 == 0 || shown.size() < 300) {
                store->ReachEnd();
                QCOMPARE(store->Count(), qint64(shown.size()));
                // read backwards, as Ctrl+End and paging up do
                for (qint64 i = qint64(shown.size()) - 1; i >= 0; --i)
                    QCOMPARE(rowAt(*store, i), shown[size_t(i)]);
                QVERIFY(!store->Reach(qint64(shown.size())));
            }
            for (const auto &[id, mark] : marks) {
                if (mark < 0)
                    continue;   // the key changed: its new id has the mark
                const auto it = std::find_if(shown.begin(), shown.end(), [id](const TRow &r) { return r.id == id; });
                QCOMPARE(store->IndexOfId(mark), it == shown.end() ? -1 : qint64(it - shown.begin()));
            }
        }
    }

    // Any row at once: the last row reads one window (after the count), and
    // a walk through every row keeps no more than the bound.
    void reachesAnyRowKeepingFewWindows()
    {
        std::vector<TRow> table;
        const int rows = 100000;
        for (int i = 0; i < rows; ++i)
            table.push_back({i + 1, i});
        TTableWindow window(table, true);
        auto store = openStore(window);
        QVERIFY(!store->Complete());
        store->ReachEnd();
        QCOMPARE(store->Count(), qint64(rows));
        const int before = window.Reads;
        QCOMPARE(rowAt(*store, rows - 1).id, qint64(rows));
        QCOMPARE(window.Reads, before + 1);
        for (qint64 i = 0; i < rows; i += 97)
            QCOMPARE(rowAt(*store, i).value, i);
        QVERIFY(store->HeldWindows() <= TWindowRows::MaxWindows);
    }
};

QTEST_GUILESS_MAIN(RowStoreTest)
#include "RowStoreTest.moc"
