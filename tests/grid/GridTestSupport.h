#pragma once

// Engines for the grid tests: LITE (a fresh SQLite file) and PG (a database
// of this test's own on the test server, made empty at start, so that tests
// running side by side never see each other's tables). PostgreSQL rows skip
// loudly without QUARN_PG_DSN, as in the data tests.

#include "../data/DataTestSupport.h"

#include "common/UserInterface.h"

#ifdef QT_WIDGETS_LIB
#include <QWidget>
#endif

namespace GridTest {

using DataTest::havePostgres;
using DataTest::isPg;

// Every engine gets its rows; PostgreSQL's skip without a server.
inline const QStringList engines{"LITE", "PG"};
inline bool usable(const QString &alias)
{
    return !isPg(alias) || havePostgres();
}

// A data row "sqlite: tag" / "postgresql: tag" with the alias as its first
// column.
inline QTestData &engineRow(const QString &alias, const QString &tag)
{
    return QTest::newRow(qPrintable((isPg(alias) ? "postgresql: " : "sqlite: ") + tag)) << alias;
}

// Writes the aliases; with a server, PG names the database `pgDatabase`,
// made afresh through PGHOME (the server's own test database).
inline void setUpEngines(const QString &pgDatabase)
{
    DataTest::writeAliases();
    if (!havePostgres())
        return;
    const auto dsn = DataTest::parseDsn(qEnvironmentVariable("QUARN_PG_DSN"));
    const QString server = QString("Driver=QPSQL\nHost=%1\nPort=%2\nUser=%3\nLogin=1\nDatabase=")
                               .arg(dsn.value("host"), dsn.value("port"), dsn.value("user"));
    QFile f(QDir(ConfigDir()).filePath("aliases.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(("[LITE]\nDriver=QSQLITE\nDatabase=lite.db\n\n[PGHOME]\n" + server + dsn.value("dbname")
             + "\n\n[PG]\n" + server + pgDatabase + "\n").toUtf8());
    f.close();
    DataTest::exec("PGHOME", {"DROP DATABASE IF EXISTS " + pgDatabase, "CREATE DATABASE " + pgDatabase});
}

inline std::unique_ptr<TQuery> openQuery(const QString &alias, const QString &sql)
{
    auto q = std::make_unique<TQuery>();
    q->SetName("Q");
    q->SetDatabaseName(alias);
    q->SetSQLText(sql);
    q->Open();
    return q;
}

// The first column of every row of a query, opened when closed.
inline QStringList column(TQuery &q)
{
    if (!q.Active())
        q.Open();
    QStringList out;
    for (q.First(); !q.Eof(); q.Next())
        out << q.Fields(0)->AsString();
    return out;
}

inline QStringList column(const QString &alias, const QString &sql)
{
    return column(*openQuery(alias, sql));
}

// A person who answers every question with `Answer` and remembers what the
// program told them.
class TRecordingUI : public TUserInterface {
public:
    TRecordingUI() : m_previous(SetUserInterface(this)) {}
    ~TRecordingUI() override { SetUserInterface(m_previous); }
    int Answer = mbYes;
    QStringList Messages;
    int MessageDlg(const QString &text, const QString &, Kind, const QList<Button> &buttons) override
    {
        Messages << text;
        return buttons.contains(Button(Answer)) ? Answer : int(buttons.first());
    }

private:
    TUserInterface *m_previous;
};

// Runs `body` and tells whether it raised an engine error.
template <typename F> bool engineRefuses(F &&body)
{
    try {
        body();
    } catch (const EDBEngineError &) {
        return true;
    }
    return false;
}

#ifdef QT_WIDGETS_LIB
// With QUARN_SHOTS set to a folder, saves a picture of `w` there as
// NAME.png, so that a window driven by a test can be looked at.
inline void saveShot(QWidget *w, const QString &name)
{
    const QString dir = qEnvironmentVariable("QUARN_SHOTS");
    if (!dir.isEmpty())
        w->grab().save(QDir(dir).filePath(name + ".png"));
}
#endif

} // namespace GridTest
