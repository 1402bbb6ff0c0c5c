#include "CoreFunctions.h"

#include "ReportHost.h"
#include "TokenCodes.h"
#include "VarList.h"
#include "common/Limits.h"
#include "common/Convert.h"
#include "common/Exceptions.h"
#include "common/Format.h"
#include "common/Rounding.h"
#include "common/Settings.h"
#include "common/Strings.h"
#include "common/UserInterface.h"
#include "widgets/NumLetter.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <vector>

namespace CoreFunctions {

namespace {

const TReportVar &arg(const TParamList &p, int i)
{
    return *p[i];
}

bool has(const TParamList &p, int i)
{
    return p.Count() > i;
}

// A number argument truncated to an integer, clamped to the int range.
int intArg(const TParamList &p, int i)
{
    const double v = std::trunc(arg(p, i).GetAsNumber());
    return int(std::clamp(v, double(INT_MIN), double(INT_MAX)));
}

[[noreturn]] void interrupted()
{
    throw ECustomReportError(QStringLiteral("Выполнение прервано"));
}

// An input box; Cancel (or no person and no default) stops the run.
QString input(const QString &caption, const QString &prompt, const QString &defaultText)
{
    QString value = defaultText;
    if (!UserInterface().InputQuery(caption, prompt, value))
        interrupted();
    return value;
}

QString padded(const TParamList &p, bool left)
{
    const QString &s = arg(p, 0).StringValue();
    const int n = intArg(p, 1);
    CheckStringLength(n);
    QChar fill = u' ';
    if (has(p, 2)) {
        const QString &c = arg(p, 2).StringValue();
        if (!c.isEmpty())
            fill = c.front();
    }
    return left ? PadLeft(s, n, fill) : PadRight(s, n, fill);
}

// The text after "=" of the first "key=..." line of a STRING or MEMO list.
QString valueOfKey(const TParamList &p)
{
    const TReportVar &list = arg(p, 0);
    const QString &key = arg(p, 1).StringValue();
    QStringList lines;
    if (list.VarType() == vtString)
        lines = list.GetAsString().split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    else if (list.VarType() == vtMemo)
        lines = list.GetAsMemo();
    for (const QString &line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && line.left(eq).compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return QString();
}

} // namespace

void Length(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsNumber(double(arg(p, 0).StringValue().size()));
}

void Pos(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString &sub = arg(p, 0).StringValue();
    const QString &s = arg(p, 1).StringValue();
    r.SetAsNumber(sub.isEmpty() ? 0.0 : double(s.indexOf(sub) + 1));
}

void Val(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsNumber(::StrToFloat(arg(p, 0).StringValue()));
}

void Trunc(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsNumber(std::trunc(arg(p, 0).GetAsNumber()));
}

void Round(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsNumber(RoundHalfAway(arg(p, 0).GetAsNumber()));
}

void Rd2(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsNumber(::Rd2(arg(p, 0).GetAsNumber()));
}

void GetFloat(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString def = has(p, 1) ? FloatToStr(arg(p, 1).GetAsNumber()) : QString();
    r.SetAsNumber(::StrToFloat(input(QStringLiteral("Форма ввода числа"), arg(p, 0).GetAsString(), def)));
}

void GetDate(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString def = has(p, 1) ? ::DateToStr(arg(p, 1).GetAsDate()) : QString();
    r.SetAsDate(::StrToDate(input(QStringLiteral("Форма ввода даты"), arg(p, 0).GetAsString(), def)));
}

void GetString(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString def = has(p, 1) ? arg(p, 1).GetAsString() : QString();
    r.SetAsString(input(QStringLiteral("Форма ввода строки"), arg(p, 0).GetAsString(), def));
}

void StrToDate(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsDate(::StrToDate(arg(p, 0).StringValue()));
}

void DateToStr(TReportHost &, TParamList &p, TReportVar &r)
{
    const TDateTime d = arg(p, 0).GetAsDate();
    if (!has(p, 1)) {
        r.SetAsString(::DateToStr(d));
        return;
    }
    QString fmt = arg(p, 1).GetAsString();
    TFormatSettings fs = FormatSettings();
    const qsizetype five = fmt.indexOf(QStringLiteral("mmmmm"), 0, Qt::CaseInsensitive);
    if (five >= 0) {
        // "mmmmm": the long month name in the genitive ("5 марта 2024")
        fmt.remove(five, 1);
        for (int m = 0; m < 12; ++m) {
            QString &name = fs.LongMonthNames[size_t(m)];
            if (m == 2 || m == 7)
                name += u'а';
            else
                name = name.left(name.size() - 1) + u'я';
        }
    }
    r.SetAsString(FormatDateTime(fmt, d, fs));
}

void FloatToDate(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsDate(arg(p, 0).GetAsNumber());
}

void DateToFloat(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsNumber(arg(p, 0).GetAsDate());
}

void Ext2Money(TReportHost &, TParamList &p, TReportVar &r)
{
    const double x = arg(p, 0).GetAsNumber();
    const int flags = has(p, 1) ? intArg(p, 1) : 0;
    TUlmCoder coder;
    coder.SetOnlyValue(flags & 1);
    coder.SetTrailCmt(flags & 6);
    coder.SetKopeikaAsDigit(!(flags & 4));
    coder.SetTrailPoint(false);
    if (!coder.OnlyValue() && !coder.TrailCmt() && coder.KopeikaAsDigit()) {
        const double whole = std::trunc(RoundAdjust(x));
        coder.SetTrailCmt(::Rd2(std::fabs(x - whole)) > 0);
    }
    coder.SetValue(x);
    if (coder.Valid())
        r.SetAsString(coder.Text());
}

void Message(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString text = arg(p, 0).GetAsString();
    const QString letters = has(p, 1) ? arg(p, 1).GetAsString().toUpper() : QStringLiteral("O");
    QList<TUserInterface::Button> buttons;
    for (QChar c : letters) {
        TUserInterface::Button b;
        switch (c.unicode()) {
        case u'Y': b = TUserInterface::mbYes; break;
        case u'N': b = TUserInterface::mbNo; break;
        case u'O': b = TUserInterface::mbOK; break;
        case u'C': b = TUserInterface::mbCancel; break;
        case u'R': b = TUserInterface::mbRetry; break;
        case u'I': b = TUserInterface::mbIgnore; break;
        case u'A': b = TUserInterface::mbAll; break;
        default: continue;
        }
        if (!buttons.contains(b))
            buttons << b;
    }
    const int pressed = UserInterface().MessageDlg(text, QStringLiteral("Предупреждение"),
                                                   TUserInterface::mtWarning, buttons);
    r.SetAsNumber(pressed);
}

void LowCase(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsString(arg(p, 0).StringValue().toLower());
}

void UpCase(TReportHost &, TParamList &p, TReportVar &r)
{
    // Latin and Cyrillic letters, what report texts are made of, map one to
    // one without Qt's general case tables; a text with any other character
    // takes them. Kept because it counts: bench_script's UpCase of a
    // six-letter Cyrillic text runs 224 instructions this way and 819
    // through QString::toUpper (6 % of the whole script's). test_builtins
    // holds it to toUpper's result on every 16-bit character.
    const QString &s = arg(p, 0).StringValue();
    if (s.isEmpty()) {
        r.SetAsString(s.toUpper());
        return;
    }
    QString upper = r.TextBuffer(s.size());
    char16_t *out = reinterpret_cast<char16_t *>(upper.data());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < 0x80)
            out[i] = c >= u'a' && c <= u'z' ? char16_t(c - 0x20) : c;
        else if (c >= 0x430 && c <= 0x44F)
            out[i] = char16_t(c - 0x20);
        else if (c >= 0x450 && c <= 0x45F)
            out[i] = char16_t(c - 0x50);
        else if ((c >= 0x400 && c <= 0x42F) || c == 0xA0)
            out[i] = c;
        else {
            r.SetAsString(s.toUpper());
            return;
        }
    }
    r.SetAsString(std::move(upper));
}

