#include "DemoDatabase.h"

#include "common/Exceptions.h"
#include "common/Settings.h"
#include "data/Database.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

QStringList DemoScripts()
{
    static const QStringList names = {QStringLiteral("sys_tables_sqlite.sql"), QStringLiteral("demo.sql")};
    // installed: PREFIX/share/quarn; the build tree: build/bin/../../sql
    QStringList folders;
    if (const QString data = ProgramDataDir(); !data.isEmpty())
        folders << data;
    folders << QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../../sql"));
    for (const QString &folder : folders) {
        QStringList files;
        for (const QString &name : names)
            if (const QString file = QDir(folder).filePath(name); QFileInfo(file).isFile())
                files << file;
        if (files.size() == names.size())
            return files;
    }
    return {};
}

int CreateDemoDatabase(const QStringList &scriptFiles)
{
    const QString file = QDir(ProgramDir()).filePath(QStringLiteral("demo.sqlite"));
    if (QFileInfo::exists(file)) {
        std::printf("DEMO: %s\n", qPrintable(QDir::toNativeSeparators(file)));
        return 0;
    }
    const QStringList files = scriptFiles.isEmpty() ? DemoScripts() : scriptFiles;
    if (files.isEmpty()) {
        std::fprintf(stderr, "quarn --create-demo: не найдены SQL скрипты базы DEMO; укажите их\n");
        return 2;
    }
    QStringList scripts;
    for (const QString &name : files) {
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
