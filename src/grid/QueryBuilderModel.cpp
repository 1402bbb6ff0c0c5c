#include "QueryBuilderModel.h"

#include "common/Convert.h"
#include "common/Strings.h"
#include "data/SqlText.h"

const QString BuilderSeparator = QStringLiteral("-- ИЛИ --");
const QString SortAscending = QStringLiteral("по возрастанию");
const QString SortDescending = QStringLiteral("по убыванию");

const QList<TBuilderOperator> &BuilderOperators()
{
    static const QList<TBuilderOperator> operators = {
        {QStringLiteral(" = "), QStringLiteral(" = "), TBuilderOperator::OneValue},
        {QStringLiteral(" > "), QStringLiteral(" > "), TBuilderOperator::OneValue},
        {QStringLiteral(" >= "), QStringLiteral(" >= "), TBuilderOperator::OneValue},
        {QStringLiteral(" < "), QStringLiteral(" < "), TBuilderOperator::OneValue},
        {QStringLiteral(" <= "), QStringLiteral(" <= "), TBuilderOperator::OneValue},
        {QStringLiteral(" <> "), QStringLiteral(" <> "), TBuilderOperator::OneValue},
        {QStringLiteral(" не похоже на "), QStringLiteral(" NOT LIKE "), TBuilderOperator::OneValue},
        {QStringLiteral(" похоже на "), QStringLiteral(" LIKE "), TBuilderOperator::OneValue},
        {QStringLiteral(" не в списке "), QStringLiteral(" NOT IN "), TBuilderOperator::ValueList},
        {QStringLiteral(" в списке "), QStringLiteral(" IN "), TBuilderOperator::ValueList},
        {QStringLiteral(" не пустое "), QStringLiteral(" IS NOT NULL "), TBuilderOperator::NoValue},
        {QStringLiteral(" пустое "), QStringLiteral(" IS NULL "), TBuilderOperator::NoValue},
    };
    return operators;
}

int FindBuilderOperator(const QString &row)
{
    const QList<TBuilderOperator> &ops = BuilderOperators();
    for (int i = 0; i < ops.size(); ++i)
        if (row.contains(ops[i].display))
            return i;
    return -1;
}

bool IsBuilderSeparator(const QString &row)
{
    return row.startsWith(u'-');
}

QString TBuilderFields::LabelOf(const QString &displayLabel)
{
    QString out;
    out.reserve(displayLabel.size());
    for (qsizetype i = 0; i < displayLabel.size(); ++i) {
        const QChar c = displayLabel[i];
        if (c == u'-' && i + 1 < displayLabel.size() && displayLabel[i + 1] == u'|')
            continue;
        out += (c == u' ' || c == u'|') ? QChar(u'_') : c;
    }
    return out;
}

QStringList TBuilderFields::labels() const
{
    QStringList out;
    for (const TBuilderField &f : m_fields)
        out << LabelOf(f.displayLabel);
    return out;
}

QString TBuilderFields::FieldNameOfLabel(const QString &label) const
{
    for (const TBuilderField &f : m_fields)
        if (LabelOf(f.displayLabel) == label)
            return f.name;
    return QString();
}

QString TBuilderFields::LabelOfFieldName(const QString &name) const
{
    for (const TBuilderField &f : m_fields)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0)
            return LabelOf(f.displayLabel);
    return QString();
}

char TBuilderFields::KindOfLabel(const QString &label) const
{
    for (const TBuilderField &f : m_fields)
        if (LabelOf(f.displayLabel) == label)
            return f.kind;
    return 'U';
}

