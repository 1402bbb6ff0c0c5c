#pragma once

#include <QString>

// Inserts, replaces or removes a named block of condition text in a SELECT
// statement. A block is
//     "\r\n/*Begin for NAME*/\r\n" condition "\r\n/*End for NAME*/\r\n"
// placed right after the statement's WHERE (or HAVING when the statement
// groups and carries no "/*RW*/" mark), joined to the conditions already
// there by "AND ". Several blocks with different names live side by side;
// each can be replaced or removed without touching the others.
//
// `templ` is expanded with the placeholders (found case-insensitively, in
// this order, never inside text already substituted):
//   %FLD   `column` (the column as the engine names it; the block name
//          when empty)             %F     the value as it is
//   %D     the value in quotes     %NOTE  the value as it is
//   %S     a quote, prefix, value, suffix, a quote
// A quote inside a quoted value is doubled.
// With `byParams` the value is the parameter ":_" + block name and %D/%S
// insert it bare.
//
// An empty value removes the block. Keywords (WHERE, HAVING, GROUP BY,
// ORDER BY, UNION, LIMIT ...) count only at the statement's own level,
// outside parentheses, literals and comments. "/*RW*/" marks where the
// rewritable WHERE starts (keywords are then looked for at the mark's
// level, after it); a statement with "UNION" and no mark is rewritten in
// its first SELECT only. Without a WHERE the condition goes before the
// statement's WINDOW, ORDER BY, LIMIT, OFFSET, FETCH or FOR.
//
// Returns the new text, or an empty text when nothing changed. A block whose
// end comment is missing (the text was edited by hand) is left alone and
// nothing changes, so no part of the statement is ever lost.
QString RewriteCondition(const QString &sql, const QString &templ, const QString &value,
                         const QString &blockName, const QString &prefix, const QString &suffix,
                         bool byParams, const QString &column = QString());

// The template placeholders expanded for one value (the part of
// RewriteCondition that builds the condition text).
QString ExpandConditionTemplate(const QString &templ, const QString &value,
                                const QString &blockName, const QString &prefix,
                                const QString &suffix, bool byParams, const QString &column = QString());
