#include "CsvImport.h"

#include "common/Convert.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "data/Database.h"
#include "data/StatementWatch.h"
#include "data/TableInsert.h"

#include <QRegularExpression>

namespace {

// The digits of a whole number, maybe grouped in threes by blanks (the
// space, the no-break spaces, the apostrophe) or, in `groups`, by other
// characters: "1234", "1 234 567", "1,234" with "," among `groups`. Empty
// when the text is no such number.
QString wholeDigits(const QString &text, const QString &groups)
{
    static const QRegularExpression plain(QStringLiteral("^\\d*$"));
    if (plain.match(text).hasMatch())
        return text;
    const QRegularExpression grouped(QStringLiteral("^\\d{1,3}([ \\x{00A0}\\x{202F}'%1]\\d{3})+$")
                                         .arg(QRegularExpression::escape(groups)));
    if (!grouped.match(text).hasMatch())
        return QString();
    QString digits;
    for (QChar c : text)
        if (c.isDigit())
            digits += c;
    return digits;
}

// A number's text with "." as its decimal point and nothing grouping its
// digits, or an empty text when it is no number. The decimal separator is
// "." or ","; with both in the text the last one is, and the other groups
// the thousands before it; a separator standing more than once only
// groups ("1.234.567").
QString numberText(const QString &text)
{
    QString t = text;
    QString sign;
    if (t.startsWith(u'-') || t.startsWith(u'+')) {
        if (t[0] == u'-')
            sign = QStringLiteral("-");
        t.remove(0, 1);
    }
    static const QRegularExpression exponentAtEnd(QStringLiteral("[eE][+-]?\\d+$"));
    QString exponent;
    const QRegularExpressionMatch e = exponentAtEnd.match(t);
    if (e.hasMatch()) {
        exponent = e.captured();
        t.chop(exponent.size());
    }
    const qsizetype dots = t.count(u'.'), commas = t.count(u',');
    QChar point;
    if (dots > 0 && commas > 0)
        point = t.lastIndexOf(u'.') > t.lastIndexOf(u',') ? u'.' : u',';
    else if (dots == 1)
        point = u'.';
    else if (commas == 1)
        point = u',';
    QString whole = t, fraction;
    if (!point.isNull()) {
        const qsizetype at = t.lastIndexOf(point);
        whole = t.left(at);
        fraction = t.mid(at + 1);
    }
    static const QRegularExpression digits(QStringLiteral("^\\d*$"));
    if (!digits.match(fraction).hasMatch())
        return QString();
    whole = wholeDigits(whole, QStringLiteral(".,"));
    if (whole.isEmpty() && fraction.isEmpty())
        return QString();
    return sign + (whole.isEmpty() ? QStringLiteral("0") : whole)
           + (fraction.isEmpty() ? QString() : u'.' + fraction) + exponent;
}

// A date "dd.mm.yyyy" or "yyyy-mm-dd", a time of day after it when
// `withTime` ("hh:mm", "hh:mm:ss", with milliseconds after "." or ","; "T"
// or a blank between).
bool readDateTime(const QString &text, bool withTime, QDateTime &result)
{
    static const QRegularExpression ru(QStringLiteral(
        "^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})(?:[ T](\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d{1,6}))?)?)?$"));
    static const QRegularExpression iso(QStringLiteral(
        "^(\\d{4})-(\\d{1,2})-(\\d{1,2})(?:[ T](\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d{1,6}))?)?)?$"));
    int year = 0, month = 0, day = 0;
    QRegularExpressionMatch m = ru.match(text);
    if (m.hasMatch()) {
        day = m.captured(1).toInt();
        month = m.captured(2).toInt();
        year = m.captured(3).toInt();
    } else {
        m = iso.match(text);
        if (!m.hasMatch())
            return false;
        year = m.captured(1).toInt();
        month = m.captured(2).toInt();
        day = m.captured(3).toInt();
    }
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    QTime time(0, 0);
    if (m.hasCaptured(4)) {
        if (!withTime)
            return false;
        const int ms = m.hasCaptured(7) ? m.captured(7).left(3).leftJustified(3, u'0').toInt() : 0;
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), ms);
        if (!time.isValid())
            return false;
    }
    result = QDateTime(date, time);
    return true;
}

bool readTime(const QString &text, QTime &result)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d{1,6}))?)?$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    const int ms = m.hasCaptured(4) ? m.captured(4).left(3).leftJustified(3, u'0').toInt() : 0;
    result = QTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), ms);
    return result.isValid();
}

QString quoted(const QString &text)
{
    return QStringLiteral("«") + text + QStringLiteral("»");
}

} // namespace