void Copy(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString &s = arg(p, 0).StringValue();
    const qint64 index = std::max(intArg(p, 1), 1);
    const qint64 count = intArg(p, 2);
    if (count <= 0 || index > s.size()) {
        r.SetAsString(QString());
        return;
    }
    const qsizetype size = qsizetype(std::min<qint64>(count, s.size() - index + 1));
    if (size == s.size()) {
        r.SetAsString(s);   // the whole text, shared
        return;
    }
    // written into the result holder's spare buffer (TextBuffer) rather
    // than a new text: one allocation and one free fewer for each call
    QString part = r.TextBuffer(size);
    std::copy_n(s.constData() + (index - 1), size, part.data());
    r.SetAsString(std::move(part));
}

void Trim(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsString(TrimCtl(arg(p, 0).StringValue()));
}

void Delete(TReportHost &, TParamList &p, TReportVar &r)
{
    QString s = arg(p, 0).GetAsString();
    const qint64 index = intArg(p, 1);
    const qint64 count = intArg(p, 2);
    if (index >= 1 && index <= s.size() && count > 0)
        s.remove(index - 1, qsizetype(std::min<qint64>(count, s.size() - index + 1)));
    r.SetAsString(s);
}

void Insert(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString sub = arg(p, 0).GetAsString();
    QString s = arg(p, 1).GetAsString();
    const qint64 index = std::clamp<qint64>(intArg(p, 2), 1, s.size() + 1);
    s.insert(index - 1, sub);
    r.SetAsString(s);
}

