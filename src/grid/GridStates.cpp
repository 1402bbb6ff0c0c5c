#include "GridStates.h"

#include "SearchSql.h"

#include "common/AppName.h"
#include "common/Format.h"
#include "common/Strings.h"
#include "common/UserInterface.h"
#include "data/Query.h"

namespace {

const QString AppColumn = QStringLiteral("GR_APP_NAM");
const QString GroupColumn = QStringLiteral("GR_GRD_NAM");
const QString TitleColumn = QStringLiteral("GR_GRD_CMT");
const QString SearchColumn = QStringLiteral("GR_GRD_SRH");
const QString ChoiceColumn = QStringLiteral("GR_GRD_CHS");
const QString BuildColumn = QStringLiteral("GR_GRD_BLD");
const QString OrderColumn = QStringLiteral("GR_GRD_ORD");

const QString LineBreak = QStringLiteral("\r\n");

QStringList memoLines(const TDataSet &ds, const QString &column)
{
    QString text = ds.FieldByName(column)->AsString();
    text.replace(LineBreak, QStringLiteral("\n"));
    return text.split(u'\n', Qt::SkipEmptyParts);
}

void setMemo(TDataSet &ds, const QString &column, const QStringList &lines)
{
    ds.FieldByName(column)->SetAsString(lines.join(LineBreak));
}

void setParam(TQuery &q, const QString &name, const QString &value)
{
    q.ParamByName(name).SetAsString(value);
}

void setSections(TDataSet &ds, const TGridState &state)
{
    setMemo(ds, SearchColumn, state.Search);
    setMemo(ds, ChoiceColumn, state.Choice);
    setMemo(ds, BuildColumn, state.Build);
    setMemo(ds, OrderColumn, state.Order);
}

// The search values made ready to go: every current column becomes "^"
// (its condition is taken out by the next search).
void clearSearchValues(TGridConditions &c)
{
    for (QString &line : c.SearchValues) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0)
            line = line.left(eq + 1) + u'^';
    }
}

// The search values and the builder's rows and order put into the query
// together, installed once with the query's parameter values kept.
void applyConditions(TQuery &query, TGridConditions &c, const QString &orderText, bool reopen)
{
    if (query.Active())
        query.CheckBrowseMode();
    TControlsDisabled quiet(query);
    TParams params = query.Params();
    const QString searched = BuildSearchSql(query, c.SearchValues, &params);
    RunQueryBuilder(query, c, orderText, searched);
    ReplaceQuerySql(query, query.SQLText(), false, &params, reopen);
}

} // namespace

QString GridGroupName(const QString &windowClassName, const QString &gridName)
{
    return windowClassName + u'_' + gridName;
}

const QStringList &GridStatesListSql()
{
    static const QStringList sql = {QStringLiteral("SELECT * FROM SYS_GRIDS"), QStringLiteral("WHERE"),
                                    QStringLiteral("GR_GRD_NAM = :GrdName AND"),
                                    QStringLiteral("GR_APP_NAM = :AppName")};
    return sql;
}

const QStringList &GridStateDeleteSql()
{
    static const QStringList sql = {QStringLiteral("DELETE FROM SYS_GRIDS"), QStringLiteral("WHERE"),
                                    QStringLiteral("GR_APP_NAM = :AppName and"),
                                    QStringLiteral("GR_GRD_NAM = :GrdName and"),
                                    QStringLiteral("GR_GRD_CMT = :GrdCmt")};
    return sql;
}

const QStringList &GridStateSaveSql()
{
    static const QStringList sql = {QStringLiteral("SELECT * FROM SYS_GRIDS"), QStringLiteral("WHERE"),
                                    QStringLiteral("GR_APP_NAM = :AppName AND"),
                                    QStringLiteral("GR_GRD_NAM = :GrdName AND"),
                                    QStringLiteral("GR_GRD_CMT = :GrdCmt")};
    return sql;
}

const QStringList &GridStatesEditorSql()
{
    static const QStringList sql = {QStringLiteral("SELECT * FROM SYS_GRIDS"), QStringLiteral("WHERE"),
                                    QStringLiteral("GR_APP_NAM = :AppNam AND"),
                                    QStringLiteral("GR_GRD_NAM LIKE :GrdNam"),
                                    QStringLiteral("ORDER BY GR_GRD_NAM")};
    return sql;
}

