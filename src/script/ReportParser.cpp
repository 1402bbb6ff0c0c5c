#include "ReportParser.h"

#include "ReportHost.h"

#include "common/Convert.h"
#include "common/Exceptions.h"
#include "common/FormatSettings.h"
#include "common/Strings.h"
#include "common/TextFile.h"

#include <array>

namespace {

constexpr QChar LineEndMarker = QChar(1);
constexpr QChar EndOfText = QChar(0);

struct TKeyword {
    const char *text;
    quint8 code;
};

// The keywords and symbols, looked up with the upper-cased token text.
constexpr std::array<TKeyword, 30> Keywords = {{
    {"(", tkLParen},     {")", tkRParen},      {"[", tkLBracket},     {"]", tkRBracket},
    {"{", tkLBrace},     {"}", tkRBrace},      {"IF", tkIf},          {"THEN", tkThen},
    {"ELSE", tkElse},    {",", tkComma},       {":=", tkAssign},      {"NOT", tkNot},
    {"AND", tkAnd},      {"OR", tkOr},         {"=", tkEqual},        {"<>", tkNotEqual},
    {">", tkGreater},    {"<", tkLess},        {">=", tkGreaterEqual}, {"<=", tkLessEqual},
    {"-", tkMinus},      {"+", tkPlus},        {"||", tkPlus},        {"*", tkMultiply},
    {"/", tkDivide},     {"TRUE", tkTrue},     {"FALSE", tkFalse},    {".", tkDot},
    {";", tkSemicolon},  {"&", tkAmpersand},
}};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// A capital Cyrillic letter А to Я (Ё is not among them).
bool isCyrillicCapital(QChar c)
{
    return c.unicode() >= 0x0410 && c.unicode() <= 0x042F;
}

// `c` is upper-cased.
bool startsIdentifier(QChar c)
{
    return c == u'@' || (c >= u'A' && c <= u'Z') || c == u'_' || isCyrillicCapital(c);
}

// `c` is upper-cased.
bool continuesIdentifier(QChar c)
{
    return (c >= u'A' && c <= u'Z') || c == u'_' || isCyrillicCapital(c) || isDigit(c);
}

// The character with that code in the code page of text files.
QChar ansiChar(int code)
{
    if (code < 128)
        return QChar(code);
    const QString decoded = DecodeText(QByteArray(1, char(code)));
    return decoded.isEmpty() ? QChar(u'?') : decoded[0];
}

bool isComparison(quint8 code)
{
    return code >= tkEqual && code <= tkLessEqual;
}

} // namespace

QString ScriptBlockText(const QStringList &lines)
{
    static const QString continuation = QStringLiteral("*+,-/;=|}");
    QString text = QStringLiteral("{");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += QStringLiteral("\r\n");
        text += lines[i];
        const QString trimmed = TrimCtl(lines[i]);
        if (trimmed.isEmpty() || !continuation.contains(trimmed.back()))
            text += LineEndMarker;
    }
    text += u'}';
    return text;
}

// ---------------------------------------------------------------------------

// Sends the commands made while it lives to another list (a member chain's).
class TKtReportParser::EmitScope {
public:
    EmitScope(TKtReportParser &parser, TCommandList &target)
        : m_parser(parser), m_saved(parser.m_target)
    {
        parser.m_target = &target;
    }
    ~EmitScope() { m_parser.m_target = m_saved; }
    EmitScope(const EmitScope &) = delete;
    EmitScope &operator=(const EmitScope &) = delete;

private:
    TKtReportParser &m_parser;
    TCommandList *m_saved;
};

// Counts one level of nesting and refuses more than MaxNesting, before the
// recursion could exhaust the machine stack.
class TKtReportParser::NestingGuard {
public:
    explicit NestingGuard(TKtReportParser &parser) : m_parser(parser)
    {
        if (parser.m_nesting >= MaxNesting)
            throw Exception(QStringLiteral("Слишком глубокая вложенность"));
        ++parser.m_nesting;
    }
    ~NestingGuard() { --m_parser.m_nesting; }
    NestingGuard(const NestingGuard &) = delete;
    NestingGuard &operator=(const NestingGuard &) = delete;

private:
    TKtReportParser &m_parser;
};

TKtReportParser::TKtReportParser(const QString &text, int startPos, TParamList &params,
                                 TCommandList &commands, TReportHost &report)
    : m_text(text),
      m_position(startPos),
      m_params(params),
      m_target(&commands),
      m_report(report)
{
}