namespace {

// A quoted date literal ("'01.02.2024'") is a date when the text between
// its first and last characters converts; with `dateText` it is rewritten
// in the database's spelling.
bool checkDateLiteral(QString &value, const QString &field, const TSearchDateText &dateText,
                      const TFormatSettings &fs)
{
    TDateTime d;
    if (value.size() < 2 || !TryStrToDate(value.mid(1, value.size() - 2), d, fs))
        return false;
    if (dateText)
        value = u'\'' + dateText(field, d) + u'\'';
    return true;
}

// Every item of a list value "('a','b')" is a date literal.
bool checkDateList(QString &value, const QString &field, const TSearchDateText &dateText,
                   const TFormatSettings &fs)
{
    if (!value.startsWith(u'(') || !value.endsWith(u')'))
        return false;
    QStringList items = value.mid(1, value.size() - 2).split(u',');
    for (QString &item : items) {
        item = item.trimmed();
        if (!checkDateLiteral(item, field, dateText, fs))
            return false;
    }
    if (dateText)
        value = u'(' + items.join(u',') + u')';
    return true;
}

// A list value "(1, -2.5)" whose every item is a number, written as SQL
// numbers.
bool checkNumberList(QString &value, const TFormatSettings &fs)
{
    if (!value.startsWith(u'(') || !value.endsWith(u')'))
        return false;
    QStringList items = value.mid(1, value.size() - 2).split(u',');
    for (QString &item : items) {
        item = SqlNumberLiteral(item.trimmed(), fs);
        if (item.isEmpty())
            return false;
    }
    value = u'(' + items.join(u',') + u')';
    return true;
}

} // namespace

QStringList BuilderConditionLines(QStringList &rows, const TBuilderFields &fields,
                                  const TSearchDateText &dateText, const TFormatSettings &fs,
                                  const TSearchColumnName &columnName, const QString &likeEscape)
{
    auto column = [&](const QString &name) { return columnName ? columnName(name) : name; };
    QStringList lines;
    if (!rows.isEmpty() && rows.first().startsWith(u'#')) {
        lines << rows.first().mid(1);
        lines << rows.mid(1);
        return lines;
    }
    if (!rows.isEmpty() && IsBuilderSeparator(rows.last()))
        rows.removeLast();
    bool groupStart = true;
    for (qsizetype i = 0; i < rows.size();) {
        const QString row = rows[i];
        if (IsBuilderSeparator(row)) {
            // Closes the group before it. A separator with nothing before it
            // to close has nothing to do.
            if (!lines.isEmpty()) {
                lines.last().chop(4);
                lines.last() += QStringLiteral(") OR");
            }
            groupStart = true;
            ++i;
            continue;
        }
        const int opIndex = FindBuilderOperator(row);
        const TBuilderOperator *op = opIndex >= 0 ? &BuilderOperators()[opIndex] : nullptr;
        const qsizetype opPos = op ? row.indexOf(op->display) : -1;
        const QString label = op ? row.left(opPos) : QString();
        QString value = op ? row.mid(opPos + op->display.size()) : QString();
        const QString fieldName = fields.FieldNameOfLabel(label);
        bool usable = op && !fieldName.isEmpty()
                      && (!value.isEmpty() || op->operand == TBuilderOperator::NoValue);
        const char kind = fields.KindOfLabel(label);
        const bool literal = usable && !value.startsWith(u'@') && op->operand != TBuilderOperator::NoValue;
        if (usable && fields.IsLabel(value)) {
            value = column(fields.FieldNameOfLabel(value));   // compares two fields
        } else if (literal && kind == 'D') {
            usable = op->operand == TBuilderOperator::ValueList
                         ? checkDateList(value, fieldName, dateText, fs)
                         : checkDateLiteral(value, fieldName, dateText, fs);
        } else if (literal && kind == 'N') {
            // a number, or a list of numbers, and nothing else (rows also
            // come from table states and value files)
            usable = op->operand == TBuilderOperator::ValueList ? checkNumberList(value, fs)
                                                                 : !(value = SqlNumberLiteral(value, fs)).isEmpty();
        } else if (literal && kind == 'S') {
            usable = IsSqlStringLiteral(value, op->operand == TBuilderOperator::ValueList);
        }
        if (!usable) {
            rows.removeAt(i);
            continue;
        }
        if (value.startsWith(u'@'))
            value.remove(0, 1);
        QString line = groupStart ? QStringLiteral("((") : QStringLiteral("(");
        groupStart = false;
        line += column(fieldName) + op->sql + value;
        if (op->sql.contains(QStringLiteral("LIKE")))
            line += likeEscape;
        line += u')';
        line += i + 1 == rows.size() ? QStringLiteral(")") : QStringLiteral(" AND");
        lines << line;
        ++i;
    }
    if (lines.isEmpty())
        return lines;
    if (lines.last().endsWith(QStringLiteral(" AND")) || lines.last().endsWith(QStringLiteral(") OR"))) {
        lines.last().chop(4);
        lines.last() += u')';
    }
    lines.prepend(QStringLiteral("("));
    lines.append(QStringLiteral(")"));
    return lines;
}