const QStringList &GridStateImportSql()
{
    static const QStringList sql = {QStringLiteral("SELECT * FROM SYS_GRIDS"), QStringLiteral("WHERE"),
                                    QStringLiteral("GR_APP_NAM = :AppNam AND"),
                                    QStringLiteral("GR_GRD_NAM = :GrdNam AND"),
                                    QStringLiteral("GR_GRD_CMT = :GrdCmt")};
    return sql;
}

const QStringList &GridGroupsSql()
{
    static const QStringList sql = {QStringLiteral("SELECT DISTINCT GR_GRD_NAM FROM SYS_GRIDS"),
                                    QStringLiteral("WHERE GR_APP_NAM = :AppNam")};
    return sql;
}

TGridState GridStateOfRecord(const TDataSet &dataSet)
{
    TGridState s;
    s.Group = dataSet.FieldByName(GroupColumn)->AsString();
    s.Title = dataSet.FieldByName(TitleColumn)->AsString();
    s.Search = memoLines(dataSet, SearchColumn);
    s.Choice = memoLines(dataSet, ChoiceColumn);
    s.Build = memoLines(dataSet, BuildColumn);
    s.Order = memoLines(dataSet, OrderColumn);
    return s;
}

QList<TGridState> GridStatesOfGroup(const QString &databaseName, const QString &group)
{
    TQuery q;
    q.SetDatabaseName(databaseName);
    q.SetSQL(GridStatesListSql());
    setParam(q, QStringLiteral("GrdName"), group);
    setParam(q, QStringLiteral("AppName"), AppName());
    q.Open();
    QList<TGridState> states;
    for (; !q.Eof(); q.Next())
        states << GridStateOfRecord(q);
    return states;
}

void DeleteGridState(const QString &databaseName, const QString &group, const QString &title)
{
    TQuery q;
    q.SetDatabaseName(databaseName);
    q.SetSQL(GridStateDeleteSql());
    setParam(q, QStringLiteral("AppName"), AppName());
    setParam(q, QStringLiteral("GrdName"), group);
    setParam(q, QStringLiteral("GrdCmt"), title);
    q.ExecSQL();
    q.SetSQLText(QStringLiteral("COMMIT"));
    q.ExecSQL();
}

bool SaveGridState(TDBDataSet &dataSet, const QString &group, const QString &title,
                   const TGridConditions &conditions)
{
    if (conditions.IsEmpty())
        return false;
    if (title.isEmpty())
        throw Exception(QStringLiteral("Название не может быть пустым"));
    TQuery q;
    q.SetDatabaseName(dataSet.DatabaseName());
    q.SetSQL(GridStateSaveSql());
    q.SetRequestLive(true);
    setParam(q, QStringLiteral("AppName"), AppName());
    setParam(q, QStringLiteral("GrdName"), group);
    setParam(q, QStringLiteral("GrdCmt"), title);
    q.Open();
    if (q.IsEmpty())
        q.Append();
    else
        q.Edit();
    q.FieldByName(AppColumn)->SetAsString(AppName());
    q.FieldByName(GroupColumn)->SetAsString(group);
    q.FieldByName(TitleColumn)->SetAsString(title);
    setMemo(q, SearchColumn, conditions.SearchValues);
    setMemo(q, ChoiceColumn, conditions.ChoiceList);
    setMemo(q, BuildColumn, conditions.BuilderRows);
    if (conditions.OrderOverridden)
        if (const auto *query = dynamic_cast<const TQuery *>(&dataSet))
            q.FieldByName(OrderColumn)->SetAsString(StatementOrderList(query->SQLText()));
    q.Post();
    return true;
}

