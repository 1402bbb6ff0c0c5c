#pragma once

#include "ScriptTestHost.h"

#include <QRandomGenerator>
#include <memory>

// The parser's fuzz corpus and the host it compiles against: shared by the
// parser test (nothing may crash) and the plan test (the plan must run
// every program as the commands do one by one).

// Accepts every member: a read or method call gives the object itself, so
// that chains of any length run.
class TAnyObject : public TDispatchObject, public std::enable_shared_from_this<TAnyObject> {
public:
    void Invoke(const QString &, TCallKind, std::span<TDispArg>, TDispValue *result) override
    {
        if (result)
            *result = TDispValue::FromDispatch(shared_from_this());
    }
};

// The host every compile here runs against: a few variables and functions
// shaped like the built-ins (by-reference sets included).
inline void PrepareCorpusHost(TScriptTestHost &host)
{
    for (const char *name : {"A", "B", "C", "D", "G", "H", "N", "S", "T", "X", "Length"})
        host.GetVar(QString::fromLatin1(name));
    host.GetVar(QStringLiteral("W")).SetAsDispatch(std::make_shared<TAnyObject>());
    // Functions read their arguments without trusting the count or types,
    // so that random programs can call them.
    auto any = [](TReportHost &, TParamList &params, TReportVar &result) {
        result.SetAsNumber(params.Count());
    };
    host.AddFunc(QStringLiteral("Length"), 1, any);
    host.AddFunc(QStringLiteral("Copy"), 3, any);
    host.AddFunc(QStringLiteral("IsEndReport"), 0, any);
    host.AddFunc(QStringLiteral("Exchange"), 2, any, ByRefPositions({0, 1}));
    host.AddFunc(QStringLiteral("GetGroup"), 3, any, ByRefPositions({1, 255}));
    host.AddFunc(QStringLiteral("Str2Params"), 2, any, ByRefPositions({0, 255}));
}

// Random texts over the language's vocabulary, mutations of a few valid
// scripts, random characters and a few very long texts; always the same.
inline QStringList ParserCorpus()
{
    static const QStringList vocabulary = {
        "IF", "THEN", "ELSE", "{", "}", "(", ")", "[", "]", ";", ",", "=", ":=", "<>", "<=", ">=",
        "<", ">", "+", "-", "*", "/", "||", "|", ":", "&", ".", "NOT", "AND", "OR", "TRUE",
        "FALSE", "A", "B", "X", "W", "S", "Copy", "Length", "Exchange", "GetGroup", "Str2Params",
        "IsEndReport", "NewName", "'str'", "'", "''", "#13", "#", "#999999999999", "12", "3",
        "/*", "*/", "\n", "@", "@A", "Я", "ё", "$", "\t", " ", QString(QChar(1)), QString(QChar(0)),
        "\r",
    };
    static const QStringList seeds = {
        "X = A + B * 2",
        "IF A > 0 THEN\nB = 1\nELSE B = 2",
        "IF X THEN { Y = 1; Z = 'a'#13'b'; } ELSE Y = -2 . 5;",
        "GetGroup(G, Length(S), H);\nStr2Params('1 2', N, T)",
        "W.Cells(1, &R).Value := Copy(S, 1, 2) || 'x';",
        "N = W.Sheets[1].Name /* comment */",
        "A = NOT B = C AND D OR TRUE",
        "Exchange(A, B)\nX = Copy(S,\n1,\n2)",
    };
    QRandomGenerator random(20240611);
    QStringList corpus;
    for (int i = 0; i < 2500; ++i) {
        QString text;
        const int n = int(random.bounded(1, 60));
        for (int k = 0; k < n; ++k)
            text += vocabulary[int(random.bounded(vocabulary.size()))] + (random.bounded(3) ? " " : "");
        corpus << text;
    }
    for (int i = 0; i < 2500; ++i) {
        QString text = seeds[int(random.bounded(seeds.size()))];
        const int edits = int(random.bounded(1, 6));
        for (int k = 0; k < edits && !text.isEmpty(); ++k) {
            const int at = int(random.bounded(text.size()));
            switch (random.bounded(4)) {
            case 0: text.remove(at, int(random.bounded(1, 5))); break;
            case 1: text.insert(at, QChar(char16_t(random.bounded(0, 0x460)))); break;
            case 2: text.insert(at, text.mid(int(random.bounded(text.size())), int(random.bounded(1, 12)))); break;
            default: {
                const QString &word = vocabulary[int(random.bounded(vocabulary.size()))];
                text[at] = word.isEmpty() ? QChar(u' ') : word[0];
                break;
            }
            }
        }
        corpus << text;
    }
    for (int i = 0; i < 500; ++i) {
        QString text;
        const int n = int(random.bounded(1, 80));
        for (int k = 0; k < n; ++k)
            text += QChar(char16_t(random.bounded(0, 0x460)));
        corpus << text;
    }
    corpus << QString(100000, u'Z') + " = 1" << "X = " + QString(100000, u'9') << "X = 'a" + QString(100000, u'\'')
           << QString(20000, u'{') << QString(20000, u'}') << QStringLiteral("X = NOT ").repeated(20000) + "TRUE"
           << "X = " + QStringLiteral("-").repeated(20000) + "1" << QStringLiteral("/*").repeated(10000)
           << QStringLiteral("#1").repeated(20000) << "X = " + QStringLiteral("'a'#10").repeated(20000);

    return corpus;
}
