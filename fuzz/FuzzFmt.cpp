// The reader of report (.FMT) files: any bytes as a file in a folder,
// imported into SYS_REPORT of a scratch SQLite database.

#include "common/Exceptions.h"
#include "common/Settings.h"
#include "data/Database.h"
#include "data/Query.h"
#include "report/ReportFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

namespace {

// A program folder of its own with the alias FUZZ and an empty SYS_REPORT.
QString prepare()
{
    static QTemporaryDir home;
    qputenv("QUARN_HOME", QFile::encodeName(home.path()));
    qputenv("QUARN_CONFIG", QFile::encodeName(home.path()));
    QFile aliases(home.filePath(QStringLiteral("aliases.ini")));
    if (aliases.open(QIODevice::WriteOnly))
        aliases.write("[FUZZ]\nDriver=QSQLITE\nDatabase=fuzz.sqlite\n");
    aliases.close();
    QFile ddl(QStringLiteral(QUARN_SOURCE_DIR "/sql/sys_tables_sqlite.sql"));
    if (ddl.open(QIODevice::ReadOnly))
        CreateSqliteDatabase(home.filePath(QStringLiteral("fuzz.sqlite")), {QString::fromUtf8(ddl.readAll())});
    QDir(home.path()).mkpath(QStringLiteral("fmt"));
    return home.filePath(QStringLiteral("fmt"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString folder = prepare();
    {
        QFile f(QDir(folder).filePath(QStringLiteral("input.FMT")));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    try {
        (void)ImportReportFiles(QStringLiteral("FUZZ"), folder, std::nullopt);
        TQuery clear;
        clear.SetDatabaseName(QStringLiteral("FUZZ"));
        clear.SetSQLText(QStringLiteral("DELETE FROM SYS_REPORT"));
        clear.ExecSQL();
    } catch (const Exception &) {
    }
    return 0;
}