void RestoreGridState(TQuery &query, TGridConditions &conditions, const TGridState &state)
{
    const QString orderText = state.Order.join(LineBreak);
    // a state that holds only an order re-sorts and leaves the rest alone
    if (orderText.isEmpty() || !state.Search.isEmpty() || !state.Build.isEmpty()) {
        clearSearchValues(conditions);
        conditions.SearchValues << state.Search;
        conditions.BuilderRows = state.Build;
    }
    conditions.ChoiceList = state.Choice;
    applyConditions(query, conditions, orderText, true);
    conditions.SearchValues.removeIf([](const QString &line) { return line.contains(QStringLiteral("=^")); });
}

bool ClearGridState(TQuery &query, TGridConditions &conditions, bool confirm, bool reopen)
{
    if (confirm
        && UserInterface().MessageDlg(QStringLiteral("Вы уверены, что хотите очистить состояние таблицы ?"),
                                      QString(), TUserInterface::mtWarning,
                                      {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
               != TUserInterface::mbYes)
        return false;
    clearSearchValues(conditions);
    conditions.ChoiceList.clear();
    conditions.BuilderRows.clear();
    applyConditions(query, conditions, QString(), reopen);
    return true;
}

QStringList ExportGridStates(const QString &databaseName, const QString &group, const QString &dir,
                             const std::function<void(const Exception &)> &reportError)
{
    TQuery q;
    q.SetDatabaseName(databaseName);
    q.SetSQL(GridStatesEditorSql());
    setParam(q, QStringLiteral("AppNam"), AppName());
    setParam(q, QStringLiteral("GrdNam"), group);
    q.Open();
    QStringList files;
    for (; !q.Eof(); q.Next()) {
        const TGridState state = GridStateOfRecord(q);
        try {
            files << WriteGridStateFile(dir, state);
        } catch (const Exception &e) {
            // one state that cannot be written is told; the others go on
            UserInterface().MessageDlg(Format(QStringLiteral("Ошибка записи состояния \"%s\" в группе \"%s\""),
                                              {state.Title, state.Group}),
                                       QString(), TUserInterface::mtWarning, {TUserInterface::mbOK});
            if (reportError)
                reportError(e);
        }
    }
    return files;
}

TGridStateImport ImportGridStates(const QString &databaseName, const QString &dir,
                                  const std::function<void(int done, int total)> &progress,
                                  const std::function<void(const Exception &)> &reportError)
{
    TGridStateImport result;
    const QStringList files = GridStateFiles(dir);
    result.Files = int(files.size());
    TQuery q;
    q.SetDatabaseName(databaseName);
    q.SetSQL(GridStateImportSql());
    q.SetRequestLive(true);
    for (int i = 0; i < files.size(); ++i) {
        TGridState state;
        bool read = false;
        try {
            read = ReadGridStateFile(files[i], state);
        } catch (const Exception &e) {
            // a file that cannot be read is told by its name; the others go on
            if (reportError)
                reportError(e);
            result.Failed << files[i];
            if (progress)
                progress(i + 1, result.Files);
            continue;
        }
        if (!read) {
            ++result.Skipped;
        } else {
            q.Close();
            setParam(q, QStringLiteral("AppNam"), AppName());
            setParam(q, QStringLiteral("GrdNam"), state.Group);
            setParam(q, QStringLiteral("GrdCmt"), state.Title);
            q.Open();
            const bool found = !q.IsEmpty();
            if (found && state.Delete) {
                q.Delete();
                ++result.Deleted;
            } else if (found) {
                q.Edit();
                setSections(q, state);
                q.Post();
                ++result.Updated;
            } else if (!state.Delete) {
                q.Append();
                q.FieldByName(AppColumn)->SetAsString(AppName());
                q.FieldByName(GroupColumn)->SetAsString(state.Group);
                q.FieldByName(TitleColumn)->SetAsString(state.Title);
                setSections(q, state);
                try {
                    q.Post();
                    ++result.Inserted;
                } catch (const Exception &e) {
                    q.Cancel();
                    UserInterface().MessageDlg(
                        Format(QStringLiteral("Ошибка добавления состояния \"%s\" в группе \"%s\""),
                               {state.Title, state.Group}),
                        QString(), TUserInterface::mtWarning, {TUserInterface::mbOK});
                    if (reportError)
                        reportError(e);
                    result.Failed << files[i];
                }
            }
        }
        if (progress)
            progress(i + 1, result.Files);
    }
    return result;
}