// ---------------------------------------------------------------------------
// Scanner

// Reads the next character into the lookahead. The line-end marker reads as
// ";" and is not counted, so positions stay those of the template; the end
// of the text (or a character 0) reads as 0 for good.
void TKtReportParser::readChar()
{
    if (m_eof)
        return;
    const QChar c = m_readPos < m_text.size() ? m_text[m_readPos] : EndOfText;
    ++m_readPos;
    if (c == LineEndMarker) {
        m_ch = u';';
        return;
    }
    ++m_position;
    if (c == EndOfText)
        m_eof = true;
    m_ch = c;
}

void TKtReportParser::required(const QString &name) const
{
    throw Exception(QStringLiteral("Требуется %1").arg(name));
}

void TKtReportParser::expect(quint8 code, const QString &name) const
{
    if (!is(code))
        required(name);
}

// string literal: { "'" characters "'" | "#" digits }, written together.
void TKtReportParser::scanString()
{
    m_token = tkString;
    for (;;) {
        if (m_ch == u'\'') {
            readChar();
            for (;;) {
                if (m_eof)
                    break;   // the end of the text closes the part
                if (m_ch == u'\r')
                    throw Exception(QStringLiteral("Неожиданный конец строки"));
                if (m_ch == u'\'') {
                    readChar();
                    if (m_ch != u'\'')
                        break;
                }
                m_rawText += m_ch;
                readChar();
            }
        } else if (m_ch == u'#') {
            readChar();
            if (!isDigit(m_ch))
                required(QStringLiteral("число"));
            int code = 0;
            while (isDigit(m_ch)) {
                code = (code * 10 + (m_ch.unicode() - '0')) % 256;
                readChar();
            }
            m_rawText += ansiChar(code);
        } else {
            break;
        }
    }
    m_tokenText = m_rawText.toUpper();
}

void TKtReportParser::nextToken()
{
    for (;;) {
        while (m_ch == u'\t' || m_ch == u'\n' || m_ch == u'\r' || m_ch == u' ')
            readChar();
        m_tokenText.clear();
        m_rawText.clear();
        m_token = tkUnknown;
        m_atEnd = false;

        if (m_eof) {
            // The end of the text is the token made of the character 0.
            m_rawText = m_tokenText = QString(EndOfText);
            if (!m_endAllowed)
                throw Exception(QStringLiteral("Неожиданный конец блока"));
            m_atEnd = true;
            return;
        }

        const QChar c = m_ch.toUpper();
        if (c == u'\'' || c == u'#') {
            scanString();
            return;
        }
        if (c == u'/') {
            readChar();
            if (m_ch != u'*') {
                m_rawText = QStringLiteral("/");
                m_token = tkDivide;
                break;
            }
            // A comment: skipped up to and including the first "*/"; one
            // left open ends with the text.
            readChar();
            while (!m_eof) {
                if (m_ch == u'*') {
                    readChar();
                    if (m_ch == u'/') {
                        readChar();
                        break;
                    }
                } else {
                    readChar();
                }
            }
            continue;
        }
        if (isDigit(c)) {
            while (isDigit(m_ch)) {
                m_rawText += m_ch;
                readChar();
            }
            m_token = tkNumber;
            break;
        }
        m_rawText += m_ch;
        readChar();
        if (c == u':' || c == u'>') {
            if (m_ch == u'=') {
                m_rawText += m_ch;
                readChar();
            }
        } else if (c == u'<') {
            if (m_ch == u'=' || m_ch == u'>') {
                m_rawText += m_ch;
                readChar();
            }
        } else if (c == u'|') {
            if (m_ch == u'|') {
                m_rawText += m_ch;
                readChar();
            }
        } else if (startsIdentifier(c)) {
            while (continuesIdentifier(m_ch.toUpper())) {
                m_rawText += m_ch;
                readChar();
            }
            m_token = tkIdentifier;
        }
        break;
    }

    m_tokenText = m_rawText.toUpper();
    if (m_token == tkIdentifier || m_token == tkUnknown) {
        for (const TKeyword &k : Keywords) {
            if (m_tokenText == QLatin1String(k.text)) {
                m_token = k.code;
                break;
            }
        }
    }
    if (m_token == tkUnknown)
        throw UnDefinedSymbol(QStringLiteral("Неверный символ"));
}

// ---------------------------------------------------------------------------
// Grammar and code generation