QString StatementOrderList(const QString &sql)
{
    qsizetype end = 0;
    if (FindSqlKeyword(sql, {QStringLiteral("ORDER"), QStringLiteral("BY")}, 0, &end) < 0)
        return QString();
    return TrimCtl(sql.mid(end));
}

QStringList SortRowsFromSql(const QString &sql, const TBuilderFields &fields)
{
    QString order = StatementOrderList(sql);
    order.replace(u'\r', u' ').replace(u'\n', u' ');
    if (order.contains(u'('))
        return {};
    QStringList rows;
    for (const QString &item : order.split(u',')) {
        const QString trimmed = item.trimmed();
        const qsizetype blank = trimmed.indexOf(u' ');
        const QString name = blank < 0 ? trimmed : trimmed.left(blank);
        const QString rest = blank < 0 ? QString() : trimmed.mid(blank).trimmed().toUpper();
        const QString label = fields.LabelOfFieldName(name);
        if (label.isEmpty())
            continue;
        rows << label + QStringLiteral(", ") + (rest == u"DESC" ? SortDescending : SortAscending);
    }
    return rows;
}

QString OrderTextFromSortRows(const QStringList &rows, const TBuilderFields &fields)
{
    QStringList items;
    for (const QString &row : rows) {
        const qsizetype comma = row.indexOf(u',');
        const QString label = comma < 0 ? row : row.left(comma);
        const QString name = fields.FieldNameOfLabel(label);
        if (name.isEmpty())
            continue;
        items << (row.mid(comma + 1).trimmed() == SortDescending ? name + QStringLiteral(" DESC") : name);
    }
    return items.join(QStringLiteral(", "));
}

QString ApplyBuilderOrder(const QString &sql, const QString &orderText, TBuilderOrderState &state)
{
    static const QString OrderBy = QStringLiteral("ORDER BY");
    // the statement's own ORDER BY, not a window's or a subquery's
    qsizetype end = 0;
    const qsizetype at = FindSqlKeyword(sql, {QStringLiteral("ORDER"), QStringLiteral("BY")}, 0, &end);
    QString out = sql;
    if (!orderText.isEmpty()) {
        // Only the statement's own list is worth keeping: once the builder's
        // order is in force, the list in the text is the builder's. It is
        // kept as written: a quoted mixed-case name ("Name" on PostgreSQL)
        // is another column in upper case.
        if (state.SavedOrder.isEmpty() && !state.OrderOverridden) {
            const QString own = at >= 0 ? TrimCtl(sql.mid(end)) : QString();
            if (!own.isEmpty())
                state.SavedOrder = QStringList{own};
        }
        const QString list = orderText.startsWith(u' ') ? orderText : u' ' + orderText;
        if (at >= 0)
            out = sql.left(at) + OrderBy + list;
        else
            out = sql + QStringLiteral("\r\n") + OrderBy + list;
        state.OrderOverridden = true;
        return out;
    }
    if (state.OrderOverridden && at >= 0) {
        out = sql.left(at);
        if (!state.SavedOrder.isEmpty())
            out += OrderBy + u' ' + state.SavedOrder.join(QStringLiteral("\r\n"));
    }
    state.SavedOrder.clear();
    state.OrderOverridden = false;
    return out;
}