void Ext2Str(TReportHost &, TParamList &p, TReportVar &r)
{
    const double x = arg(p, 0).GetAsNumber();
    const TReportVar &fmtArg = arg(p, 1);
    const int digits = intArg(p, 2);
    TFormatSettings fs = FormatSettings();
    TFloatFormat form = TFloatFormat::ffGeneral;
    int precision;
    bool accounting = false;
    if (fmtArg.VarType() == vtNumber) {
        precision = int(std::trunc(fmtArg.GetAsNumber()));
    } else {
        QString fmt = fmtArg.GetAsString();
        if (fmt.startsWith(u'#')) {
            if (x == 0) {
                r.SetAsString(QStringLiteral("0"));
                return;
            }
            fmt.remove(0, 1);
        }
        if (fmt.startsWith(u'$')) {
            form = TFloatFormat::ffCurrency;
            fmt.remove(0, 1);
        }
        if (fmt.startsWith(u'=')) {
            form = TFloatFormat::ffFixed;
            accounting = true;
            fs.DecimalSeparator = u'-';
            fmt.remove(0, 1);
        }
        precision = StrToInt(fmt);
    }
    QString text = FloatToStrF(x, form, precision, digits, fs);
    if (accounting && digits > 0) {
        const QString zeros = fs.DecimalSeparator + QString(digits, u'0');
        if (text.endsWith(zeros))
            text = text.left(text.size() - zeros.size()) + u'=';
    }
    r.SetAsString(text);
}

void IsEndReport(TReportHost &host, TParamList &, TReportVar &r)
{
    r.SetAsBoolean(host.IsEndMode());
}

void GetValueStr(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsString(valueOfKey(p));
}

void GetValueExt(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString text = valueOfKey(p);
    r.SetAsNumber(text.isEmpty() ? 0.0 : ::StrToFloat(text));
}

void GetValueDate(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString text = valueOfKey(p);
    r.SetAsDate(text.isEmpty() ? 0.0 : ::StrToDate(text));
}

void GetFileName(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString title = arg(p, 0).GetAsString();
    const QString filter = has(p, 1) ? arg(p, 1).GetAsString()
                                     : QStringLiteral("Все файлы") + QStringLiteral(" |*.*");
    const QString name = UserInterface().OpenFileName(title, filter, ProgramDir());
    if (!name.isEmpty())
        r.SetAsString(name);
}

void Format(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString fmt = arg(p, 0).GetAsString();
    std::vector<QString> texts;   // strings and date texts the arguments point at
    texts.reserve(size_t(p.Count()));
    std::vector<TFormatArg> args;
    args.reserve(size_t(p.Count()));
    for (int i = 1; i < p.Count(); ++i) {
        const TReportVar &a = arg(p, i);
        switch (a.VarType()) {
        case vtNumber:
            args.emplace_back(a.GetAsNumber());
            break;
        case vtString:
            texts.push_back(a.GetAsString());
            args.emplace_back(texts.back());
            break;
        case vtDate:
            texts.push_back(::DateToStr(a.GetAsDate()));
            args.emplace_back(texts.back());
            break;
        default:
            break;   // other types are left out
        }
    }
    if (args.empty())
        return;   // nothing left to format: no result
    r.SetAsString(::Format(fmt, std::span<const TFormatArg>(args)));
}

void DeleteSpace(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsString(CollapseBlanks(arg(p, 0).StringValue()));
}

void PutLine(TReportHost &host, TParamList &p, TReportVar &)
{
    host.PutLine(arg(p, 0).StringValue());
}

void Abort(TReportHost &host, TParamList &p, TReportVar &)
{
    if (has(p, 0))
        host.Abort(arg(p, 0).GetAsString());
    host.Abort();
}

void RenameFile(TReportHost &, TParamList &p, TReportVar &)
{
    const QString from = ExpandFileName(arg(p, 0).GetAsString());
    const QString to = ExpandFileName(arg(p, 1).GetAsString());
    // Only a file that is there to take its place makes the old one go:
    // a missing source must not cost the target.
    if (from.isEmpty() || to.isEmpty() || !QFileInfo::exists(from) || from == to)
        return;
    QFile::remove(to);
    QFile::rename(from, to);
}

void OldStr(TReportHost &host, TParamList &p, TReportVar &r)
{
    const TReportVar &v = arg(p, 0);
    r.SetAsString(host.IsEndMode() ? v.GetAsString() : v.PrevStr());
}

void OldDate(TReportHost &host, TParamList &p, TReportVar &r)
{
    const TReportVar &v = arg(p, 0);
    r.SetAsDate(host.IsEndMode() ? v.GetAsDate() : v.PrevNum());
}

