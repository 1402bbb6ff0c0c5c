#pragma once

class TReportHost;
class TParamList;
class TReportVar;

// The string, number, date, conversion, dialog, variable and file functions
// of the script language. Each reads its arguments from the parameter list
// in order (with the typed getters, so a value of another type fails with
// the type mismatch naming its holder) and stores its result into `r`.
namespace CoreFunctions {

#define QUARN_CORE_FUNCTION(name) void name(TReportHost &host, TParamList &p, TReportVar &r)

QUARN_CORE_FUNCTION(Length);
QUARN_CORE_FUNCTION(Pos);
QUARN_CORE_FUNCTION(Val);
QUARN_CORE_FUNCTION(Trunc);
QUARN_CORE_FUNCTION(Round);
QUARN_CORE_FUNCTION(Rd2);
QUARN_CORE_FUNCTION(GetFloat);
QUARN_CORE_FUNCTION(GetDate);
QUARN_CORE_FUNCTION(GetString);
QUARN_CORE_FUNCTION(StrToDate);
QUARN_CORE_FUNCTION(DateToStr);
QUARN_CORE_FUNCTION(FloatToDate);
QUARN_CORE_FUNCTION(DateToFloat);
QUARN_CORE_FUNCTION(Ext2Money);
QUARN_CORE_FUNCTION(Message);
QUARN_CORE_FUNCTION(LowCase);
QUARN_CORE_FUNCTION(UpCase);
QUARN_CORE_FUNCTION(Copy);
QUARN_CORE_FUNCTION(Trim);
QUARN_CORE_FUNCTION(Delete);
QUARN_CORE_FUNCTION(Insert);
QUARN_CORE_FUNCTION(Ext2Str);
QUARN_CORE_FUNCTION(IsEndReport);
QUARN_CORE_FUNCTION(GetValueStr);
QUARN_CORE_FUNCTION(GetValueExt);
QUARN_CORE_FUNCTION(GetValueDate);
QUARN_CORE_FUNCTION(GetFileName);
QUARN_CORE_FUNCTION(Format);
QUARN_CORE_FUNCTION(DeleteSpace);
QUARN_CORE_FUNCTION(PutLine);
QUARN_CORE_FUNCTION(Abort);
QUARN_CORE_FUNCTION(RenameFile);
QUARN_CORE_FUNCTION(OldStr);
QUARN_CORE_FUNCTION(OldDate);
QUARN_CORE_FUNCTION(OldExt);
QUARN_CORE_FUNCTION(Exchange);
QUARN_CORE_FUNCTION(Str2Params);
QUARN_CORE_FUNCTION(FileExists);
QUARN_CORE_FUNCTION(In);
QUARN_CORE_FUNCTION(AddOutputAlias);
QUARN_CORE_FUNCTION(LPad);
QUARN_CORE_FUNCTION(RPad);
QUARN_CORE_FUNCTION(String);
QUARN_CORE_FUNCTION(Date);
QUARN_CORE_FUNCTION(Number);
QUARN_CORE_FUNCTION(Boolean);

#undef QUARN_CORE_FUNCTION

} // namespace CoreFunctions
