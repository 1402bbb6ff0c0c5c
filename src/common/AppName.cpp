#include "AppName.h"

static QString &appName()
{
    static QString name = QStringLiteral("Unknown");
    return name;
}

const QString &AppName()
{
    return appName();
}

void SetAppName(const QString &name)
{
    appName() = name;
}

QString ProgramVersion()
{
    return QStringLiteral(QUARN_VERSION);
}
