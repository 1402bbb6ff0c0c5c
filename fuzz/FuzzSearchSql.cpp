// The SQL the grids write from what people type and what table states and
// value files hold: search values, marks and the query builder's rows. Any
// bytes (UTF-8) as lines "s:FIELD=value" (a search value), "m:FIELD=text"
// (a mark) and "b:row" (a builder row) over the fields S (a string), N (a
// number) and D (a date). Besides crashes, the written SQL must stay one
// statement in every dialect, and the words it adds must be the grid's own
// (field names and the operators' keywords): a value that brings a word of
// its own into the SQL (OR, UNION, DROP ...) is an injection. Builder rows
// of raw SQL ("@value", "#condition") are the person's own SQL and stay out.

#include "data/SqlText.h"
#include "grid/QueryBuilderModel.h"
#include "grid/SearchSql.h"

#include <QSet>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString Base = QStringLiteral("SELECT * FROM T WHERE A = 1 ORDER BY A");

char kindOf(const QString &field)
{
    return field == u"S" ? 'S' : field == u"N" ? 'N' : field == u"D" ? 'D' : 'U';
}

QString isoDate(const QString &, TDateTime date)
{
    return DateTimeToQDate(date).toString(QStringLiteral("yyyy-MM-dd"));
}

// The words of `sql` beyond those of `base` are all in `allowed`.
void checkWords(const QString &sql, const QString &base, const QSet<QString> &allowed)
{
    for (TSqlDialect d : {TSqlDialect::Sqlite, TSqlDialect::Postgres}) {
        if (SecondStatementStart(sql, d) >= 0) {
            std::fprintf(stderr, "a second statement in:\n%s\n", qPrintable(sql));
            std::abort();
        }
        QStringList words = SqlWords(sql, d);
        for (const QString &w : SqlWords(base, d))
            words.removeOne(w);
        for (const QString &w : words)
            if (!allowed.contains(w)) {
                std::fprintf(stderr, "the word %s came in:\n%s\n", qPrintable(w), qPrintable(sql));
                std::abort();
            }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList search, marks, rows;
    for (const QString &line : text.split(u'\n')) {
        if (line.startsWith(u"s:"))
            search << line.mid(2);
        else if (line.startsWith(u"m:"))
            marks << line.mid(2);
        else if (line.startsWith(u"b:") && !line.contains(u'@') && !line.startsWith(u"b:#"))
            rows << line.mid(2);
    }
    static const QSet<QString> fields = {QStringLiteral("S"), QStringLiteral("N"), QStringLiteral("D")};

    const QString searched = BuildSearchSql(Base, search, nullptr, false, kindOf, isoDate, FormatSettings(),
                                            [](const QString &) { return QStringLiteral("CAST(%fld AS text)"); });
    checkWords(searched, Base, fields + QSet<QString>{QStringLiteral("LIKE"), QStringLiteral("AND"),
                                                      QStringLiteral("CAST"), QStringLiteral("AS"),
                                                      QStringLiteral("TEXT"), QStringLiteral("WHERE")});

    for (bool invert : {false, true})
        checkWords(MarkConditionLines(marks, invert, kindOf, isoDate).join(u'\n'), QString(),
                   fields + QSet<QString>{QStringLiteral("OR"), QStringLiteral("NOT")});

    const TBuilderFields builderFields({{QStringLiteral("S"), QStringLiteral("S"), 'S'},
                                        {QStringLiteral("N"), QStringLiteral("N"), 'N'},
                                        {QStringLiteral("D"), QStringLiteral("D"), 'D'}});
    checkWords(BuilderConditionLines(rows, builderFields, isoDate).join(u'\n'), QString(),
               fields + QSet<QString>{QStringLiteral("AND"), QStringLiteral("OR"), QStringLiteral("NOT"),
                                      QStringLiteral("LIKE"), QStringLiteral("IN"), QStringLiteral("IS"),
                                      QStringLiteral("NULL")});
    return 0;
}