// script: block { block }
void TKtReportParser::Parse()
{
    m_a = &m_report.GetVar(QStringLiteral("@A"));
    m_b = &m_report.GetVar(QStringLiteral("@B"));
    m_endAllowed = true;
    readChar();
    nextToken();
    while (!m_atEnd) {
        // block: "{" statement-list "}"
        expect(tkLBrace, QStringLiteral("{"));
        m_endAllowed = false;
        nextToken();
        statementList();
        expect(tkRBrace, QStringLiteral("}"));
        m_endAllowed = true;
        nextToken();
    }
}

// statement-list: { statement }, for as long as the token is IF, ";" or an
// identifier.
void TKtReportParser::statementList()
{
    auto startsStatement = [this] { return is(tkIf) || is(tkSemicolon) || is(tkIdentifier); };
    if (!startsStatement() && !is(tkRBrace))
        throw Exception(QStringLiteral("Неверный символ: %1").arg(m_rawText));
    while (startsStatement())
        statement();
}

// branch: "{" statement-list "}" | statement
void TKtReportParser::branch()
{
    if (is(tkLBrace)) {
        NestingGuard guard(*this);
        nextToken();
        statementList();
        expect(tkRBrace, QStringLiteral("}"));
        nextToken();
    } else {
        statement();
    }
}

// statement: ";" | if-statement | call-statement | automation-statement
//          | assignment
void TKtReportParser::statement()
{
    NestingGuard guard(*this);
    if (is(tkSemicolon))
        nextToken();
    else if (is(tkIf))
        ifStatement();
    else if (is(tkIdentifier))
        identifierStatement();
    else
        throw Exception(QStringLiteral("Неверный символ: %1").arg(m_rawText));
}

// if-statement: IF expression THEN branch [ELSE branch]
//
//   expression; JNZ @A -> else; then-branch; JUMP -> end; else: else-branch; end:
void TKtReportParser::ifStatement()
{
    nextToken();
    expression();
    expect(tkThen, QStringLiteral("then"));
    nextToken();
    const int jnzIndex = m_target->Count();
    TJnzCmd &jnz = emitCmd<TJnzCmd>(*m_a);
    branch();
    const int jumpIndex = m_target->Count();
    TJumpCmd &jump = emitCmd<TJumpCmd>();
    if (is(tkElse)) {
        nextToken();
        branch();
    }
    jnz.SetOffset(jumpIndex + 1 - jnzIndex);
    jump.SetOffset(m_target->Count() - jumpIndex);
}

// call-statement:       function [ "(" arguments ")" ] ";"
// automation-statement: variable member-chain [(":=" | "=") expression] ";"
// assignment:           name (":=" | "=") expression ";"
//
// A function name wins over a variable of the same name.
void TKtReportParser::identifierStatement()
{
    const QString name = m_rawText;
    const QString upperName = m_tokenText;
    if (const TFunc *func = m_report.FindFunc(name)) {
        nextToken();
        call(*func);
        expect(tkSemicolon, QStringLiteral(";"));
        nextToken();
        return;
    }

    TReportVar *object = m_report.FindVar(name);
    nextToken();
    if (is(tkDot)) {
        if (!object)
            throw Exception(QStringLiteral("%1: Переменная не найдена").arg(upperName));
        // The chain is collected first: a written value is computed before
        // the calls, into @B, which the chain keeps for its last member.
        TCommandList chain;
        memberChain(*object, true, chain);
        if (is(tkAssign) || is(tkEqual)) {
            nextToken();
            expression();
            emitCmd<TAssignCmd>(*m_b, *m_a, false);
        }
        m_target->Append(chain);
        expect(tkSemicolon, QStringLiteral(";"));
        nextToken();
        return;
    }

    // The target exists from here on, for the rest of this text and for
    // every text compiled later.
    TReportVar &target = m_report.GetVar(name);
    if (!is(tkAssign) && !is(tkEqual))
        required(QStringLiteral("="));
    nextToken();
    expression();
    emitCmd<TAssignCmd>(target, *m_a, true);
    expect(tkSemicolon, QStringLiteral(";"));
    nextToken();
}

