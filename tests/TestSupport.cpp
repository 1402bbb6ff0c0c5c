#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

TTestEnvironment::TTestEnvironment()
{
    qputenv("QUARN_HOME", m_home.path().toLocal8Bit());
    qputenv("QUARN_CONFIG", m_config.path().toLocal8Bit());
    // Qt asks for it when it starts a GUI application, even offscreen
    qputenv("XDG_RUNTIME_DIR", m_home.path().toLocal8Bit());
}

TFullFolder::TFullFolder()
{
    if (!m_dir.isValid()) {
        m_why = QStringLiteral("no temporary folder");
        return;
    }
    if (::mount("quarn-full", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, "size=512k,mode=0777") != 0) {
        m_why = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
}

TFullFolder::~TFullFolder()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

void TFullFolder::put(const QString &name, const QByteArray &bytes) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush())
        qFatal("cannot prepare %s", qPrintable(f.fileName()));
}

bool TFullFolder::fill() const
{
    const int fd = ::open(QFile::encodeName(file(QStringLiteral("filler"))).constData(),
                          O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return false;
    static const char block[4096] = {};
    for (size_t chunk : {sizeof block, size_t(1)})
        while (::write(fd, block, chunk) > 0) {
        }
    const bool full = errno == ENOSPC && ::write(fd, block, 1) < 0;
    ::close(fd);
    return full;
}

QStringList TFullFolder::names() const
{
    QStringList list = QDir(path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                              QDir::Name);
    list.removeAll(QStringLiteral("filler"));
    return list;
}

namespace {

// Runs one statement on the server of `dsn` (libpq keywords) in the
// database `database`; the error text, empty when it went well.
QString runOnServer(const QString &dsn, const QString &database, const QString &sql)
{
    QString error;
    const QString name = QStringLiteral("quarn-test-admin");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        for (const QString &part : dsn.split(u' ', Qt::SkipEmptyParts)) {
            const QString key = part.section(u'=', 0, 0).toLower(), value = part.section(u'=', 1);
            if (key == u"host") db.setHostName(value);
            else if (key == u"port") db.setPort(value.toInt());
            else if (key == u"user") db.setUserName(value);
            else if (key == u"password") db.setPassword(value);
        }
        db.setDatabaseName(database);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(sql))
                error = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

QString dsnDatabase(const QString &dsn)
{
    for (const QString &part : dsn.split(u' ', Qt::SkipEmptyParts))
        if (part.startsWith(QStringLiteral("dbname=")))
            return part.mid(7);
    return QStringLiteral("postgres");
}

} // namespace

void TTestEnvironment::ownPostgresDatabase()
{
    m_sharedDsn = qEnvironmentVariable("QUARN_PG_DSN");
    if (m_sharedDsn.isEmpty())
        return;
    QString program = QCoreApplication::applicationName().toLower();
    program.replace(QRegularExpression(QStringLiteral("[^a-z0-9_]")), QStringLiteral("_"));
    const QString database = QStringLiteral("quarn_%1_%2").arg(program).arg(QCoreApplication::applicationPid());
    const QString shared = dsnDatabase(m_sharedDsn);
    runOnServer(m_sharedDsn, shared, QStringLiteral("DROP DATABASE IF EXISTS ") + database);
    const QString error = runOnServer(m_sharedDsn, shared, QStringLiteral("CREATE DATABASE ") + database);
    if (!error.isEmpty())
        qFatal("cannot make the test database %s: %s", qPrintable(database), qPrintable(error));
    m_pgDatabase = database;
    QString dsn;
    for (const QString &part : m_sharedDsn.split(u' ', Qt::SkipEmptyParts))
        dsn += (dsn.isEmpty() ? QString() : QStringLiteral(" "))
               + (part.startsWith(QStringLiteral("dbname=")) ? QStringLiteral("dbname=") + database : part);
    qputenv("QUARN_PG_DSN", dsn.toUtf8());
}

void TTestEnvironment::dropPostgresDatabase()
{
    if (m_pgDatabase.isEmpty())
        return;
    qputenv("QUARN_PG_DSN", m_sharedDsn.toUtf8());
    runOnServer(m_sharedDsn, dsnDatabase(m_sharedDsn), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_pgDatabase));
    m_pgDatabase.clear();
}
