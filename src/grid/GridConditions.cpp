#include "GridConditions.h"

#include "ConditionRewriter.h"
#include "SearchSql.h"

#include "common/UserInterface.h"
#include "data/Query.h"

const QString ChoiceBlockName = QStringLiteral("SEARCHDBGRID_CHOICE");
const QString BuilderBlockName = QStringLiteral("SEARCHDBGRID_BUILDER");

namespace {

const QString NoteTemplate = QStringLiteral("%Note");

QString fieldOfLine(const QString &line)
{
    return line.left(line.indexOf(u'='));
}

// A new text that the server refused: the person is told, the query gets
// its old text back, and the caller receives the server's error (whoever
// handles it shows the engine's own message). The error of the old text,
// should it fail as well, must not hide the first one.
void putBackAfterFailure(TQuery &query, const QString &oldText, bool reopen)
{
    UserInterface().MessageDlg(QStringLiteral("Ошибка выполнения запроса."), QString(),
                               TUserInterface::mtError, {TUserInterface::mbOK});
    try {
        ReplaceQuerySql(query, oldText, false, nullptr, reopen);
    } catch (const Exception &) {
    }
}

} // namespace

QString TGridConditions::SearchValue(const QString &fieldName) const
{
    for (const QString &line : SearchValues)
        if (line.indexOf(u'=') >= 0 && fieldOfLine(line) == fieldName)
            return line.mid(fieldName.size() + 1);
    return QString();
}

void TGridConditions::SetSearchValue(const QString &fieldName, const QString &value)
{
    const QString line = fieldName + u'=' + value;
    for (QString &l : SearchValues)
        if (l.indexOf(u'=') >= 0 && fieldOfLine(l) == fieldName) {
            l = line;
            return;
        }
    SearchValues << line;
}

bool TGridConditions::IsEmpty() const
{
    return SearchValues.isEmpty() && ChoiceList.isEmpty() && BuilderRows.isEmpty() && !OrderOverridden;
}

bool ApplySearch(TQuery &query, TGridConditions &conditions)
{
    if (conditions.SearchLocked)
        return false;
    if (query.Active())
        query.CheckBrowseMode();   // the edit first: a failed post changes nothing
    const QString oldText = query.SQLText();
    TParams params = query.Params();
    const QString text = BuildSearchSql(query, conditions.SearchValues, &params);
    try {
        ReplaceQuerySql(query, text, false, &params, true);
    } catch (const Exception &) {
        // The grid stays open on its old text, so that its columns are
        // known and the value can be corrected; the next search rebuilds
        // the text from the values as typed.
        try {
            ReplaceQuerySql(query, oldText, false, &params, true);
        } catch (const Exception &) {
        }
        throw;
    }
    return true;
}

bool ToggleMarkedFilter(TQuery &query, TGridConditions &conditions)
{
    if (!query.Active())
        return false;
    query.CheckBrowseMode();
    const QString oldText = query.SQLText();
    const QStringList oldApplied = conditions.AppliedChoice;
    QString text;
    if (!conditions.AppliedChoice.isEmpty()) {
        text = RewriteCondition(oldText, NoteTemplate, QString(), ChoiceBlockName, QString(),
                                QString(), false);
        conditions.AppliedChoice.clear();
    } else if (conditions.ChoiceList.isEmpty()) {
        return false;
    } else {
        const QStringList lines = MarkConditionLines(conditions.ChoiceList, conditions.ChoiceInvert,
                                                     SearchKindsOf(&query), SearchDateTextOf(query),
                                                     FormatSettings(), SearchColumnNameOf(query));
        text = RewriteCondition(oldText, NoteTemplate, lines.join(QStringLiteral("\r\n")),
                                ChoiceBlockName, QString(), QString(), false);
        // AppliedChoice tells that the block is in the text: not when no
        // mark was usable or the statement had no place for it
        if (!text.isEmpty())
            conditions.AppliedChoice = lines;
    }
    if (text.isEmpty())
        return false;
    try {
        ReplaceQuerySql(query, text, true, nullptr, true);
    } catch (const Exception &) {
        conditions.AppliedChoice = oldApplied;
        putBackAfterFailure(query, oldText, true);
        throw;
    }
    return true;
}

TBuilderFields BuilderFieldsOf(const TDataSet &dataSet)
{
    QList<TBuilderField> fields;
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
        const TField *f = dataSet.Fields(i);
        if (f->FieldKind() == fkCalculated)
            continue;
        fields.append({f->FieldName(), f->DisplayLabel(), SearchKind(&dataSet, f->FieldName())});
    }
    return TBuilderFields(fields);
}

void ApplyQueryBuilder(TQuery &query, TGridConditions &conditions, QStringList &rows,
                       const QString &orderText, const QString &baseSql, bool interactive)
{
    if (query.Active())
        query.CheckBrowseMode();
    const QStringList lines = BuilderConditionLines(rows, BuilderFieldsOf(query), SearchDateTextOf(query),
                                                    FormatSettings(), SearchColumnNameOf(query),
                                                    query.Database()->Engine().LikeEscape());
    const QString base = baseSql.isEmpty() ? query.SQLText() : baseSql;
    const QString rewritten = RewriteCondition(base, NoteTemplate, lines.join(QStringLiteral("\r\n")),
                                               BuilderBlockName, QString(), QString(), false);
    QString text = rewritten.isEmpty() ? base : rewritten;

    const QString oldText = query.SQLText();
    const TBuilderOrderState oldOrder = conditions;
    try {
        text = ApplyBuilderOrder(text, orderText, conditions);
        ReplaceQuerySql(query, text, false, nullptr, interactive);
    } catch (const Exception &) {
        static_cast<TBuilderOrderState &>(conditions) = oldOrder;
        putBackAfterFailure(query, oldText, interactive);
        throw;
    }
    if (interactive)
        conditions.BuilderRows = rows;
}

void RunQueryBuilder(TQuery &query, TGridConditions &conditions, const QString &orderText,
                     const QString &baseSql)
{
    QStringList rows = conditions.BuilderRows;
    ApplyQueryBuilder(query, conditions, rows, orderText, baseSql, false);
}
