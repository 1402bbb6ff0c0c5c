#include "SafeFile.h"


#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr qint64 BufferSize = 1 << 16;

QByteArray nativeName(const QString &path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void raise(const char *what, const QString &path, int error)
{
    const QString reason = FileErrorText(error);
    throw EFileWriteError(QString::fromUtf8(what).arg(path, reason), reason);
}

} // namespace

QString FileErrorText(int error)
{
    switch (error) {
    case ENOSPC: return QStringLiteral("нет места на диске");
    case EDQUOT: return QStringLiteral("превышена дисковая квота");
    case EFBIG: return QStringLiteral("файл слишком велик");
    case EACCES:
    case EPERM: return QStringLiteral("нет доступа");
    case EROFS: return QStringLiteral("диск доступен только для чтения");
    case ENOENT: return QStringLiteral("папка не существует");
    case ENOTDIR: return QStringLiteral("в пути есть файл вместо папки");
    case EISDIR: return QStringLiteral("это папка");
    case ENAMETOOLONG: return QStringLiteral("слишком длинное имя");
    case EIO: return QStringLiteral("ошибка ввода-вывода");
    case EMFILE:
    case ENFILE: return QStringLiteral("слишком много открытых файлов");
    case ENOMEM: return QStringLiteral("не хватает памяти");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

TSafeFile::TSafeFile(const QString &path)
{
    // A symbolic link stays a link: its target is what gets replaced.
    const QFileInfo info(path);
    m_path = info.isSymLink() ? info.symLinkTarget() : path;
    const QFileInfo target(m_path);
    const QString dir = target.absolutePath();
    struct stat old {};
    const bool exists = ::stat(nativeName(m_path).constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        raise("Не могу создать файл %1: %2", path, EISDIR);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString suffix = QString::number(QRandomGenerator::global()->generate() % 0x1000000u, 16);
        m_temporary = QDir(dir).filePath(QLatin1Char('.') + target.fileName() + QLatin1Char('.') + suffix + QLatin1Char('~'));
        m_fd = ::open(nativeName(m_temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0 || errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        const int error = errno;
        m_temporary.clear();
        raise("Не могу создать файл %1: %2", path, error);
    }
    // the new file keeps the permissions of the one it replaces
    if (exists)
        (void)::fchmod(m_fd, old.st_mode & 07777);
    QIODevice::open(QIODevice::WriteOnly);
}

TSafeFile::~TSafeFile()
{
    Discard();
}

void TSafeFile::CopyTarget()
{
    QFile old(m_path);
    if (!old.exists())
        return;
    if (!old.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Не могу открыть файл %1: %2").arg(m_path, old.errorString()));
    QByteArray chunk;
    while (!(chunk = old.read(BufferSize)).isEmpty())
        Write(chunk);
    if (old.error() != QFileDevice::NoError) {
        Discard();
        throw Exception(QStringLiteral("Не могу открыть файл %1: %2").arg(m_path, old.errorString()));
    }
}

bool TSafeFile::writeAll(const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

bool TSafeFile::flushBuffer()
{
    if (m_buffer.isEmpty())
        return true;
    const bool ok = writeAll(m_buffer.constData(), m_buffer.size());
    m_buffer.clear();
    return ok;
}

qint64 TSafeFile::writeData(const char *data, qint64 size)
{
    if (m_fd < 0 || m_error)
        return -1;
    if (m_buffer.size() + size > BufferSize) {
        if (!flushBuffer())
            return -1;
        if (size >= BufferSize) {
            if (!writeAll(data, size))
                return -1;
            m_size += size;
            return size;
        }
    }
    m_buffer.append(data, size);
    m_size += size;
    return size;
}

void TSafeFile::Write(const char *data, qint64 size)
{
    if (m_fd < 0)
        raise("Ошибка записи в файл %1: %2", m_path, EBADF);
    if (writeData(data, size) != size)
        fail(m_error ? m_error : EIO);
}

void TSafeFile::fail(int error)
{
    Discard();
    raise("Ошибка записи в файл %1: %2", m_path, error);
}

void TSafeFile::Commit()
{
    if (m_fd < 0)
        raise("Ошибка записи в файл %1: %2", m_path, EBADF);
    if (m_error || !flushBuffer())
        fail(m_error);
    // space is sometimes given out only when the data goes to the disk, and
    // close reports what the file system found late; both are checked
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
        fail(errno);
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(nativeName(m_temporary).constData());
        m_temporary.clear();
        QIODevice::close();
        raise("Ошибка записи в файл %1: %2", m_path, error);
    }
    if (::rename(nativeName(m_temporary).constData(), nativeName(m_path).constData()) != 0) {
        const int error = errno;
        ::unlink(nativeName(m_temporary).constData());
        m_temporary.clear();
        QIODevice::close();
        raise("Ошибка записи в файл %1: %2", m_path, error);
    }
    m_temporary.clear();
    QIODevice::close();
}

void TSafeFile::Discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(nativeName(m_temporary).constData());
        m_temporary.clear();
    }
    m_buffer.clear();
    if (isOpen())
        QIODevice::close();
}

void WriteFileSafely(const QString &path, const QByteArray &bytes)
{
    TSafeFile file(path);
    file.Write(bytes);
    file.Commit();
}