void OldExt(TReportHost &host, TParamList &p, TReportVar &r)
{
    const TReportVar &v = arg(p, 0);
    r.SetAsNumber(host.IsEndMode() ? v.GetAsNumber() : v.PrevNum());
}

void Exchange(TReportHost &, TParamList &p, TReportVar &)
{
    TReportVar &a = *p[0];
    TReportVar &b = *p[1];
    switch (a.VarType() != vtUndefined ? a.VarType() : b.VarType()) {
    case vtNumber: {
        const double x = a.GetAsNumber(), y = b.GetAsNumber();
        a.SetAsNumber(y);
        b.SetAsNumber(x);
        break;
    }
    case vtString: {
        const QString x = a.GetAsString(), y = b.GetAsString();
        a.SetAsString(y);
        b.SetAsString(x);
        break;
    }
    case vtDate: {
        const TDateTime x = a.GetAsDate(), y = b.GetAsDate();
        a.SetAsDate(y);
        b.SetAsDate(x);
        break;
    }
    case vtBoolean: {
        const bool x = a.GetAsBoolean(), y = b.GetAsBoolean();
        a.SetAsBoolean(y);
        b.SetAsBoolean(x);
        break;
    }
    default:
        break;
    }
}

void Str2Params(TReportHost &, TParamList &p, TReportVar &)
{
    const QStringList words = arg(p, 0).GetAsString().split(u' ', Qt::SkipEmptyParts);
    for (int i = 1; i < p.Count(); ++i) {
        TReportVar &v = *p[i];
        const bool hasWord = i - 1 < words.size();
        const QString word = hasWord ? words[i - 1] : QString();
        switch (v.VarType()) {
        case vtNumber:
            v.SetAsNumber(hasWord ? ::StrToFloat(word) : 0.0);
            break;
        case vtString:
            v.SetAsString(word);
            break;
        case vtDate:
            v.SetAsDate(hasWord ? ::StrToDate(word) : 0.0);
            break;
        default:
            break;   // UNDEFINED and other types stay as they are
        }
    }
}

void FileExists(TReportHost &, TParamList &p, TReportVar &r)
{
    const QString &name = arg(p, 0).StringValue();
    r.SetAsBoolean(!name.isEmpty() && QFileInfo(ExpandFileName(name)).isFile());
}

void In(TReportHost &, TParamList &p, TReportVar &r)
{
    const TReportVar &x = arg(p, 0);
    for (int i = 1; i < p.Count(); ++i) {
        if (x.Compare(arg(p, i), tkEqual)) {
            r.SetAsBoolean(true);
            return;
        }
    }
}

void AddOutputAlias(TReportHost &host, TParamList &p, TReportVar &)
{
    host.AddOutputAlias(arg(p, 0).StringValue(), arg(p, 1).StringValue());
}

void LPad(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsString(padded(p, true));
}

void RPad(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsString(padded(p, false));
}

void String(TReportHost &, TParamList &p, TReportVar &r)
{
    const TReportVar &v = arg(p, 0);
    switch (v.VarType()) {
    case vtUndefined:
        return;
    case vtNumber:
        r.SetAsString(FloatToStrF(v.GetAsNumber(), TFloatFormat::ffGeneral, 15, 0));
        return;
    case vtDate:
        r.SetAsString(::DateToStr(v.GetAsDate()));
        return;
    case vtBoolean:
        r.SetAsString(v.GetAsBoolean() ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
        return;
    default:
        r.SetAsString(v.StringValue());   // STRING; other types fail the check
        return;
    }
}

void Date(TReportHost &, TParamList &p, TReportVar &r)
{
    const TReportVar &v = arg(p, 0);
    switch (v.VarType()) {
    case vtUndefined:
        return;
    case vtNumber:
        r.SetAsDate(v.GetAsNumber());
        return;
    case vtString:
        r.SetAsDate(::StrToDate(v.StringValue()));
        return;
    default:
        r.SetAsDate(v.GetAsDate());   // DATE; other types fail the check
        return;
    }
}

void Number(TReportHost &, TParamList &p, TReportVar &r)
{
    const TReportVar &v = arg(p, 0);
    switch (v.VarType()) {
    case vtUndefined:
        return;
    case vtString:
        r.SetAsNumber(::StrToFloat(v.StringValue()));
        return;
    case vtDate:
        r.SetAsNumber(v.GetAsDate());
        return;
    case vtBoolean:
        r.SetAsNumber(v.GetAsBoolean() ? 1 : 0);
        return;
    default:
        r.SetAsNumber(v.GetAsNumber());   // NUMBER; other types fail the check
        return;
    }
}

void Boolean(TReportHost &, TParamList &p, TReportVar &r)
{
    r.SetAsBoolean(arg(p, 0).StringValue().toUpper() == u"TRUE");
}

} // namespace CoreFunctions