// call:      function [ "(" arguments ")" ]
// arguments: argument { "," argument }; an argument at a by-reference
//            position is a variable name, elsewhere an expression.
//
//   PUSH P; CLEAR P; { argument; ADDPARAM P } CALL @A := function(P); POP P
void TKtReportParser::call(const TFunc &func)
{
    emitCmd<TPushCmd>(m_params);
    emitCmd<TClearParamListCmd>(m_params);
    if (is(tkLParen)) {
        nextToken();
        for (int i = 0;; ++i) {
            if (func.IsByRef(i)) {
                if (!is(tkIdentifier))
                    required(QStringLiteral("идентификатор"));
                TReportVar &var = m_report.GetVar(m_rawText);
                emitCmd<TAddParamCmd>(var, m_params, true);
                nextToken();
            } else {
                // @A is stored into before it is read again: by the next
                // argument's first operand or by the call's result
                expression();
                emitCmd<TAddParamCmd>(*m_a, m_params, false, true);
            }
            if (!is(tkComma))
                break;
            nextToken();
        }
        expect(tkRParen, QStringLiteral(")"));
        nextToken();
    }
    emitCmd<TCallCmd>(*m_a, func, m_params);
    emitCmd<TPopCmd>(m_params, true);
}

// expression: [NOT] relation { (AND | OR) [NOT] relation }
//
// AND and OR share one precedence and group from the left; NOT applies to
// the relation after it. Both operands are always computed.
void TKtReportParser::expression()
{
    NestingGuard guard(*this);
    auto notRelation = [this] {
        const bool negate = is(tkNot);
        if (negate)
            nextToken();
        relation();
        if (negate)
            emitCmd<TCalcCmd>(*m_a, *m_a, tkNot);
    };
    notRelation();
    if (!is(tkAnd) && !is(tkOr))
        return;
    emitCmd<TCalcCmd>(*m_b, *m_a, opCopy);
    while (is(tkAnd) || is(tkOr)) {
        const quint8 op = m_token;
        nextToken();
        emitCmd<TPushCmd>(*m_b);
        notRelation();
        emitCmd<TPopCmd>(*m_b);
        emitCmd<TCalcCmd>(*m_b, *m_a, op);
    }
    emitCmd<TAssignCmd>(*m_a, *m_b, false);
}

// relation: simple-expression [("=" | "<>" | ">" | "<" | ">=" | "<=") simple-expression]
//
//   left; PUSH @A; right; POP @B; COMPARE @B, @A; @A := @B
void TKtReportParser::relation()
{
    simpleExpression();
    if (!isComparison(m_token) || m_atEnd)
        return;
    const quint8 op = m_token;
    nextToken();
    emitCmd<TPushCmd>(*m_a);
    simpleExpression();
    emitCmd<TPopCmd>(*m_b);
    emitCmd<TCompareCmd>(*m_b, *m_a, op);
    emitCmd<TAssignCmd>(*m_a, *m_b, false);
}

// simple-expression: ["-"] term { ("+" | "||" | "-") term }
//
// A leading minus subtracts the first term from 0.
void TKtReportParser::simpleExpression()
{
    auto isAdding = [this] { return is(tkPlus) || is(tkMinus); };
    if (is(tkMinus)) {
        nextToken();
        emitCmd<TAssignConstCmd>(*m_b, TConstValue::Integer(0), false);
        emitCmd<TPushCmd>(*m_b);
        term();
        emitCmd<TPopCmd>(*m_b);
        emitCmd<TCalcCmd>(*m_b, *m_a, tkMinus);
    } else {
        term();
        if (!isAdding())
            return;
        emitCmd<TCalcCmd>(*m_b, *m_a, opCopy);
    }
    operatorTail(isAdding, &TKtReportParser::term);
}

// The rest of a chain of operators of one level, the left side in @B: each
// operand is compiled with @B saved on the stack and combined into it; the
// result ends in @A.
void TKtReportParser::operatorTail(const std::function<bool()> &isOperator, void (TKtReportParser::*operand)())
{
    while (isOperator()) {
        const quint8 op = m_token;
        nextToken();
        emitCmd<TPushCmd>(*m_b);
        (this->*operand)();
        emitCmd<TPopCmd>(*m_b);
        emitCmd<TCalcCmd>(*m_b, *m_a, op);
    }
    emitCmd<TAssignCmd>(*m_a, *m_b, false);
}

// term: factor { ("*" | "/") factor }
void TKtReportParser::term()
{
    auto isMultiplying = [this] { return is(tkMultiply) || is(tkDivide); };
    factor();
    if (!isMultiplying())
        return;
    emitCmd<TCalcCmd>(*m_b, *m_a, opCopy);
    operatorTail(isMultiplying, &TKtReportParser::factor);
}

