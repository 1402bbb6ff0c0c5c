#include "Settings.h"

#include "Exceptions.h"
#include "SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

QString ConfigDir()
{
    const QString env = qEnvironmentVariable("QUARN_CONFIG");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/Tessary Software");
}

static QString settingsFile()
{
    return ConfigDir() + QStringLiteral("/quarn.ini");
}

QString ReadSetting(const QString &name)
{
    QSettings settings(settingsFile(), QSettings::IniFormat);
    const QVariant v = settings.value(name);
    // Only plain text values count; a list or a group gives an empty text.
    return v.typeId() == QMetaType::QString ? v.toString() : QString();
}

void WriteSetting(const QString &name, const QString &value)
{
    QDir().mkpath(ConfigDir());
    // the file the name leads to is rewritten: a link stays a link, a
    // special file is refused
    QSettings settings(WriteTarget(settingsFile()), QSettings::IniFormat);
    settings.setValue(name, value);
    // QSettings writes through a temporary file renamed into place, so a
    // failure leaves the old file; it must not pass unnoticed either
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw Exception(QStringLiteral("Ошибка записи в файл %1").arg(settingsFile()));
}

static QString executableDir()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

QString ProgramDataDir()
{
    const QString exeDir = executableDir();
    if (exeDir.isEmpty())
        return QString();
    const QString data = QDir::cleanPath(exeDir + QStringLiteral("/../share/quarn"));
    return QFileInfo(data).isDir() ? data : QString();
}

QString ProgramDir()
{
    const QString env = qEnvironmentVariable("QUARN_HOME");
    if (!env.isEmpty())
        return QDir::cleanPath(env);
    // An installed program never writes beside itself, even where it could
    // (root, a prefix in the user's home): its files are the user's.
    const QString exeDir = executableDir();
    if (!exeDir.isEmpty() && ProgramDataDir().isEmpty() && QFileInfo(exeDir).isWritable())
        return exeDir;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                         + QStringLiteral("/Quarn");
    QDir().mkpath(data);
    return data;
}

QString ExpandFileName(const QString &name)
{
    if (name.isEmpty() || QDir::isAbsolutePath(name))
        return name;
    return QDir::cleanPath(ProgramDir() + u'/' + name);
}
