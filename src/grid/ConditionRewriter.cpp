#include "ConditionRewriter.h"

#include "data/SqlText.h"

#include <QList>

namespace {

const QString LineBreak = QStringLiteral("\r\n");
const QString RewriteMark = QStringLiteral("/*RW*/");

QString beginComment(const QString &name)
{
    return QStringLiteral("\r\n/*Begin for %1*/\r\n").arg(name);
}

QString endComment(const QString &name)
{
    return QStringLiteral("\r\n/*End for %1*/\r\n").arg(name);
}

// The mark is looked for as it is written; keywords count only at the
// statement's top level, outside parentheses (a window's "OVER (ORDER BY
// ...)", a subquery), literals and comments.
qsizetype findMark(const QString &text)
{
    return text.indexOf(RewriteMark, 0, Qt::CaseInsensitive);
}

qsizetype findKeyword(const QString &text, const QStringList &words, qsizetype from = 0)
{
    return FindSqlKeyword(text, words, from);
}

// Where a new condition goes when the statement has no WHERE (HAVING) of
// its own: before the clauses that follow it, at the statement's level.
qsizetype clauseAfterCondition(const QString &text, qsizetype from)
{
    qsizetype at = -1;
    for (const QStringList &words : {QStringList{QStringLiteral("WINDOW")}, QStringList{QStringLiteral("ORDER"), QStringLiteral("BY")},
                                     QStringList{QStringLiteral("LIMIT")}, QStringList{QStringLiteral("OFFSET")},
                                     QStringList{QStringLiteral("FETCH")}, QStringList{QStringLiteral("FOR")}}) {
        const qsizetype p = findKeyword(text, words, from);
        if (p >= 0 && (at < 0 || p < at))
            at = p;
    }
    return at;
}

struct TStatement {
    QString text;
    qsizetype mark = -1;       // position of "/*RW*/"
    QString keyword;           // "WHERE" or "HAVING"

    explicit TStatement(QString t) : text(std::move(t)) { analyse(); }

    void analyse()
    {
        mark = findMark(text);
        keyword = findKeyword(text, {QStringLiteral("GROUP"), QStringLiteral("BY")}) >= 0 && mark < 0
                      ? QStringLiteral("HAVING")
                      : QStringLiteral("WHERE");
    }
};

// Cuts the block that starts at `begin` out of the text. False when its end
// comment is missing: the text is then left as it is.
bool removeBlock(TStatement &st, qsizetype begin, const QString &name)
{
    const QString end = endComment(name);
    const qsizetype endPos = st.text.indexOf(end, begin + beginComment(name).size());
    if (endPos < 0)
        return false;
    const qsizetype blockEnd = endPos + end.size();
    const QString And = QStringLiteral("AND ");
    qsizetype cutFrom = begin, cutTo = blockEnd;
    if (QStringView(st.text).mid(blockEnd, 4) == And) {
        cutTo = blockEnd + 4;              // the first of several conditions
    } else if (begin >= 4 && QStringView(st.text).mid(begin - 4, 4) == And) {
        cutFrom = begin - 4;               // the last of several conditions
    } else {
        // The block stood alone after the keyword that its insertion added:
        // the keyword goes with it, and one of two line breaks before it.
        for (const QString &kw : {st.keyword, QStringLiteral("WHERE"), QStringLiteral("HAVING")}) {
            const qsizetype kwPos = begin - kw.size();
            if (kwPos >= 0 && QStringView(st.text).mid(kwPos, kw.size()).compare(kw, Qt::CaseInsensitive) == 0) {
                cutFrom = kwPos;
                if (kwPos >= 4 && QStringView(st.text).mid(kwPos - 4, 4) == QStringLiteral("\r\n\r\n"))
                    cutFrom = kwPos - 2;
                break;
            }
        }
    }
    st.text.remove(cutFrom, cutTo - cutFrom);
    st.analyse();
    return true;
}

// Line break (unless the text so far ends with one), keyword, the block.
void appendCondition(QString &out, const QString &keyword, const QString &block)
{
    if (!out.endsWith(LineBreak))
        out += LineBreak;
    out += keyword;
    out += block;
}

} // namespace

