#include "CsvImportDlg.h"

#include "GridExportCommands.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "data/Query.h"
#include "uisupport/Guard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TCsvImportDlg::TCsvImportDlg(QWidget *parent, TDBDataSet &dataSet, const QMap<QString, QString> &titles)
    : QDialog(parent), m_dataSet(dataSet), m_import(*dataSet.Database(), dataSet.EditedTable()), m_titles(titles)
{
    setObjectName(QStringLiteral("CsvImportDlg"));
    setWindowTitle(QStringLiteral("Импорт из CSV в таблицу ") + m_import.Table());
    auto *layout = new QVBoxLayout(this);

    auto *top = new QGridLayout;
    FileEdit = new QLineEdit(this);
    FileEdit->setObjectName(QStringLiteral("FileEdit"));
    BrowseBtn = new QPushButton(QStringLiteral("..."), this);
    BrowseBtn->setObjectName(QStringLiteral("BrowseBtn"));
    BrowseBtn->setAutoDefault(false);
    auto *fileLabel = new QLabel(QStringLiteral("&Файл:"), this);
    fileLabel->setBuddy(FileEdit);
    top->addWidget(fileLabel, 0, 0);
    top->addWidget(FileEdit, 0, 1, 1, 4);
    top->addWidget(BrowseBtn, 0, 5);

    SeparatorBox = new QComboBox(this);
    SeparatorBox->setObjectName(QStringLiteral("SeparatorBox"));
    SeparatorBox->addItem(QStringLiteral("Запятая ( , )"), QChar(u','));
    SeparatorBox->addItem(QStringLiteral("Точка с запятой ( ; )"), QChar(u';'));
    SeparatorBox->addItem(QStringLiteral("Табуляция"), QChar(u'\t'));
    auto *separatorLabel = new QLabel(QStringLiteral("&Разделитель:"), this);
    separatorLabel->setBuddy(SeparatorBox);
    CodePageBox = new QComboBox(this);
    CodePageBox->setObjectName(QStringLiteral("CodePageBox"));
    CodePageBox->addItem(QStringLiteral("UTF-8"), int(TCsvEncoding::Utf8));
    CodePageBox->addItem(QStringLiteral("Кодовая страница программы (%1)").arg(CodePageName()), int(TCsvEncoding::CodePage));
    auto *codePageLabel = new QLabel(QStringLiteral("&Кодировка:"), this);
    codePageLabel->setBuddy(CodePageBox);
    HeaderCheck = new QCheckBox(QStringLiteral("Первая строка - &заголовки"), this);
    HeaderCheck->setObjectName(QStringLiteral("HeaderCheck"));
    HeaderCheck->setChecked(true);
    top->addWidget(separatorLabel, 1, 0);
    top->addWidget(SeparatorBox, 1, 1);
    top->addWidget(codePageLabel, 1, 2);
    top->addWidget(CodePageBox, 1, 3);
    top->addWidget(HeaderCheck, 1, 4, 1, 2);
    layout->addLayout(top);

    auto *previewLabel = new QLabel(QStringLiteral("&Просмотр (первые %1 строк):").arg(PreviewRows), this);
    PreviewGrid = new QTableWidget(this);
    PreviewGrid->setObjectName(QStringLiteral("PreviewGrid"));
    PreviewGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    previewLabel->setBuddy(PreviewGrid);
    layout->addWidget(previewLabel);
    layout->addWidget(PreviewGrid, 2);

    auto *mappingLabel = new QLabel(QStringLiteral("&Столбцы:"), this);
    MappingGrid = new QTableWidget(0, 2, this);
    MappingGrid->setObjectName(QStringLiteral("MappingGrid"));
    MappingGrid->setHorizontalHeaderLabels({QStringLiteral("Столбец файла"), QStringLiteral("Столбец таблицы")});
    MappingGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MappingGrid->horizontalHeader()->setStretchLastSection(true);
    mappingLabel->setBuddy(MappingGrid);
    layout->addWidget(mappingLabel);
    layout->addWidget(MappingGrid, 1);

    auto *buttons = new QHBoxLayout;
    LoadBtn = new QPushButton(QStringLiteral("&Загрузить"), this);
    LoadBtn->setObjectName(QStringLiteral("LoadBtn"));
    // Enter in the file's box reads the file; loading is asked for apart
    LoadBtn->setAutoDefault(false);
    CancelBtn = new QPushButton(QStringLiteral("Отмена"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(LoadBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);

    connect(FileEdit, &QLineEdit::editingFinished, this, [this] {
        Guarded(this, [this] {
            if (FileEdit->text().trimmed() != m_file)
                OpenFile();
        });
    });
    connect(BrowseBtn, &QPushButton::clicked, this, [this] { Guarded(this, [this] { browse(); }); });
    connect(SeparatorBox, &QComboBox::currentIndexChanged, this, [this] { Guarded(this, [this] { refresh(); }); });
    connect(CodePageBox, &QComboBox::currentIndexChanged, this, [this] { Guarded(this, [this] { decode(); }); });
    connect(HeaderCheck, &QCheckBox::toggled, this, [this] { Guarded(this, [this] { refresh(); }); });
    connect(LoadBtn, &QPushButton::clicked, this, [this] { Guarded(this, [this] { Load(); }); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    resize(720, 560);
    FileEdit->setFocus();
}

TCsvImportDlg::~TCsvImportDlg() = default;

void TCsvImportDlg::browse()
{
    const QString name = UserInterface().OpenFileName(
        QStringLiteral("Импорт из CSV"),
        QStringLiteral("Файлы CSV (*.csv)|*.csv|Текстовые файлы (*.txt)|*.txt|Все файлы (*.*)|*.*"),
        m_file.isEmpty() ? ProgramDir() : QFileInfo(m_file).path());
    if (name.isEmpty())
        return;
    FileEdit->setText(name);
    OpenFile();
}

void TCsvImportDlg::OpenFile()
{
    const QString name = FileEdit->text().trimmed();
    m_file = name;
    m_bytes.clear();
    if (!name.isEmpty()) {
        QFile file(ExpandFileName(name));
        if (!file.open(QIODevice::ReadOnly)) {
            refresh();
            throw Exception(QStringLiteral("Не могу открыть файл %1").arg(name));
        }
        m_bytes = file.readAll();
    }
    // how the file is written, guessed from its bytes and first line
    const QSignalBlocker separatorQuiet(SeparatorBox), codePageQuiet(CodePageBox);
    const TCsvEncoding encoding = GuessCsvEncoding(m_bytes);
    CodePageBox->setCurrentIndex(CodePageBox->findData(int(encoding)));
    m_import.SetText(DecodeCsv(m_bytes, encoding));
    SeparatorBox->setCurrentIndex(SeparatorBox->findData(GuessCsvSeparator(m_import.Text())));
    refresh();
}

void TCsvImportDlg::decode()
{
    m_import.SetText(DecodeCsv(m_bytes, TCsvEncoding(CodePageBox->currentData().toInt())));
    refresh();
}

void TCsvImportDlg::refresh()
{
    m_import.Separator = SeparatorBox->currentData().toChar();
    m_import.Header = HeaderCheck->isChecked();
    const QStringList titles = m_import.Titles();

    const QList<QStringList> rows = m_import.Preview(PreviewRows);
    PreviewGrid->clear();
    PreviewGrid->setColumnCount(int(titles.size()));
    PreviewGrid->setRowCount(int(rows.size()));
    PreviewGrid->setHorizontalHeaderLabels(titles);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < rows[r].size() && c < titles.size(); ++c)
            PreviewGrid->setItem(r, c, new QTableWidgetItem(rows[r][c]));

    const QList<int> targets = m_import.MatchTitles(m_titles);
    MappingGrid->setRowCount(int(titles.size()));
    const QList<TColumnDesc> &columns = m_import.TableColumns();
    for (int i = 0; i < titles.size(); ++i) {
        MappingGrid->setItem(i, 0, new QTableWidgetItem(titles[i]));
        auto *box = new QComboBox(MappingGrid);
        box->setObjectName(QStringLiteral("TargetBox%1").arg(i + 1));
        box->addItem(QStringLiteral("(пропустить)"), -1);
        for (int c = 0; c < columns.size(); ++c)
            if (TCsvImport::Loadable(columns[c]))
                box->addItem(columns[c].Name, c);
        box->setCurrentIndex(std::max(0, box->findData(targets.value(i, -1))));
        MappingGrid->setCellWidget(i, 1, box);
    }
}

QComboBox *TCsvImportDlg::TargetBox(int fileColumn) const
{
    return qobject_cast<QComboBox *>(MappingGrid->cellWidget(fileColumn, 1));
}

int TCsvImportDlg::Target(int fileColumn) const
{
    const QComboBox *box = TargetBox(fileColumn);
    return box ? box->currentData().toInt() : -1;
}

qint64 TCsvImportDlg::Load()
{
    if (m_file != FileEdit->text().trimmed() || m_bytes.isEmpty())
        OpenFile();   // typed and not read yet, or unreadable when it was
    if (m_file.isEmpty())
        throw Exception(QStringLiteral("Не выбран файл"));
    m_import.Targets.clear();
    for (int i = 0; i < MappingGrid->rowCount(); ++i)
        m_import.Targets.append(Target(i));
    qint64 loaded = 0;
    {
        TWorkProgress progress(this, windowTitle(), QStringLiteral("Прочитано строк: "));
        const TCsvImport::TCheck check = m_import.Check(50, progress.Callback());
        if (check.ErrorCount > 0) {
            QString text = QStringLiteral("Файл не загружен: ошибок %1").arg(check.ErrorCount);
            if (check.ErrorCount > check.Errors.size())
                text += QStringLiteral(" (первые %1)").arg(check.Errors.size());
            UserInterface().MessageDlg(text + QStringLiteral(":\n") + check.Errors.join(u'\n'), QString(),
                                       TUserInterface::mtError, {TUserInterface::mbOK});
            return -1;
        }
    }
    {
        TWorkProgress progress(this, windowTitle(), QStringLiteral("Загружено строк: "));
        loaded = m_import.Load(progress.Callback());
    }
    // the grid shows the table as it is now, the new rows among the others
    m_dataSet.Close();
    m_dataSet.Open();
    UserInterface().MessageDlg(QStringLiteral("Загружено строк: %1").arg(loaded), QString(),
                               TUserInterface::mtInformation, {TUserInterface::mbOK});
    accept();
    return loaded;
}