// factor: "(" expression ")" | TRUE | FALSE | number ["." number] | string
//       | function [ "(" arguments ")" ] | variable [member-chain]
void TKtReportParser::factor()
{
    if (is(tkLParen)) {
        nextToken();
        expression();
        expect(tkRParen, QStringLiteral(")"));
        nextToken();
    } else if (is(tkTrue) || is(tkFalse)) {
        const bool value = is(tkTrue);
        nextToken();
        emitCmd<TAssignConstCmd>(*m_a, TConstValue::Boolean(value), false);
    } else if (is(tkNumber)) {
        // The fraction is a second number after a point; blanks may stand
        // around the point.
        QString text = m_rawText;
        nextToken();
        if (is(tkDot)) {
            nextToken();
            if (!is(tkNumber))
                required(QStringLiteral("число"));
            text += FormatSettings().DecimalSeparator + m_rawText;
            nextToken();
        }
        emitCmd<TAssignConstCmd>(*m_a, TConstValue::Double(StrToFloat(text)), false);
    } else if (is(tkString)) {
        const QString value = m_rawText;
        nextToken();
        emitCmd<TAssignConstCmd>(*m_a, TConstValue::String(value), false);
    } else if (is(tkIdentifier)) {
        if (const TFunc *func = m_report.FindFunc(m_rawText)) {
            nextToken();
            call(*func);
            return;
        }
        TReportVar *var = m_report.FindVar(m_rawText);
        if (!var)
            throw Exception(QStringLiteral("%1: Переменная не найдена").arg(m_tokenText));
        nextToken();
        if (is(tkDot)) {
            TCommandList chain;
            memberChain(*var, false, chain);
            m_target->Append(chain);
        } else {
            emitCmd<TAssignCmd>(*m_a, *var, false);
        }
    } else {
        required(QStringLiteral("идентификатор"));
    }
}

// member-chain: member { member }
// member:       "." name [ "(" dispatch-arguments ")" | "[" dispatch-arguments "]" ]
// dispatch-arguments: ("&" name | expression) { "," ("&" name | expression) }
//
// Commands go to `chain`; the caller appends them. For each member:
//   PUSH P; CLEAR P; PUSH @A; PUSH @B; { argument; ADDPARAM P }
//   POP @B; POP @A; DISPCALL @A := object.member(P); POP P
// where the object is `object` for the first member and @A after it. A
// member followed by "." is called with kind 3 (method or property read);
// so is the last one in an expression; in a statement the last one is a
// method (1), or a property write (4) when a value follows.
void TKtReportParser::memberChain(TReportVar &object, bool inStatement, TCommandList &chain)
{
    EmitScope scope(*this, chain);
    emitCmd<TAssignCmd>(*m_a, object, false);
    bool first = true;
    while (is(tkDot)) {
        nextToken();
        emitCmd<TPushCmd>(m_params);
        emitCmd<TClearParamListCmd>(m_params);
        emitCmd<TPushCmd>(*m_a);
        emitCmd<TPushCmd>(*m_b);
        if (!is(tkIdentifier))
            required(QStringLiteral("имя"));
        const QString member = m_rawText;
        nextToken();
        TByRefSet byRef;
        if (is(tkLParen) || is(tkLBracket)) {
            const bool parenthesis = is(tkLParen);
            nextToken();
            for (int i = 0;; ++i) {
                if (is(tkAmpersand)) {
                    nextToken();
                    if (!is(tkIdentifier))
                        required(QStringLiteral("идентификатор"));
                    TReportVar &var = m_report.GetVar(m_rawText);
                    emitCmd<TAddParamCmd>(var, m_params, true);
                    if (i < int(byRef.size()))
                        byRef.set(size_t(i));
                    nextToken();
                } else {
                    expression();
                    emitCmd<TAddParamCmd>(*m_a, m_params, false);
                }
                if (!is(tkComma))
                    break;
                nextToken();
            }
            if (parenthesis)
                expect(tkRParen, QStringLiteral(")"));
            else
                expect(tkRBracket, QStringLiteral("]"));
            nextToken();
        }
        emitCmd<TPopCmd>(*m_b);
        emitCmd<TPopCmd>(*m_a);
        TCallKind kind = ckMethodOrGet;
        if (!is(tkDot) && inStatement)
            kind = (is(tkAssign) || is(tkEqual)) ? ckPropertyPut : ckMethod;
        emitCmd<TDispCallCmd>(member, kind, m_params, first ? object : *m_a, *m_b, byRef, *m_a);
        emitCmd<TPopCmd>(m_params, true);
        first = false;
    }
}
