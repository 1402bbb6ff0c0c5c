#include "ReportHost.h"

#include "common/Exceptions.h"

TReportHost::~TReportHost() = default;

void TReportHost::Abort(const std::optional<QString> &message)
{
    if (!message)
        throw EAbort();
    throw ECustomReportError(*message);
}
