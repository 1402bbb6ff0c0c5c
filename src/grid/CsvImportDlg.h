#pragma once

#include "CsvImport.h"

#include <QDialog>
#include <QMap>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TDBDataSet;

// "Импорт из CSV": loads the rows of a CSV file into the one table a grid
// shows for editing. The file (typed, or chosen with "..."), its separator
// and encoding (guessed from the file when it is chosen, changeable), and
// whether its first line holds the titles; the first 20 rows as they are
// read; and for each column of the file the table column it goes to,
// preset where a title is a column's name (or its title in the grid),
// "(пропустить)" to leave it out. "&Загрузить" converts every value first
// and, when any is wrong, lists the errors (the first 50) and loads
// nothing; otherwise it inserts every row in one transaction (TCsvImport),
// reopens the grid's dataset and says "Загружено строк: N".
class TCsvImportDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int PreviewRows = 20;

    // `titles`: a shown field's name, lower-cased, to its title in the grid.
    TCsvImportDlg(QWidget *parent, TDBDataSet &dataSet, const QMap<QString, QString> &titles = {});
    ~TCsvImportDlg() override;

    // Reads the file named in FileEdit and guesses how it is written.
    void OpenFile();
    // The table column chosen for a column of the file (-1: skipped).
    int Target(int fileColumn) const;
    // The box choosing it.
    QComboBox *TargetBox(int fileColumn) const;
    // Loads the rows as "&Загрузить" does; the rows loaded, -1 when nothing
    // was (errors in the file: they were shown).
    qint64 Load();
    const TCsvImport &Import() const { return m_import; }

    QLineEdit *FileEdit = nullptr;
    QPushButton *BrowseBtn = nullptr;
    QComboBox *SeparatorBox = nullptr;
    QComboBox *CodePageBox = nullptr;
    QCheckBox *HeaderCheck = nullptr;
    QTableWidget *PreviewGrid = nullptr;
    QTableWidget *MappingGrid = nullptr;
    QPushButton *LoadBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

private:
    void browse();
    void decode();
    void refresh();

    TDBDataSet &m_dataSet;
    TCsvImport m_import;
    QMap<QString, QString> m_titles;
    QString m_file;        // the file whose bytes are read
    QByteArray m_bytes;
};
