#include "ReportObject.h"

TReportObject::~TReportObject() = default;
