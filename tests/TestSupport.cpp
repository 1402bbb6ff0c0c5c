#include "TestSupport.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

TTestEnvironment::TTestEnvironment()
{
    qputenv("QUARN_HOME", m_home.path().toLocal8Bit());
    qputenv("QUARN_CONFIG", m_config.path().toLocal8Bit());
    // Qt asks for it when it starts a GUI application, even offscreen
    qputenv("XDG_RUNTIME_DIR", m_home.path().toLocal8Bit());
}

TFullFolder::TFullFolder()
{
    if (!m_dir.isValid()) {
        m_why = QStringLiteral("no temporary folder");
        return;
    }
    if (::mount("quarn-full", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, "size=512k,mode=0777") != 0) {
        m_why = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_mounted = true;
}

TFullFolder::~TFullFolder()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

void TFullFolder::put(const QString &name, const QByteArray &bytes) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush())
        qFatal("cannot prepare %s", qPrintable(f.fileName()));
}

bool TFullFolder::fill() const
{
    const int fd = ::open(QFile::encodeName(file(QStringLiteral("filler"))).constData(),
                          O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return false;
    static const char block[4096] = {};
    for (size_t chunk : {sizeof block, size_t(1)})
        while (::write(fd, block, chunk) > 0) {
        }
    const bool full = errno == ENOSPC && ::write(fd, block, 1) < 0;
    ::close(fd);
    return full;
}

QStringList TFullFolder::names() const
{
    QStringList list = QDir(path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                              QDir::Name);
    list.removeAll(QStringLiteral("filler"));
    return list;
}

