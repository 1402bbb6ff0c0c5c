#include "Database.h"

#include "DataSet.h"
#include "SqlText.h"

#include "common/Format.h"
#include "common/Settings.h"
#include "common/UserInterface.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSqlQuery>
#include <algorithm>

QString TEngine::QuoteName(const QString &name) const
{
    QString n = name;
    n.replace(u'"', QStringLiteral("\"\""));
    return u'"' + n + u'"';
}

QString TEngine::QuoteTable(const QString &table) const
{
    const qsizetype dot = table.indexOf(u'.');
    // In SQLite only "main" and "temp" qualify a table: file tables of the
    // local database keep their extension ("TABLE1.DBF") in the name.
    const QString owner = table.left(dot);
    const bool qualified = dot > 0
                           && (DriverName() != u"QSQLITE" || owner.compare(u"main", Qt::CaseInsensitive) == 0
                               || owner.compare(u"temp", Qt::CaseInsensitive) == 0);
    if (qualified)
        return QuoteName(owner) + u'.' + QuoteName(table.mid(dot + 1));
    return QuoteName(table);
}

void RaiseEngineError(const TEngine &engine, const QSqlError &e)
{
    TDBError first = engine.MapError(e);
    QList<TDBError> entries{first};
    // the server's or the library's English text stays as the details
    const QString driver = e.driverText().trimmed();
    if (!driver.isEmpty() && driver != first.Message && !first.Message.contains(driver))
        entries.append(TDBError{first.ErrorCode, 0, driver, QString()});
    throw EDBEngineError(WithRussianEntry(entries));
}

// ---------------------------------------------------------------- TDatabase

TDatabase::TDatabase(TSession *session, const TAlias &alias)
    : m_session(session), m_alias(alias), m_engine(TEngine::Create(alias.Driver))
{
    static int counter = 0;
    m_connectionName = QStringLiteral("quarn_%1_%2").arg(alias.Name).arg(++counter);
}

TDatabase::~TDatabase()
{
    for (TDataSet *ds : std::vector<TDataSet *>(m_dataSets)) {
        ds->Close();
        ds->DatabaseDestroyed();
    }
    disconnect();
}

void TDatabase::SetConnected(bool on)
{
    if (on == m_connected)
        return;
    if (on) {
        connect();
        return;
    }
    if (!AskEndTransaction())
        Abort();
    for (TDataSet *ds : std::vector<TDataSet *>(m_dataSets))
        ds->Close();
    disconnect();
}

bool TDatabase::AskEndTransaction()
{
    if (!m_inTransaction)
        return true;
    const int answer = UserInterface().MessageDlg(
        QStringLiteral("Транзакция не завершена. Зафиксировать изменения?"),
        Format(QStringLiteral("База данных %s"), {m_alias.Name}), TUserInterface::mtConfirmation,
        {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel});
    if (answer == TUserInterface::mbYes) {
        Commit();
    } else if (answer == TUserInterface::mbNo) {
        try {
            Rollback();
        } catch (const EDBEngineError &) {
            // a lost connection has rolled back already
        }
    } else {
        return false;
    }
    return true;
}

