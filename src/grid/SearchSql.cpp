#include "SearchSql.h"

#include "ConditionRewriter.h"

#include "data/Query.h"

bool SearchByParams = false;

char SearchKindOfType(TFieldType type)
{
    switch (type) {
    case ftString:
        return 'S';
    case ftSmallint: case ftInteger: case ftWord: case ftBoolean: case ftFloat: case ftCurrency:
    case ftBCD:
        return 'N';
    case ftDate: case ftTime: case ftDateTime:
        return 'D';
    default:
        return 'U';
    }
}

TField *SearchField(const TDataSet *dataSet, const QString &fieldName)
{
    if (!dataSet)
        return nullptr;
    const qsizetype dot = fieldName.indexOf(u'.');
    const QString name = dot < 0 ? fieldName : fieldName.mid(dot + 1);
    // exactly: FindField would also take a name in another letter case
    for (int i = 0; i < dataSet->FieldCount(); ++i)
        if (dataSet->Fields(i)->FieldName() == name)
            return dataSet->Fields(i);
    return nullptr;
}

char SearchKind(const TDataSet *dataSet, const QString &fieldName)
{
    const TField *field = SearchField(dataSet, fieldName);
    if (!field || field->FieldKind() != fkData)
        return 'U';
    return SearchKindOfType(field->DataType());
}

TSearchKindOf SearchKindsOf(const TDataSet *dataSet)
{
    return [dataSet](const QString &fieldName) { return SearchKind(dataSet, fieldName); };
}

TSearchDateText SearchDateTextOf(TQuery &query)
{
    // The database is asked only when a date is written, so that a query
    // whose conditions hold no date never needs it.
    return [&query](const QString &fieldName, TDateTime date) {
        const TEngine &engine = query.Database()->Engine();
        const TField *field = SearchField(&query, fieldName);
        const QDate day = DateTimeToQDate(date);
        const QString literal = field && field->DataType() == ftDateTime
                                    ? engine.Literal(QDateTime(day, QTime(0, 0)), ftDateTime)
                                    : engine.Literal(day, ftDate);
        // the engine's literal is quoted; the condition templates quote
        return literal.mid(1, literal.size() - 2);
    };
}

TSearchLikeOperand SearchLikeOperandOf(TQuery &query)
{
    return [&query](const QString &fieldName) {
        const TField *field = SearchField(&query, fieldName);
        const QString placeholder = QStringLiteral("%fld");
        const QString operand = query.Database()->Engine().LikeOperand(
            placeholder, field ? field->DataType() : ftString, field ? field->DeclaredType() : QString());
        return operand == placeholder ? QString() : operand;
    };
}

TSearchColumnName SearchColumnNameOf(TQuery &query)
{
    return [&query](const QString &fieldName) {
        const qsizetype dot = fieldName.indexOf(u'.');
        const QString name = dot < 0 ? fieldName : fieldName.mid(dot + 1);
        // an expression's text ("a+b", "count(*)") is written as it is
        for (QChar c : name)
            if (!c.isLetterOrNumber() && c != u'_' && c != u'$' && c != u' ')
                return name;
        return query.Database()->Engine().QuoteName(name);
    };
}

namespace {

// The characters a value of the kind can hold in SQL: those that can be
// typed into such a column. A quote stays: the literal doubles it.
QString literalSafe(const QString &value, char kind, const TFormatSettings &fs)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c < u' ')
            continue;
        const bool common = c == u'%' || c == u'_' || (c >= u'0' && c <= u'9');
        if (kind == 'S' || common
            || (kind == 'N' && (c == u'-' || c == fs.DecimalSeparator || c == fs.ThousandSeparator))
            || (kind == 'D' && c == fs.DateSeparator))
            out += c;
    }
    return out;
}

} // namespace

QString BuildSearchSql(const QString &sql, const QStringList &searchValues, TParams *params,
                       bool isLiveQuery, const TSearchKindOf &kindOf,
                       const TSearchDateText &dateText, const TFormatSettings &fs,
                       const TSearchLikeOperand &likeOperand, const TSearchColumnName &columnName,
                       const QString &likeEscape)
{
    const QString Like = QStringLiteral("%fld like %s") + likeEscape;
    QString result = sql;
    for (const QString &line : searchValues) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;
        const QString field = line.left(eq);
        const char kind = kindOf(field);
        if (kind != 'S' && kind != 'N' && kind != 'D')
            continue;
        QString value = line.mid(eq + 1);
        if (value == u"^")
            value.clear();
        value = literalSafe(value, kind, fs);

        const bool pattern = value.contains(u'_') || value.contains(u'%');
        QString templ = Like;
        QString suffix;
        TFieldType paramType = ftString;
        TDateTime date = 0;
        // a string is a prefix; a pattern, and a date that is none, are
        // matched as they stand
        if (kind == 'S') {
            suffix = QStringLiteral("%");
        } else if (kind == 'N' && !pattern && !SqlNumberLiteral(value, fs).isEmpty()) {
            // only a number goes in bare; anything else ("5-3", "1--1") is
            // matched as a text pattern in quotes, and finds nothing
            templ = QStringLiteral("%fld = %f");
            paramType = ftFloat;
            value = SqlNumberLiteral(value, fs);
        } else if (kind == 'D' && !pattern && !isLiveQuery && NormalizeSearchDate(value, date, fs)) {
            templ = QStringLiteral("%fld = %d");
            paramType = ftDateTime;
            if (dateText && !value.isEmpty())
                value = dateText(field, date);
        }
        if (templ == Like && likeOperand) {
            const QString operand = likeOperand(field);
            if (!operand.isEmpty())
                templ = operand + QStringLiteral(" like %s") + likeEscape;
        }

        const QString rewritten = RewriteCondition(result, templ, value, field, QString(), suffix,
                                                   SearchByParams, columnName ? columnName(field) : QString());
        if (!rewritten.isEmpty())
            result = rewritten;

        if (SearchByParams && params) {
            const QString name = u'_' + field;
            TParam *p = params->FindParam(name);
            if (!p)
                p = &params->CreateParam(paramType, name, ptInput);
            p->SetDataType(paramType);
            if (value.isEmpty())
                p->Clear();
            else
                p->SetValue(value + suffix);
        }
    }
    return result;
}

QString BuildSearchSql(TQuery &query, const QStringList &searchValues, TParams *params)
{
    return BuildSearchSql(query.SQLText(), searchValues, params, false, SearchKindsOf(&query),
                          SearchDateTextOf(query), FormatSettings(), SearchLikeOperandOf(query),
                          SearchColumnNameOf(query), query.Database()->Engine().LikeEscape());
}

TControlsDisabled::TControlsDisabled(TDataSet &dataSet) : m_dataSet(dataSet)
{
    m_dataSet.DisableControls();
}

TControlsDisabled::~TControlsDisabled()
{
    m_dataSet.EnableControls();
}

void ReplaceQuerySql(TQuery &query, const QString &text, bool onlyIfOpen, const TParams *params,
                     bool reopen)
{
    if (text.isEmpty() || (onlyIfOpen && !query.Active()))
        return;
    // an edit is written before the rows go; if it cannot be, nothing changes
    if (query.Active())
        query.CheckBrowseMode();
    TControlsDisabled quiet(query);
    const TParams own = params ? TParams() : query.Params();
    const TParams &values = params ? *params : own;
    if (query.SQLText() != text || reopen) {
        query.SetSQLText(text);
        query.Close();
        query.Params().AssignValues(values);
    }
    if (reopen)
        query.Open();
}
