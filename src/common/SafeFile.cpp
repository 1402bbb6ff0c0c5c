#include "SafeFile.h"


#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr qint64 BufferSize = 1 << 16;
// as many links as the kernel follows in one name
constexpr int MaxLinks = 40;

QByteArray nativeName(const QString &path)
{
    return QFile::encodeName(path);
}

[[noreturn]] void raise(const char *what, const QString &path, const QString &reason)
{
    throw EFileWriteError(QString::fromUtf8(what).arg(path, reason), reason);
}

[[noreturn]] void raise(const char *what, const QString &path, int error)
{
    raise(what, path, FileErrorText(error));
}

// The folder of a native name ("." for a bare name) and the name in it.
QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// Why a file of this kind is not written over; empty for a regular file.
QString specialFileReason(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return FileErrorText(EISDIR);
    if (S_ISFIFO(mode))
        return QStringLiteral("это именованный канал, а не обычный файл");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("это устройство, а не обычный файл");
    if (S_ISSOCK(mode))
        return QStringLiteral("это сокет, а не обычный файл");
    return QStringLiteral("это не обычный файл");
}

// Where a name leads: the native name of the final target and, when that
// exists, its status. A name that cannot be looked at (a missing folder, no
// access) is left to the creation of the file, which says why.
struct TResolved {
    QByteArray path;
    bool exists = false;
    struct stat status {};
};

TResolved resolve(const QString &given)
{
    TResolved r;
    r.path = nativeName(given);
    for (int links = 0;; ++links) {
        if (::lstat(r.path.constData(), &r.status) != 0)
            return r;
        if (!S_ISLNK(r.status.st_mode))
            break;
        if (links == MaxLinks)
            raise("Не могу создать файл %1: %2", given, ELOOP);
        char target[PATH_MAX];
        const ssize_t n = ::readlink(r.path.constData(), target, sizeof target);
        if (n < 0)
            raise("Не могу создать файл %1: %2", given, errno);
        if (size_t(n) == sizeof target)
            raise("Не могу создать файл %1: %2", given, ENAMETOOLONG);
        const QByteArray next(target, n);
        // a relative link is taken against the folder the link is in
        r.path = next.startsWith('/') ? next : folderOf(r.path) + '/' + next;
    }
    r.exists = true;
    const QString reason = specialFileReason(r.status.st_mode);
    if (!reason.isEmpty())
        raise("Не могу создать файл %1: %2", given, reason);
    return r;
}

// The process id in the name of a temporary file of `prefix` (".NAME."):
// ".NAME.PID-XXXXXX~" with six hexadecimal digits; 0 for any other name.
pid_t writerOf(const char *entry, const QByteArray &prefix)
{
    const QByteArrayView name(entry, qsizetype(std::strlen(entry)));
    if (!name.startsWith(prefix) || !name.endsWith('~'))
        return 0;
    const QByteArrayView middle = name.sliced(prefix.size(), name.size() - prefix.size() - 1);
    const qsizetype dash = middle.indexOf('-');
    if (dash <= 0 || middle.size() - dash - 1 != 6)
        return 0;
    for (const char c : middle.sliced(dash + 1))
        if (!std::isxdigit(uchar(c)))
            return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(middle.data(), middle.data() + dash, pid);
    return error == std::errc() && end == middle.data() + dash && pid > 0 ? pid : 0;
}

// Whether the process runs: one that ended but was not waited for yet (a
// zombie) has closed its files and counts as gone.
bool processRuns(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno != EPERM)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    // "pid (name) state ...", the name possibly holding ")" itself
    const QByteArray line = stat.readLine(4096);
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || close + 2 >= line.size() || (line[close + 2] != 'Z' && line[close + 2] != 'X');
}

} // namespace

int RemoveStaleTemporaryFiles(const QString &target)
{
    const QByteArray native = nativeName(target);
    const QByteArray folder = folderOf(native);
    const QByteArray prefix = '.' + nameOf(native) + '.';
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return 0;
    const pid_t self = ::getpid();
    int removed = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const pid_t writer = writerOf(entry->d_name, prefix);
        if (writer == 0 || writer == self || processRuns(writer))
            continue;
        // a writer of another process space (a shared folder) still holds
        // its lock; the file removed is the very one that was looked at
        const QByteArray path = folder + '/' + entry->d_name;
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {}, named {};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::lstat(path.constData(), &named) == 0 && named.st_dev == held.st_dev
            && named.st_ino == held.st_ino && ::unlink(path.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

QString WriteTarget(const QString &path)
{
    return QFile::decodeName(resolve(path).path);
}

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
    case ELOOP: return QStringLiteral("слишком много символических ссылок");
    default: return QString::fromLocal8Bit(std::strerror(error));
    }
}

TSafeFile::TSafeFile(const QString &path) : m_path(path)
{
    // a symbolic link stays a link: its final target is what gets replaced
    const TResolved target = resolve(path);
    m_target = QFile::decodeName(target.path);
    RemoveStaleTemporaryFiles(m_target);
    const QByteArray prefix = folderOf(target.path) + "/." + nameOf(target.path) + '.'
                              + QByteArray::number(qint64(::getpid())) + '-';
    QByteArray temporary;
    int error = 0;
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        temporary = prefix + QByteArray::number(QRandomGenerator::global()->generate() % 0x1000000u, 16)
                                 .rightJustified(6, '0')
                    + '~';
        m_fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0) {
            error = errno;
            if (error != EEXIST)
                break;
            continue;
        }
        // locked while it is ours; a clean-up that got in before the lock
        // took the name away, and another name is taken
        struct stat status {};
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(m_fd, &status) == 0 && status.st_nlink == 0) {
            ::close(m_fd);
            m_fd = -1;
            error = EEXIST;
        }
    }
    if (m_fd < 0)
        raise("Не могу создать файл %1: %2", path, error);
    m_temporary = QFile::decodeName(temporary);
    // the lock lives as long as this second descriptor: past the close that
    // reports late write errors, up to the rename
    m_lock = ::dup(m_fd);
    // the new file keeps the permissions of the one it replaces
    if (target.exists)
        (void)::fchmod(m_fd, target.status.st_mode & 07777);
    QIODevice::open(QIODevice::WriteOnly);
}

TSafeFile::~TSafeFile()
{
    Discard();
}

void TSafeFile::CopyTarget()
{
    QFile old(m_target);
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

void TSafeFile::closeTemporary()
{
    if (m_fd >= 0)
        ::close(std::exchange(m_fd, -1));
    if (!m_temporary.isEmpty()) {
        ::unlink(nativeName(m_temporary).constData());
        m_temporary.clear();
    }
    if (m_lock >= 0)
        ::close(std::exchange(m_lock, -1));
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
    if (::close(std::exchange(m_fd, -1)) != 0)
        fail(errno);
    if (::rename(nativeName(m_temporary).constData(), nativeName(m_target).constData()) != 0)
        fail(errno);
    m_temporary.clear();
    closeTemporary();
    QIODevice::close();
}

void TSafeFile::Discard()
{
    closeTemporary();
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
