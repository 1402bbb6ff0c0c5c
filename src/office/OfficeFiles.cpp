#include "OfficeFiles.h"

#include "common/Settings.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

namespace {

TFileOpener &installedOpener()
{
    static TFileOpener opener;
    return opener;
}

void desktopOpen(const QString &path)
{
    // QDesktopServices needs the GUI application; a process without one
    // asks the desktop through xdg-open.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    else
        QProcess::startDetached(QStringLiteral("xdg-open"), {path});
}

std::vector<std::function<void()>> &exitReleases()
{
    static std::vector<std::function<void()>> releases;
    return releases;
}

void runExitReleases()
{
    // Last registered first, as destructors would run.
    auto &releases = exitReleases();
    while (!releases.empty()) {
        std::function<void()> release = std::move(releases.back());
        releases.pop_back();
        release();
    }
}

} // namespace

TFileOpener SetFileOpener(TFileOpener opener)
{
    TFileOpener previous = std::move(installedOpener());
    installedOpener() = std::move(opener);
    return previous;
}

void OpenWithDesktop(const QString &path)
{
    if (ReadSetting(QStringLiteral("OfficeOpen")).trimmed() == QLatin1String("0"))
        return;
    if (installedOpener())
        installedOpener()(path);
    else
        desktopOpen(path);
}

QString OfficeFilePath(const QString &fileName, const QString &defaultSuffix)
{
    QString path = ExpandFileName(fileName.trimmed());
    if (QFileInfo(path).suffix().isEmpty())
        path += defaultSuffix;
    return QDir::cleanPath(path);
}

void ReleaseAtExit(std::function<void()> release)
{
    if (exitReleases().empty())
        qAddPostRoutine(runExitReleases);
    exitReleases().push_back(std::move(release));
}

void TServerObject::checkAlive() const
{
    if (!m_server->Running)
        RaiseOleError(OleStatus::ServerUnavailable);
}

// ---------------------------------------------------------------------------

TOfficeDocument::TOfficeDocument(std::shared_ptr<TServerState> server, QString stem, int number,
                                 QString suffix)
    : TServerObject(std::move(server)), m_stem(std::move(stem)), m_number(number),
      m_suffix(std::move(suffix))
{
}

QString TOfficeDocument::Name() const
{
    if (!m_path.isEmpty())
        return QFileInfo(m_path).fileName();
    return m_stem + QString::number(m_number);
}

QString TOfficeDocument::FullName() const
{
    return m_path.isEmpty() ? Name() : QDir::toNativeSeparators(m_path);
}

QString TOfficeDocument::Path() const
{
    return m_path.isEmpty() ? QString() : QDir::toNativeSeparators(QFileInfo(m_path).absolutePath());
}

void TOfficeDocument::checkAlive() const
{
    TServerObject::checkAlive();
    if (m_closed)
        RaiseOleError(OleStatus::Disconnected);
}

void TOfficeDocument::Save()
{
    if (m_path.isEmpty()) {
        const QDir dir(ProgramDir());
        int n = m_number;
        QString path;
        do
            path = dir.filePath(m_stem + QString::number(n++) + m_suffix);
        while (QFileInfo::exists(path));
        SaveAs(path);
        return;
    }
    writeFile(m_path);
    m_saved = true;
}

void TOfficeDocument::SaveAs(const QString &fileName)
{
    const QString path = OfficeFilePath(fileName, m_suffix);
    writeFile(path);
    m_path = path;
    m_saved = true;
}

void TOfficeDocument::Show()
{
    if (m_path.isEmpty() || !m_saved)
        Save();
    if (!m_shown) {
        m_shown = true;
        OpenWithDesktop(m_path);
    }
}

void TOfficeDocument::Close(bool save)
{
    if (save && !m_saved)
        Save();
    m_closed = true;
}

TDispValue TOfficeDocument::callSave(TDispArgs &)
{
    Save();
    return {};
}

TDispValue TOfficeDocument::callSaveAs(TDispArgs &args)
{
    SaveAs(args.Text(0));
    return {};
}

// ---------------------------------------------------------------------------

TOfficeApplication::TOfficeApplication(QString name)
    : TServerObject(std::make_shared<TServerState>()), m_name(std::move(name))
{
}

void TOfficeApplication::SetVisible(bool visible)
{
    m_visible = visible;
    if (!visible)
        return;
    // A copy: showing may not change the list, but a failure half-way must
    // not leave an iterator behind.
    const auto documents = m_documents;
    for (const auto &document : documents)
        document->Show();
}

void TOfficeApplication::Quit(bool save)
{
    for (const auto &document : m_documents)
        document->Close(save);
    m_documents.clear();
    m_active.reset();
    Server()->Running = false;
}

void TOfficeApplication::closeDocument(const std::shared_ptr<TOfficeDocument> &document, bool save)
{
    document->Close(save);
    std::erase(m_documents, document);
    if (m_active == document)
        m_active = m_documents.empty() ? nullptr : m_documents.back();
}

int CollectionIndex(const TDispValue &index, int count)
{
    const qint64 i = VarToInt(index);
    if (i < 1 || i > count)
        RaiseOleError(OleStatus::BadIndex);
    return int(i);
}

QString ColumnLetters(int column)
{
    QString letters;
    while (column > 0) {
        const int d = (column - 1) % 26;
        letters.prepend(QChar(u'A' + d));
        column = (column - 1) / 26;
    }
    return letters;
}