void TDatabase::connect()
{
    QString user = m_alias.User;
    QString password;
    if (m_alias.Login) {
        bool ok = m_session && m_session->OnLogin ? m_session->OnLogin(m_alias, user, password)
                                                  : UserInterface().LoginDialog(m_alias.Name, user, password);
        if (!ok)
            Abort();
    }
    if (!QSqlDatabase::isDriverAvailable(m_alias.Driver))
        throw EDBEngineError(DBErrorCode::UnknownDriver,
                             Format(QStringLiteral("Драйвер %s недоступен"), {m_alias.Driver}));
    m_db = QSqlDatabase::addDatabase(m_alias.Driver, m_connectionName);
    try {
        m_engine->Connect(m_db, m_alias, user, password);
    } catch (...) {
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
    m_connected = true;
    m_inTransaction = false;
}

void TDatabase::disconnect()
{
    m_engine->Disconnected();
    m_columnCache.clear();
    m_keyCache.clear();
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    m_connected = false;
    m_inTransaction = false;
}

QSqlDatabase &TDatabase::Connection()
{
    if (!m_connected)
        connect();
    return m_db;
}

void TDatabase::CheckOpen()
{
    if (m_connected && !m_engine->Alive()) {
        // The server went away (restarted, or the session was ended): the
        // next action connects again, asking for the login as at first.
        // What the lost session held (its cursors) is gone with it; the
        // datasets keep the rows they read, and their edits. A transaction
        // is gone too, and that is said, not passed over.
        const bool lostTransaction = m_inTransaction;
        disconnect();
        connect();
        if (lostTransaction)
            throw EDBEngineError(WithRussianEntry({TDBError{
                DBErrorCode::ConnectionLost, 0,
                QStringLiteral("Незафиксированные изменения транзакции потеряны вместе с соединением; "
                               "соединение установлено заново"),
                QString()}}));
    }
    if (!Connection().isOpen())
        throw EDBEngineError(DBErrorCode::ConnectionLost,
                             Format(QStringLiteral("Соединение с базой данных %s потеряно"), {m_alias.Name}));
}

QSqlQuery TDatabase::Query(const QString &sql)
{
    CheckOpen();
    // Buffered, not forward-only: a forward-only PostgreSQL query would
    // keep the connection busy until its last row is read, and the engine
    // runs statements of its own on the same connection.
    QSqlQuery q(Connection());
    if (!q.exec(sql))
        RaiseEngineError(*m_engine, q.lastError());
    return q;
}

void TDatabase::StartTransaction()
{
    if (m_inTransaction)
        throw EDBEngineError(DBErrorCode::NotSupported,
                             QStringLiteral("Транзакция уже начата"));
    Query(QStringLiteral("BEGIN"));
    m_inTransaction = true;
}

void TDatabase::Commit()
{
    if (!m_inTransaction)
        return;
    // the flag goes first: a failed COMMIT ends the transaction all the same
    m_inTransaction = false;
    Query(QStringLiteral("COMMIT"));
}

void TDatabase::Rollback()
{
    if (!m_inTransaction)
        return;
    m_inTransaction = false;
    Query(QStringLiteral("ROLLBACK"));
}

int TDatabase::ExecSQL(const QString &sql)
{
    int affected = -1;
    std::unique_ptr<TRowSource> rows;
    m_engine->Run(*this, sql, &rows, affected);
    return affected;
}

void TDatabase::ExecScript(const QString &script)
{
    for (const QString &stmt : SplitSqlScript(script, m_engine->Dialect()))
        ExecSQL(stmt);
    FlushSchemaCache();
}

QList<TColumnDesc> TDatabase::TableColumns(const QString &table)
{
    auto it = m_columnCache.find(table);
    if (it != m_columnCache.end())
        return it->second;
    QList<TColumnDesc> cols = m_engine->TableColumns(*this, table);
    m_columnCache[table] = cols;
    return cols;
}

TTableKey TDatabase::TableKey(const QString &table)
{
    auto it = m_keyCache.find(table);
    if (it != m_keyCache.end())
        return it->second;
    TTableKey key = m_engine->TableKey(*this, table);
    m_keyCache[table] = key;
    return key;
}

void TDatabase::FlushSchemaCache()
{
    m_columnCache.clear();
    m_keyCache.clear();
}

void TDatabase::AttachDataSet(TDataSet *ds)
{
    if (std::find(m_dataSets.begin(), m_dataSets.end(), ds) == m_dataSets.end())
        m_dataSets.push_back(ds);
}

void TDatabase::DetachDataSet(TDataSet *ds)
{
    m_dataSets.erase(std::remove(m_dataSets.begin(), m_dataSets.end(), ds), m_dataSets.end());
}

QString TDatabase::NewCursorName()
{
    return QStringLiteral("quarn_cursor_%1").arg(++m_cursorCounter);
}

// ----------------------------------------------------------------- TSession

TSession::TSession() = default;

TSession::~TSession()
{
    CloseAll();
}

TSession &TSession::Instance()
{
    static TSession session;
    // Close the connections while Qt's SQL registry still exists: at the
    // end of the application object, before static objects go.
    static const bool registered = [] {
        qAddPostRoutine([] { TSession::Instance().CloseAll(); });
        return true;
    }();
    Q_UNUSED(registered);
    return session;
}

static TAlias demoAlias()
{
    TAlias a;
    a.Name = QStringLiteral("DEMO");
    a.Driver = QStringLiteral("QSQLITE");
    a.Database = QStringLiteral("demo.sqlite");
    a.Type = QStringLiteral("SQLITE");
    a.Description = QStringLiteral("Демонстрационная база данных");
    return a;
}

// A value of aliases.ini without a trailing "; comment".
static QString iniValue(const QSettings &ini, const QString &key)
{
    const QVariant v = ini.value(key);
    QString s = v.typeId() == QMetaType::QStringList ? v.toStringList().join(u',') : v.toString();
    return s.trimmed();
}

QList<TAlias> TSession::Aliases() const
{
    QList<TAlias> list;
    list.append(demoAlias());
    const QString file = QDir(ConfigDir()).filePath(QStringLiteral("aliases.ini"));
    if (QFileInfo::exists(file)) {
        QSettings ini(file, QSettings::IniFormat);
        for (const QString &group : ini.childGroups()) {
            ini.beginGroup(group);
            TAlias a;
            a.Name = group;
            a.Driver = iniValue(ini, QStringLiteral("Driver")).toUpper();
            if (a.Driver.isEmpty())
                a.Driver = QStringLiteral("QSQLITE");
            a.Database = iniValue(ini, QStringLiteral("Database"));
            a.Host = iniValue(ini, QStringLiteral("Host"));
            a.Port = iniValue(ini, QStringLiteral("Port")).toInt();
            a.User = iniValue(ini, QStringLiteral("User"));
            a.Login = iniValue(ini, QStringLiteral("Login")) == u"1";
            a.Type = iniValue(ini, QStringLiteral("Type"));
            a.Description = iniValue(ini, QStringLiteral("Description"));
            a.Options = iniValue(ini, QStringLiteral("Options"));
            a.EnableBCD = iniValue(ini, QStringLiteral("EnableBCD")) == u"1";
            if (a.Type.isEmpty())
                a.Type = a.Driver == u"QPSQL" ? QStringLiteral("POSTGRESQL")
                       : a.Driver == u"QSQLITE" ? QStringLiteral("SQLITE") : a.Driver.mid(1);
            ini.endGroup();
            auto same = std::find_if(list.begin(), list.end(), [&](const TAlias &x) {
                return x.Name.compare(a.Name, Qt::CaseInsensitive) == 0;
            });
            if (same != list.end())
                *same = a;
            else
                list.append(a);
        }
    }
    // a stored alias of the same name wins: it is the one the user saved
    for (const TAlias &a : m_sessionAliases)
        if (std::none_of(list.begin(), list.end(),
                         [&](const TAlias &x) { return x.Name.compare(a.Name, Qt::CaseInsensitive) == 0; }))
            list.append(a);
    std::sort(list.begin(), list.end(), [](const TAlias &x, const TAlias &y) {
        return x.Name.compare(y.Name, Qt::CaseInsensitive) < 0;
    });
    return list;
}

bool TSession::IsSessionAlias(const QString &name) const
{
    TAlias found;
    if (!FindAlias(name, found))
        return false;
    for (const TAlias &a : m_sessionAliases)
        if (a.Name.compare(name, Qt::CaseInsensitive) == 0)
            return a.Driver == found.Driver && a.Database == found.Database && a.Host == found.Host;
    return false;
}

void TSession::AddSessionAlias(const TAlias &alias)
{
    for (TAlias &a : m_sessionAliases)
        if (a.Name.compare(alias.Name, Qt::CaseInsensitive) == 0) {
            a = alias;
            return;
        }
    m_sessionAliases.append(alias);
}

void TSession::RemoveSessionAlias(const QString &name)
{
    m_sessionAliases.removeIf([&](const TAlias &a) { return a.Name.compare(name, Qt::CaseInsensitive) == 0; });
}

QString TSession::AliasForFile(const QString &file)
{
    const QFileInfo info(file);
    if (!info.isFile())
        throw EDBEngineError(DBErrorCode::FileMissing,
                             Format(QStringLiteral("Файл базы данных не найден: %s"), {info.absoluteFilePath()}));
    const QString path = info.canonicalFilePath();
    const QList<TAlias> aliases = Aliases();
    for (const TAlias &a : aliases)
        if (a.Driver == u"QSQLITE" && QFileInfo(ExpandFileName(a.Database)).canonicalFilePath() == path)
            return a.Name;
    // a name of letters, digits and "_", as an alias name is typed
    QString base = info.completeBaseName().toUpper();
    for (QChar &c : base)
        if (!c.isLetterOrNumber())
            c = u'_';
    if (base.isEmpty())
        base = QStringLiteral("DATABASE");
    auto taken = [&](const QString &name) {
        return std::any_of(aliases.begin(), aliases.end(),
                           [&](const TAlias &a) { return a.Name.compare(name, Qt::CaseInsensitive) == 0; });
    };
    QString name = base;
    for (int n = 2; taken(name); ++n)
        name = base + QStringLiteral("_%1").arg(n);
    TAlias alias;
    alias.Name = name;
    alias.Driver = QStringLiteral("QSQLITE");
    alias.Type = QStringLiteral("SQLITE");
    alias.Database = path;
    alias.Description = QStringLiteral("Файл, открытый в этом сеансе");
    AddSessionAlias(alias);
    return name;
}

QString AliasFileName()
{
    return QDir(ConfigDir()).filePath(QStringLiteral("aliases.ini"));
}

void SaveAlias(const TAlias &alias, const QString &previousName)
{
    const QString name = alias.Name.trimmed();
    if (name.isEmpty())
        throw Exception(QStringLiteral("Не задано название псевдонима"));
    if (name.contains(u'/') || name.contains(u'\\') || name.contains(u'[') || name.contains(u']'))
        throw Exception(Format(QStringLiteral("Недопустимое название псевдонима: %s"), {name}));
    QDir().mkpath(ConfigDir());
    QSettings ini(AliasFileName(), QSettings::IniFormat);
    const bool renamed = previousName.isEmpty() || previousName.compare(name, Qt::CaseInsensitive) != 0;
    if (renamed) {
        for (const QString &group : ini.childGroups())
            if (group.compare(name, Qt::CaseInsensitive) == 0)
                throw Exception(Format(QStringLiteral("Псевдоним %s уже есть"), {name}));
    }
    if (!previousName.isEmpty())
        for (const QString &group : ini.childGroups())
            if (group.compare(previousName, Qt::CaseInsensitive) == 0)
                ini.remove(group);
    ini.beginGroup(name);
    auto put = [&](const char *key, const QString &value) {
        if (!value.isEmpty())
            ini.setValue(QLatin1String(key), value);
    };
    put("Driver", alias.Driver);
    put("Database", alias.Database);
    put("Host", alias.Host);
    put("Port", alias.Port > 0 ? QString::number(alias.Port) : QString());
    put("User", alias.User);
    put("Login", alias.Login ? QStringLiteral("1") : QString());
    put("Type", alias.Type);
    put("Description", alias.Description);
    put("Options", alias.Options);
    put("EnableBCD", alias.EnableBCD ? QStringLiteral("1") : QString());
    ini.endGroup();
    ini.sync();
    if (ini.status() != QSettings::NoError)
        throw Exception(Format(QStringLiteral("Не могу записать файл %s"), {AliasFileName()}));
}

void RemoveAlias(const QString &name)
{
    QSettings ini(AliasFileName(), QSettings::IniFormat);
    for (const QString &group : ini.childGroups())
        if (group.compare(name, Qt::CaseInsensitive) == 0)
            ini.remove(group);
    ini.sync();
    if (ini.status() != QSettings::NoError)
        throw Exception(Format(QStringLiteral("Не могу записать файл %s"), {AliasFileName()}));
}

void TestConnection(const TAlias &alias)
{
    TDatabase db(&Session(), alias);
    db.Open();
    db.Close();
}

QStringList TSession::AliasNames() const
{
    QStringList names;
    for (const TAlias &a : Aliases())
        names.append(a.Name);
    return names;
}

const QString LocalDatabaseFile = QStringLiteral("local.sqlite");

QString LocalDatabaseName()
{
    return ProgramDir();
}

bool TSession::FindAlias(const QString &name, TAlias &alias) const
{
    for (const TAlias &a : Aliases())
        if (a.Name.compare(name, Qt::CaseInsensitive) == 0) {
            alias = a;
            return true;
        }
    const QFileInfo dir(name);
    if (dir.isAbsolute() && dir.isDir()) {
        alias = TAlias();
        alias.Name = name;
        alias.Driver = QStringLiteral("QSQLITE");
        alias.Database = QDir(name).filePath(LocalDatabaseFile);
        alias.Description = QStringLiteral("Локальная база данных каталога");
        return true;
    }
    return false;
}

TAlias TSession::AliasByName(const QString &name) const
{
    TAlias a;
    if (!FindAlias(name, a))
        throw EDBEngineError(DBErrorCode::UnknownAlias,
                             Format(QStringLiteral("Неизвестный псевдоним базы данных: %s"), {name}));
    return a;
}

TDatabase *TSession::FindDatabase(const QString &name) const
{
    for (const auto &db : m_databases)
        if (db->DatabaseName().compare(name, Qt::CaseInsensitive) == 0)
            return db.get();
    return nullptr;
}

std::vector<TDatabase *> TSession::Databases() const
{
    std::vector<TDatabase *> list;
    for (const auto &db : m_databases)
        list.push_back(db.get());
    return list;
}

TDatabase *TSession::OpenDatabase(const QString &name)
{
    TDatabase *db = FindDatabase(name);
    if (!db) {
        const TAlias alias = AliasByName(name);
        // a directory's local database comes into being with its first use
        const QFileInfo dir(name);
        if (dir.isAbsolute() && dir.isDir() && !QFileInfo::exists(alias.Database))
            CreateSqliteDatabase(alias.Database, {});
        m_databases.push_back(std::make_unique<TDatabase>(this, alias));
        db = m_databases.back().get();
    }
    db->Open();
    return db;
}

void TSession::CloseDatabase(TDatabase *db)
{
    auto it = std::find_if(m_databases.begin(), m_databases.end(),
                           [db](const auto &p) { return p.get() == db; });
    if (it == m_databases.end())
        return;
    (*it)->Close();
    m_databases.erase(it);
}

void TSession::CloseAll()
{
    while (!m_databases.empty()) {
        m_databases.back()->SetConnected(false);
        m_databases.pop_back();
    }
}

void CreateSqliteDatabase(const QString &file, const QStringList &scripts)
{
    const QString path = ExpandFileName(file);
    if (QFileInfo::exists(path))
        throw EDBEngineError(DBErrorCode::StatementFailed,
                             Format(QStringLiteral("Файл базы данных уже существует: %s"), {path}));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            throw EDBEngineError(DBErrorCode::PermissionDenied,
                                 Format(QStringLiteral("Нельзя создать файл %s"), {path}));
    }
    TAlias a;
    a.Name = QStringLiteral("QUARN$NEW");
    a.Driver = QStringLiteral("QSQLITE");
    a.Database = path;
    try {
        TDatabase db(nullptr, a);
        db.Open();
        db.StartTransaction();
        for (const QString &s : scripts)
            db.ExecScript(s);
        db.Commit();
    } catch (...) {
        QFile::remove(path);   // nothing half-written stays behind
        throw;
    }
}