bool ConvertCsvValue(const QString &text, const TColumnDesc &column, QVariant &value, QString &error)
{
    value = QVariant();
    error.clear();
    const QString t = text.trimmed();
    const bool empty = IsBlobType(column.Type) || column.Type == ftString || column.Type == ftUnknown
                           ? text.isEmpty()
                           : t.isEmpty();
    if (empty) {
        if (column.NotNull && !column.AutoInc) {
            error = QStringLiteral("пусто, а столбец %1 не может быть пустым").arg(column.Name);
            return false;
        }
        return true;
    }
    switch (column.Type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: {
        const bool negative = t.startsWith(u'-');
        const QString digits = wholeDigits(negative || t.startsWith(u'+') ? t.mid(1) : t, QString());
        bool ok = !digits.isEmpty();
        const qint64 v = ok ? (negative ? u'-' + digits : digits).toLongLong(&ok) : 0;
        if (!ok) {
            error = QStringLiteral("не целое число: ") + quoted(text);
            return false;
        }
        value = v;
        return true;
    }
    case ftFloat: case ftCurrency: case ftBCD: {
        const QString number = numberText(t);
        double v = 0;
        TFormatSettings dot = FormatSettings();
        dot.DecimalSeparator = u'.';
        if (number.isEmpty() || !TryStrToFloat(number, v, dot)) {
            error = QStringLiteral("не число: ") + quoted(text);
            return false;
        }
        // a column that keeps decimals exactly gets the digits themselves
        if (column.Type == ftBCD)
            value = number;
        else
            value = v;
        return true;
    }
    case ftDate: case ftDateTime: {
        QDateTime dt;
        if (!readDateTime(t, column.Type == ftDateTime, dt)) {
            error = (column.Type == ftDate ? QStringLiteral("не дата (дд.мм.гггг или гггг-мм-дд): ")
                                           : QStringLiteral("не дата и время (дд.мм.гггг чч:мм:сс): "))
                    + quoted(text);
            return false;
        }
        if (column.Type == ftDate)
            value = dt.date();
        else
            value = dt;
        return true;
    }
    case ftTime: {
        QTime time;
        if (!readTime(t, time)) {
            error = QStringLiteral("не время (чч:мм:сс): ") + quoted(text);
            return false;
        }
        value = time;
        return true;
    }
    case ftBoolean: {
        static const QStringList yes = {QStringLiteral("да"), QStringLiteral("true"), QStringLiteral("1"),
                                        QStringLiteral("t"), QStringLiteral("yes"), QStringLiteral("y"),
                                        QStringLiteral("истина")};
        static const QStringList no = {QStringLiteral("нет"), QStringLiteral("false"), QStringLiteral("0"),
                                       QStringLiteral("f"), QStringLiteral("no"), QStringLiteral("n"),
                                       QStringLiteral("ложь")};
        const QString lower = t.toLower();
        if (yes.contains(lower)) {
            value = true;
            return true;
        }
        if (no.contains(lower)) {
            value = false;
            return true;
        }
        error = QStringLiteral("не логическое значение (Да или Нет): ") + quoted(text);
        return false;
    }
    case ftString:
        if (column.Size > 0 && text.size() > column.Size) {
            error = QStringLiteral("текст длиннее %1 символов: ").arg(column.Size) + quoted(text.left(40));
            return false;
        }
        value = text;
        return true;
    default:
        value = text;
        return true;
    }
}

// ---------------------------------------------------------------- the import

TCsvImport::TCsvImport(TDatabase &db, const QString &table)
    : m_db(db), m_table(table), m_columns(db.TableColumns(table))
{
    if (m_columns.isEmpty())
        throw Exception(QStringLiteral("Таблица не найдена: %1").arg(table));
}

bool TCsvImport::Loadable(const TColumnDesc &column)
{
    return column.Type != ftBlob && column.Type != ftGraphic && column.Type != ftBytes
           && column.Type != ftVarBytes;
}

QList<QStringList> TCsvImport::Preview(int count) const
{
    QList<QStringList> rows;
    TCsvReader reader(m_text, Separator);
    QStringList fields;
    bool title = Header;
    while (rows.size() < count && reader.Next(fields)) {
        if (fields.size() == 1 && fields[0].isEmpty())
            continue;
        if (std::exchange(title, false))
            continue;
        rows.append(fields);
    }
    return rows;
}

QStringList TCsvImport::Titles() const
{
    TCsvReader reader(m_text, Separator);
    QStringList fields;
    while (reader.Next(fields))
        if (fields.size() > 1 || !fields[0].isEmpty())
            break;
    if (Header)
        return fields;
    QStringList numbers;
    for (qsizetype i = 0; i < fields.size(); ++i)
        numbers.append(QString::number(i + 1));
    return numbers;
}

