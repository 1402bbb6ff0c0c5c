#include "RecentDatabases.h"

#include "common/Settings.h"
#include "data/Database.h"

#include <QDir>

namespace {

const QString Setting = QStringLiteral("RecentDatabases");

} // namespace

QStringList RecentDatabases::List()
{
    return ReadSetting(Setting).split(u'\n', Qt::SkipEmptyParts);
}

bool RecentDatabases::IsFile(const QString &entry)
{
    return entry.contains(u'/');
}

void RecentDatabases::Remember(const QString &alias)
{
    QString entry = alias;
    TAlias a;
    if (Session().IsSessionAlias(alias) && Session().FindAlias(alias, a))
        entry = QDir::cleanPath(ExpandFileName(a.Database));
    QStringList list = List();
    list.removeIf([&](const QString &e) { return e.compare(entry, IsFile(e) ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0; });
    list.prepend(entry);
    WriteSetting(Setting, list.mid(0, Kept).join(u'\n'));
}
