#include "DemoDatabase.h"

#include "common/Exceptions.h"
#include "common/Settings.h"
#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

int CreateDemoDatabase(const QStringList &scriptFiles)
{
    const QString file = QDir(ProgramDir()).filePath(QStringLiteral("demo.sqlite"));
    if (QFileInfo::exists(file)) {
        std::printf("DEMO: %s\n", qPrintable(QDir::toNativeSeparators(file)));
        return 0;
    }
    if (scriptFiles.isEmpty()) {
        std::fprintf(stderr, "quarn --create-demo: укажите SQL скрипты базы DEMO\n");
        return 2;
    }
    QStringList scripts;
    for (const QString &name : scriptFiles) {
        QFile script(name);
        if (!script.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "quarn --create-demo: нет файла %s\n", qPrintable(name));
            return 1;
        }
        scripts << QString::fromUtf8(script.readAll());
    }
    try {
        CreateSqliteDatabase(file, scripts);
    } catch (const Exception &e) {
        std::fprintf(stderr, "quarn --create-demo: %s\n", e.what());
        return 1;
    }
    std::printf("DEMO создана: %s\n", qPrintable(QDir::toNativeSeparators(file)));
    return 0;
}
