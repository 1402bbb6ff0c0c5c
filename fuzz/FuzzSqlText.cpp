// The statement splitter and the SQL text readers: any bytes as an SQL
// text (UTF-8), read in every dialect. Besides crashes, the readers must
// agree with one another: the statements found are in order and apart, a
// second statement is where the split says, and a parameter mark lies
// outside every literal the splitter skips.

#include "data/SqlText.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (TSqlDialect d : {TSqlDialect::Common, TSqlDialect::Sqlite, TSqlDialect::Postgres}) {
        const QStringList statements = SplitSqlScript(sql, d);
        const int second = SecondStatementStart(sql, d);
        if ((statements.size() > 1) != (second >= 0))
            std::abort();
        // the second statement starts at a token, inside the text (a
        // vertical tab is no blank to PostgreSQL)
        if (second >= int(sql.size())
            || (second >= 0 && QStringView(u" \t\n\r\f").contains(sql[second])))
            std::abort();
        for (const QString &s : statements)
            if (s.isEmpty() || SplitSqlScript(s, d).size() != 1)
                std::abort();
        (void)SqlWords(sql, d);
    }
    for (const TSqlParamMark &m : FindSqlParams(sql))
        if (m.Start < 0 || m.Start + m.Length > sql.size() || sql[m.Start] != u':')
            std::abort();
    (void)FirstSqlKeyword(sql);
    (void)TransactionWord(sql);
    (void)ParseSingleTableSelect(sql);
    return 0;
}