QString ExpandConditionTemplate(const QString &templ, const QString &value,
                                const QString &blockName, const QString &prefix,
                                const QString &suffix, bool byParams, const QString &column)
{
    const QString v = byParams ? QStringLiteral(":_") + blockName : value;
    // in a literal a quote stands for itself doubled: "O'Brien" is 'O''Brien'
    auto literal = [](QString text) { return u'\'' + text.replace(u'\'', QStringLiteral("''")) + u'\''; };
    const QString quoted = byParams ? v : literal(v);
    const QString search = byParams ? v : literal(prefix + v + suffix);
    const QString &name = column.isEmpty() ? blockName : column;
    const std::pair<QString, const QString *> placeholders[] = {
        {QStringLiteral("%FLD"), &name}, {QStringLiteral("%F"), &v},
        {QStringLiteral("%D"), &quoted},      {QStringLiteral("%NOTE"), &v},
        {QStringLiteral("%S"), &search},
    };
    // The text as pieces: template text still to be searched, and text that
    // a replacement inserted, which is never searched again.
    struct Piece {
        QString text;
        bool fromTemplate;
    };
    QList<Piece> pieces{{templ, true}};
    for (const auto &[pattern, replacement] : placeholders) {
        QList<Piece> next;
        for (const Piece &p : pieces) {
            if (!p.fromTemplate) {
                next.append(p);
                continue;
            }
            qsizetype from = 0;
            for (qsizetype at; (at = p.text.indexOf(pattern, from, Qt::CaseInsensitive)) >= 0;
                 from = at + pattern.size()) {
                if (at > from)
                    next.append({p.text.mid(from, at - from), true});
                next.append({*replacement, false});
            }
            if (from < p.text.size())
                next.append({p.text.mid(from), true});
        }
        pieces = std::move(next);
    }
    QString out;
    for (const Piece &p : pieces)
        out += p.text;
    return out;
}

QString RewriteCondition(const QString &sql, const QString &templ, const QString &value,
                         const QString &blockName, const QString &prefix, const QString &suffix,
                         bool byParams, const QString &column)
{
    const QString begin = beginComment(blockName);

    // A UNION statement without the mark is rewritten in its first SELECT.
    QString head = sql, tail;
    const qsizetype unionPos = findKeyword(sql, {QStringLiteral("UNION")});
    if (unionPos >= 0 && findMark(sql) < 0) {
        head = sql.left(unionPos);
        tail = sql.mid(unionPos);
    }
    TStatement st(head);

    bool removed = false;
    const qsizetype beginPos = st.text.indexOf(begin);
    if (beginPos >= 0) {
        if (!removeBlock(st, beginPos, blockName))
            return QString();
        removed = true;
    }

    QString result;
    if (value.isEmpty()) {
        if (!removed)
            return QString();
        result = st.text;
    } else {
        const QString block = begin
                              + ExpandConditionTemplate(templ, value, blockName, prefix, suffix, byParams, column)
                              + endComment(blockName);
        const qsizetype from = st.mark >= 0 ? st.mark : 0;
        const qsizetype kwPos = findKeyword(st.text, {st.keyword}, from);
        const qsizetype orderPos = clauseAfterCondition(st.text, from);
        if (kwPos >= 0) {
            // the new condition first, the existing ones joined to it
            result = st.text.left(kwPos);
            appendCondition(result, st.keyword, block);
            result += QStringLiteral("AND ");
            result += QStringView(st.text).mid(kwPos + st.keyword.size());
        } else if (st.mark >= 0) {
            // a mark without a WHERE after it: nothing is inserted
            if (!removed)
                return QString();
            result = st.text;
        } else if (orderPos >= 0) {
            result = st.text.left(orderPos);
            appendCondition(result, st.keyword, block);
            result += QStringView(st.text).mid(orderPos);
        } else {
            result = st.text;
            appendCondition(result, st.keyword, block);
        }
    }
    if (!result.isEmpty())
        result += tail;
    return result;
}
