#pragma once

#include "Engine.h"

#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class TDataSet;
class TSession;

// A named database of the configuration (aliases.ini or the built-in DEMO).
struct TAlias {
    QString Name;
    QString Driver;        // QSQLITE or QPSQL
    QString Database;      // SQLite: the file; server engines: the database name
    QString Host;
    int Port = 0;
    QString User;
    bool Login = false;    // ask user name and password before connecting
    QString Type;          // DBTYPE; the driver's default when not given
    QString Description;
    QString Options;       // passed to the driver's connect options
    bool EnableBCD = false;
};

// One open database, shared by everything that names its alias.
class TDatabase {
public:
    TDatabase(TSession *session, const TAlias &alias);
    ~TDatabase();
    TDatabase(const TDatabase &) = delete;
    TDatabase &operator=(const TDatabase &) = delete;

    const QString &DatabaseName() const { return m_alias.Name; }
    const TAlias &Alias() const { return m_alias; }
    TEngine &Engine() const { return *m_engine; }
    TSession *Session() const { return m_session; }

    bool Connected() const { return m_connected; }
    // Connecting asks for a login when the alias wants one; disconnecting
    // closes every dataset of the database first and, with a transaction
    // open, asks whether to commit it (Yes commits, No rolls back, Cancel
    // keeps the database open and raises the silent abort).
    void SetConnected(bool on);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    bool InTransaction() const { return m_inTransaction; }
    // With a transaction open, asks "Транзакция не завершена. Зафиксировать
    // изменения?": Yes commits it, No rolls it back, and Cancel keeps it and
    // gives false. True at once without a transaction.
    bool AskEndTransaction();
    void StartTransaction();
    void Commit();      // harmless without an open transaction
    void Rollback();    // likewise

    // Runs a statement without a result; returns the rows it touched.
    int ExecSQL(const QString &sql);
    // Runs the statements of a script in order; stops at the first error.
    void ExecScript(const QString &script);

    // The connection, opening the database first when needed.
    QSqlDatabase &Connection();
    // Engine metadata cache for editable results.
    QList<TColumnDesc> TableColumns(const QString &table);
    TTableKey TableKey(const QString &table);
    // Runs `sql` and raises on failure; for the engines' own statements.
    QSqlQuery Query(const QString &sql);
    // Raises an engine error when the connection was lost.
    void CheckOpen();

    // Datasets register themselves so that closing the database closes them.
    void AttachDataSet(TDataSet *ds);
    void DetachDataSet(TDataSet *ds);
    // A new name for a server-side cursor of this connection.
    QString NewCursorName();
    // Forgets the cached table metadata (after DDL).
    void FlushSchemaCache();

private:
    void connect();
    void disconnect();

    TSession *m_session;
    TAlias m_alias;
    std::unique_ptr<TEngine> m_engine;
    QSqlDatabase m_db;
    QString m_connectionName;
    bool m_connected = false;
    bool m_inTransaction = false;
    int m_cursorCounter = 0;
    std::vector<TDataSet *> m_dataSets;
    std::map<QString, QList<TColumnDesc>> m_columnCache;
    std::map<QString, TTableKey> m_keyCache;
};

// The one session of the process: knows the aliases and opens databases.
class TSession {
public:
    TSession();
    ~TSession();

    // The process-wide session.
    static TSession &Instance();

    // Aliases: the built-in DEMO (a SQLite file "demo.sqlite" in the program
    // directory) and every section of aliases.ini in the configuration
    // directory; a section named DEMO replaces the built-in one.
    QList<TAlias> Aliases() const;
    QStringList AliasNames() const;
    bool FindAlias(const QString &name, TAlias &alias) const;
    // Raises "Неизвестный псевдоним базы данных: %s" (an engine error).
    TAlias AliasByName(const QString &name) const;

    // Session aliases live while the program runs (a database file opened
    // directly) and are listed with the others; they are never written to
    // aliases.ini. Adding one of a session alias's name replaces it; an alias
    // of aliases.ini or DEMO of the same name hides it.
    void AddSessionAlias(const TAlias &alias);
    void RemoveSessionAlias(const QString &name);
    // Whether `name` is a session alias (one no stored alias hides).
    bool IsSessionAlias(const QString &name) const;
    // The alias of a SQLite database file (relative names against the
    // current directory): the first alias whose database is that file, else
    // a new session alias named after the file in capitals ("SALES" for
    // sales.sqlite; "SALES_2" and on when the name is taken).
    QString AliasForFile(const QString &file);

    // The shared database object of an alias, connected. Asks for a login
    // when the alias needs one; an engine error when it cannot connect.
    TDatabase *OpenDatabase(const QString &name);
    // The database object of an alias when one was opened, else nullptr.
    TDatabase *FindDatabase(const QString &name) const;
    // Every database object opened so far, in the order they were opened.
    std::vector<TDatabase *> Databases() const;
    // Closes and forgets one database, or all of them.
    void CloseDatabase(TDatabase *db);
    void CloseAll();

    // Asks for user name and password; the default asks the installed user
    // interface (non-interactively: the password from QUARN_PASSWORD).
    // Returns false when the person cancelled.
    std::function<bool(const TAlias &alias, QString &user, QString &password)> OnLogin;

private:
    std::vector<std::unique_ptr<TDatabase>> m_databases;
    QList<TAlias> m_sessionAliases;
};

// aliases.ini in the configuration directory.
QString AliasFileName();
// Writes `alias` as its section of aliases.ini, replacing the section
// `previousName` (an alias being renamed) or, without one, refusing a name
// already there. The file holds no password: there is no key for one.
void SaveAlias(const TAlias &alias, const QString &previousName = QString());
// Deletes an alias's section from aliases.ini.
void RemoveAlias(const QString &name);
// Connects to the alias's database once (asking for a login when the alias
// wants one) and disconnects; an engine error says why it cannot.
void TestConnection(const TAlias &alias);

// The process-wide session.
inline TSession &Session() { return TSession::Instance(); }

// The local directory database: file tables of a directory, kept in the
// SQLite file "local.sqlite" there. An alias name that is an absolute path
// of an existing directory names that directory's local database; the file
// is created on first use. LocalDatabaseName() is the program directory's.
QString LocalDatabaseName();
extern const QString LocalDatabaseFile;

// Creates a new SQLite database file and runs the given script texts in it
// (the demo database is made so). An existing file is an error.
void CreateSqliteDatabase(const QString &file, const QStringList &scripts);
