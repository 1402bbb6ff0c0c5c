#pragma once

#include "script/FuncList.h"

#include <memory>
#include <vector>

class TReportObject;

// Where OpenOLE keeps a link until the report's next Prepare: the run
// objects of the report component (TKtReport), or, for another host, this
// interface.
class TRunObjectOwner {
public:
    virtual ~TRunObjectOwner() = default;
    // Takes the object over and returns it.
    virtual TReportObject &AddRunObject(std::unique_ptr<TReportObject> object) = 0;
};

// The automation functions of the script language.
//
// OpenOLE(Kind): a link to "EXCEL" or "WORD" (TOLELink), kept among the
// report's run objects, as OBJECT.
// AddVarsOLE(W, V1, V2, ...): a new document whose header row names the
// variables, which are bound to its columns.
// AddRecordOLE(W): the bound variables' values as the next row.
// CloseOLE(W): shows the application with the document.
// The last three do nothing when W holds no link (an UNDEFINED W included);
// a W of another type than OBJECT fails with the type mismatch.
// CreateOLEObject(ProgID): the instance of that server that the process
// shares, as DISPATCH.
void FuncOpenOLE(TReportHost &report, TParamList &params, TReportVar &result);
void FuncAddVarsOLE(TReportHost &report, TParamList &params, TReportVar &result);
void FuncAddRecordOLE(TReportHost &report, TParamList &params, TReportVar &result);
void FuncCloseOLE(TReportHost &report, TParamList &params, TReportVar &result);
void FuncCreateOLEObject(TReportHost &report, TParamList &params, TReportVar &result);

// One row of the registration table: the function's place in the
// registration order (1-based), name, minimum argument count, by-reference
// positions and code.
struct TOfficeFuncEntry {
    int Position;
    const char *Name;
    int ArgCount;
    TByRefSet ByRef;
    TFuncImpl Implementation;
};

// The five rows, at positions 58 to 61 and 67:
//   58 OpenOLE 1 -   59 AddVarsOLE 2 all   60 AddRecordOLE 1 {0}
//   61 CloseOLE 1 {0}   67 CreateOLEObject 1 -
const std::vector<TOfficeFuncEntry> &OfficeFuncTable();

// Installs the five implementations into the script library's table of
// built-in functions (InstallBuiltinFunction); the program and the batch
// tool call it once at start. Calling it again does no harm.
void InstallOfficeFunctions();
