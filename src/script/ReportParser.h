#pragma once

#include "Commands.h"
#include "FuncList.h"
#include "TokenCodes.h"
#include "VarList.h"

#include <QString>
#include <QStringList>
#include <functional>

class TReportHost;

// The text a template's script block compiles as: its lines as written (so
// that character positions stay), each line that does not end in one of
// "*" "+" "," "-" "/" ";" "=" "|" "}" (ignoring trailing blanks) followed by
// the line-end marker (character 1, read as ";"), joined with CR LF and
// wrapped in one pair of braces. The parser's start position for it is the
// block's character offset in the template minus 1.
QString ScriptBlockText(const QStringList &lines);

// The one-pass compiler of the report script. It scans with one character of
// lookahead, descends the grammar recursively and appends the commands of
// the stack machine straight to a command list, evaluating every expression
// into the register "@A" with "@B" holding the left operand of a running
// operator chain and the value stack saving both around sub-evaluations.
// Variables that the script assigns are created while compiling, so they
// exist for everything compiled after them.
class TKtReportParser {
public:
    // Deeper nesting of expressions and statements than this is refused.
    static constexpr int MaxNesting = 500;

    // `startPos` is the position counter before the first character;
    // `params` the report's call-parameter list; new commands are appended
    // to `commands`; names are resolved through `report`.
    TKtReportParser(const QString &text, int startPos, TParamList &params, TCommandList &commands,
                    TReportHost &report);
    TKtReportParser(const TKtReportParser &) = delete;
    TKtReportParser &operator=(const TKtReportParser &) = delete;

    // Compiles the whole text. Errors stop at the first one, with Position()
    // at the error; the commands appended before it stay in the list.
    void Parse();

    // The count of characters read so far, from the start position on. A
    // command made now records it; the report's ErrorPos is one less.
    int Position() const { return m_position; }

private:
    class EmitScope;
    class NestingGuard;

    // Scanner.
    void readChar();
    void nextToken();
    void scanString();
    bool is(quint8 code) const { return m_token == code && !m_atEnd; }
    void expect(quint8 code, const QString &name) const;
    [[noreturn]] void required(const QString &name) const;

    // Grammar.
    void statementList();
    void branch();
    void statement();
    void ifStatement();
    void identifierStatement();
    void call(const TFunc &func);
    void expression();
    void relation();
    void simpleExpression();
    void term();
    void operatorTail(const std::function<bool()> &isOperator, void (TKtReportParser::*operand)());
    void factor();
    void memberChain(TReportVar &object, bool inStatement, TCommandList &chain);

    // Appends a command to the current target list, stamped with the
    // current position. Every command is made here.
    template <class C, class... Args>
    C &emitCmd(Args &&...args)
    {
        auto command = std::make_unique<C>(std::forward<Args>(args)...);
        command->SetPosition(m_position);
        C &ref = *command;
        m_target->Add(std::move(command));
        return ref;
    }

    // Source and scanner state.
    QString m_text;
    qsizetype m_readPos = 0;
    QChar m_ch;
    bool m_eof = false;
    int m_position;
    quint8 m_token = tkUnknown;
    QString m_tokenText;   // upper-cased
    QString m_rawText;     // as written; a string literal's value
    bool m_atEnd = false;      // the current token is the end of the text
    bool m_endAllowed = true;  // reaching the end now ends the parse

    // Compile state.
    TParamList &m_params;
    TCommandList *m_target;   // where commands go: the list, or a member chain's own
    TReportHost &m_report;
    TReportVar *m_a = nullptr;
    TReportVar *m_b = nullptr;
    int m_nesting = 0;
};
