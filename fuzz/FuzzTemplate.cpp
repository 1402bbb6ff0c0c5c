// The template compiler: any bytes as a template (in the code page), compiled
// and listed. Errors of the template are expected; crashes are not.

#include "common/Exceptions.h"
#include "common/TextFile.h"
#include "report/KtReport.h"
#include "report/TextMeasurer.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString text = DecodeText(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    TKtReport report;
    report.SetMeasurer(std::make_unique<TFixedPitchMeasurer>(300));
    report.SetFormatSource(text.split(u'\n'));
    try {
        report.Prepare();
        (void)report.Listing();
    } catch (const Exception &) {
    }
    return 0;
}
