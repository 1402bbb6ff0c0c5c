#include "GridStateFile.h"

#include "common/Strings.h"
#include "common/TextFile.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString SearchSection = QStringLiteral("SEARCH");
const QString ChoiceSection = QStringLiteral("CHOICE");
const QString BuildSection = QStringLiteral("BUILD");
const QString OrderSection = QStringLiteral("ORDER");

void appendSection(QStringList &out, const QString &name, const QStringList &lines)
{
    out << u'[' + name + u']';
    out << lines;
}

} // namespace

QString GridStateFileName(const QString &dir, const QString &group, const QString &title)
{
    // stored texts: kept to safe characters, the file stays in the folder
    return QDir(dir).filePath(FileNameOfText(group) + u'^' + FileNameOfText(title) + QStringLiteral(".GRD"));
}

bool SplitGridStateFileName(const QString &fileName, QString &group, QString &title)
{
    const QString base = QFileInfo(fileName).completeBaseName();
    const qsizetype caret = base.indexOf(u'^');
    if (caret < 0)
        return false;
    group = base.left(caret);
    title = base.mid(caret + 1);
    return true;
}

QStringList GridStateFileLines(const TGridState &state)
{
    QStringList out;
    appendSection(out, SearchSection, state.Search);
    appendSection(out, ChoiceSection, state.Choice);
    appendSection(out, BuildSection, state.Build);
    appendSection(out, OrderSection, state.Order);
    return out;
}

QStringList GridStateSection(const QStringList &lines, const QString &name)
{
    const QString header = u'[' + name + u']';
    QStringList out;
    const qsizetype start = lines.indexOf(header);
    if (start < 0)
        return out;
    for (qsizetype i = start + 1; i < lines.size() && !lines[i].startsWith(u'['); ++i)
        if (!lines[i].isEmpty())
            out << lines[i];
    return out;
}

TGridState ParseGridStateLines(const QStringList &lines)
{
    TGridState state;
    state.Search = GridStateSection(lines, SearchSection);
    state.Choice = GridStateSection(lines, ChoiceSection);
    state.Build = GridStateSection(lines, BuildSection);
    state.Order = GridStateSection(lines, OrderSection);
    state.Delete = std::any_of(lines.begin(), lines.end(), [](const QString &line) {
        return line.left(7).toUpper() == u";DELETE";
    });
    return state;
}

QString WriteGridStateFile(const QString &dir, const TGridState &state)
{
    const QString path = GridStateFileName(dir, state.Group, state.Title);
    WriteTextLines(path, GridStateFileLines(state));
    return path;
}

bool ReadGridStateFile(const QString &path, TGridState &state)
{
    QString group, title;
    if (!SplitGridStateFileName(QFileInfo(path).fileName(), group, title))
        return false;
    state = ParseGridStateLines(ReadTextLines(path));
    state.Group = group;
    state.Title = title;
    return true;
}

QStringList GridStateFiles(const QString &dir)
{
    const QDir d(dir);
    QStringList out;
    // name filters match regardless of letter case; NTFS-like name order
    for (const QString &name : d.entryList({QStringLiteral("*.GRD")}, QDir::Files, QDir::Name))
        out << d.filePath(name);
    return out;
}
