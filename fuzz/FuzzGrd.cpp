// The reader of table-state (.GRD) files: any bytes as a file.

#include "common/Exceptions.h"
#include "grid/GridStateFile.h"

#include <QDir>
#include <QFile>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString file = QDir::temp().filePath(QStringLiteral("quarn-fuzz-%1^state.GRD").arg(::getpid()));
    {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    try {
        TGridState state;
        if (ReadGridStateFile(file, state))
            (void)GridStateFileLines(state);
    } catch (const Exception &) {
    }
    return 0;
}