QList<int> TCsvImport::MatchTitles(const QMap<QString, QString> &labels) const
{
    const QStringList titles = Titles();
    QList<int> targets;
    QList<bool> taken(m_columns.size(), false);
    for (qsizetype i = 0; i < titles.size(); ++i) {
        int found = -1;
        if (Header) {
            const QString title = titles[i].trimmed();
            for (int pass = 0; pass < 2 && found < 0; ++pass)
                for (int c = 0; c < m_columns.size() && found < 0; ++c) {
                    const QString &name = m_columns[c].Name;
                    const QString against = pass == 0 ? name : labels.value(name.toLower());
                    if (!taken[c] && Loadable(m_columns[c]) && !against.isEmpty()
                        && against.compare(title, Qt::CaseInsensitive) == 0)
                        found = c;
                }
        } else if (i < m_columns.size() && Loadable(m_columns[i])) {
            found = int(i);
        }
        if (found >= 0)
            taken[found] = true;
        targets.append(found);
    }
    return targets;
}

void TCsvImport::checkTargets() const
{
    bool any = false;
    QList<bool> taken(m_columns.size(), false);
    for (int target : Targets) {
        if (target < 0 || target >= m_columns.size())
            continue;
        if (taken[target])
            throw Exception(QStringLiteral("Столбец таблицы %1 выбран для двух столбцов файла")
                                .arg(m_columns[target].Name));
        if (!Loadable(m_columns[target]))
            throw Exception(QStringLiteral("В столбец %1 нельзя загрузить текст").arg(m_columns[target].Name));
        taken[target] = any = true;
    }
    if (!any)
        throw Exception(QStringLiteral("Не выбран ни один столбец таблицы для загрузки"));
}

void TCsvImport::walk(const std::function<void(const QVariantList &)> &row,
                      const std::function<void(const QString &)> &fault, const TExportProgress &progress) const
{
    checkTargets();
    const QStringList titles = Titles();
    QList<int> used;   // the file's columns that are loaded, in order
    for (int i = 0; i < Targets.size(); ++i)
        if (Targets[i] >= 0 && Targets[i] < m_columns.size())
            used.append(i);
    auto columnName = [&](int i) {
        QString name = QStringLiteral("столбец %1").arg(i + 1);
        if (Header && i < titles.size() && !titles[i].trimmed().isEmpty())
            name += QStringLiteral(" (%1)").arg(titles[i].trimmed());
        return name;
    };

    TCsvReader reader(m_text, Separator);
    QStringList fields;
    QVariantList values(used.size());
    bool title = Header;
    qint64 records = 0;
    while (reader.Next(fields)) {
        if (fields.size() == 1 && fields[0].isEmpty() && !reader.Broken())
            continue;   // an empty line
        if (std::exchange(title, false))
            continue;
        const int line = reader.Line();
        if (progress && ++records % 1000 == 0)
            progress(records);
        if (reader.Broken()) {
            fault(QStringLiteral("строка %1: кавычка не закрыта до конца файла").arg(line));
            continue;
        }
        if (fields.size() != titles.size()) {
            fault(QStringLiteral("строка %1: полей %2, а в первой строке %3").arg(line).arg(fields.size())
                      .arg(titles.size()));
            continue;
        }
        bool ok = true;
        for (qsizetype k = 0; k < used.size(); ++k) {
            const int i = used[k];
            QString error;
            if (!ConvertCsvValue(fields[i], m_columns[Targets[i]], values[k], error)) {
                fault(QStringLiteral("строка %1, %2: %3").arg(line).arg(columnName(i), error));
                ok = false;
            }
        }
        if (ok)
            row(values);
    }
}

TCsvImport::TCheck TCsvImport::Check(int limit, const TExportProgress &progress) const
{
    TCheck check;
    walk([&](const QVariantList &) { ++check.Rows; },
         [&](const QString &error) {
             if (check.ErrorCount++ < limit)
                 check.Errors.append(error);
         },
         progress);
    return check;
}

qint64 TCsvImport::Load(const TExportProgress &progress)
{
    const TCheck check = Check();
    if (check.ErrorCount > 0)
        throw Exception(QStringLiteral("Ошибок в файле: %1\n").arg(check.ErrorCount) + check.Errors.join(u'\n'));
    QList<TColumnDesc> columns;
    for (int target : Targets)
        if (target >= 0 && target < m_columns.size())
            columns.append(m_columns[target]);
    qint64 count = 0;
    RunAtomically(m_db, [&] {
        TTableInsert insert(m_db, m_table, columns);
        walk(
            [&](const QVariantList &values) {
                RunWatched([&] { insert.Insert(values); });
                ++count;
            },
            [](const QString &error) { throw Exception(error); }, progress);
    });
    return count;
}
