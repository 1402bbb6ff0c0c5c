#include "FileMapper.h"

#include "common/Exceptions.h"

#include <QFileInfo>
#include <sys/stat.h>

TFileMapper::~TFileMapper()
{
    Close();
}

void TFileMapper::SetFileName(const QString &name)
{
    if (name == m_fileName)
        return;
    Close();
    m_fileName = name;
    if (name.isEmpty())
        return;
    try {
        Open();
    } catch (...) {
        m_fileName.clear();
        throw;
    }
}

void TFileMapper::Open()
{
    Close();
    const bool exists = QFileInfo::exists(m_fileName);
    const bool mustExist = FileCreation == fcOpenExisting || FileCreation == fcTruncateExisting;
    if ((mustExist && !exists) || (FileCreation == fcCreateNew && exists))
        throw Exception(QStringLiteral("Не могу открыть файл"));
    QIODevice::OpenMode mode = FileAccess == faReadWrite || !exists ? QIODevice::ReadWrite
                                                                    : QIODevice::ReadOnly;
    if (FileCreation == fcCreateAlways || FileCreation == fcTruncateExisting)
        mode |= QIODevice::ReadWrite | QIODevice::Truncate;
    m_file.setFileName(m_fileName);
    if (!m_file.open(mode))
        throw Exception(QStringLiteral("Не могу открыть файл"));
    mapOpenFile(mode);
}

void TFileMapper::OpenSame(const TFileMapper &other)
{
    Close();
    m_fileName = other.m_fileName;
    if (!other.m_file.isOpen())
        throw Exception(QStringLiteral("Не могу открыть файл"));
    // the open descriptor names the file itself, whatever became of its name
    m_file.setFileName(QStringLiteral("/proc/self/fd/%1").arg(other.m_file.handle()));
    if (!m_file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Не могу открыть файл"));
    mapOpenFile(QIODevice::ReadOnly);
}

void TFileMapper::mapOpenFile(QIODevice::OpenMode mode)
{
    qint64 size = m_file.size();
    if (size == 0x7fffffff)
        size = 0x7ffffffe;
    if (size < 0) {
        m_file.close();
        throw Exception(QStringLiteral("Не могу сделать отображение"));
    }
    if (size == 0) {
        m_file.close();
        throw Exception(QStringLiteral("Файл имеет нулевой размер"));
    }
    const bool writable = FileProtect == fpReadWrite && (mode & QIODevice::WriteOnly);
    if (FileProtect == fpReadWrite && !writable) {
        m_file.close();
        throw Exception(QStringLiteral("Не могу сделать отображение"));
    }
    const QFileDevice::MemoryMapFlags flags = FileProtect == fpWriteCopy || FileMap == fmCopy
                                                  ? QFileDevice::MapPrivateOption
                                                  : QFileDevice::NoOptions;
    m_base = m_file.map(0, size, flags);
    if (!m_base) {
        m_file.close();
        throw Exception(QStringLiteral("Файл имеет нулевой размер"));
    }
    m_size = size;
    m_open = true;
}

void TFileMapper::Close()
{
    if (m_base)
        m_file.unmap(m_base);
    m_base = nullptr;
    if (m_file.isOpen())
        m_file.close();
    m_size = 0;
    m_open = false;
}

void TFileMapper::check(qint64 i, qint64 limit) const
{
    if (!m_open)
        throw Exception(QStringLiteral("Файл не открыт"));
    if (i < 0 || i > limit)
        throw Exception(QStringLiteral("Индекс вне диапазона"));
}

const char *TFileMapper::Address(qint64 i) const
{
    check(i, m_size);
    return Data() + i;
}

char TFileMapper::Byte(qint64 i) const
{
    check(i, m_size - 1);
    return Data()[i];
}

qint64 TFileMapper::CurrentSize() const
{
    struct stat st {};
    if (!m_file.isOpen() || ::fstat(m_file.handle(), &st) != 0)
        return -1;
    return qint64(st.st_size);
}
