#include "OpenDbDlg.h"

#include "AliasesDlg.h"
#include "RecentDatabases.h"
#include "Application.h"

#include "common/Settings.h"
#include "data/Catalog.h"

#include "uisupport/Fitting.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// Title and width in characters of each column of the alias list.
struct TAliasColumn {
    const char *field;
    QString title;
    int width;
};

const TAliasColumn aliasColumns[] = {
    {"NAME", QStringLiteral("Название"), 22},
    {"DBTYPE", QStringLiteral("Тип"), 15},
    {"PHYNAME", QStringLiteral("Расположение"), 40},
};

} // namespace

TOpenDbDlg::TOpenDbDlg(QWidget *parent, std::unique_ptr<TDataSet> aliasList)
    : QDialog(parent), m_aliasList(aliasList ? std::move(aliasList) : std::make_unique<TDatabaseList>())
{
    setObjectName(QStringLiteral("OpenDbDlg"));
    setWindowTitle(QStringLiteral("Базы данных"));
    // No window icons: only the title.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);
    m_aliasList->SetName(QStringLiteral("AliasList"));

    AliasGrid = new QTableWidget(this);
    AliasGrid->setObjectName(QStringLiteral("AliasGrid"));
    AliasGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    AliasGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    AliasGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    AliasGrid->verticalHeader()->hide();
    AliasGrid->horizontalHeader()->setStretchLastSection(true);
    AliasGrid->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    AliasGrid->setWordWrap(false);
    AliasGrid->setColumnCount(int(std::size(aliasColumns)));
    const int charWidth = AliasGrid->fontMetrics().averageCharWidth();
    int width = 0;
    for (int c = 0; c < AliasGrid->columnCount(); ++c) {
        AliasGrid->setHorizontalHeaderItem(c, new QTableWidgetItem(aliasColumns[c].title));
        const int w = aliasColumns[c].width * charWidth + 8;
        AliasGrid->setColumnWidth(c, w);
        width += w;
    }
    AliasGrid->setMinimumSize(width + 4, 12 * AliasGrid->verticalHeader()->defaultSectionSize());
    connect(AliasGrid, &QTableWidget::cellDoubleClicked, this, [this] {
        if (OKBtn->isEnabled())
            Guarded(this, [this] { OKBtnClick(); });
    });

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, Guard(this, &TOpenDbDlg::OKBtnClick));
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    AliasesBtn = new QPushButton(QStringLiteral("&Псевдонимы..."), this);
    AliasesBtn->setObjectName(QStringLiteral("AliasesBtn"));
    AliasesBtn->setAutoDefault(false);
    connect(AliasesBtn, &QPushButton::clicked, this, [this] {
        Guarded(this, [this] {
            TAliasesDlg aliases(this);
            aliases.exec();
            m_aliasList->Close();
            FormShow();
            // the alias just added or changed is the one chosen
            if (const QString saved = aliases.LastSaved(); !saved.isEmpty())
                for (QTableWidgetItem *item : AliasGrid->findItems(saved, Qt::MatchExactly))
                    if (item->column() == 0)
                        AliasGrid->setCurrentCell(item->row(), 0);
        });
    });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(AliasesBtn);
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(AliasGrid, 1);
    layout->addLayout(buttons);
}

TOpenDbDlg::~TOpenDbDlg() = default;

void TOpenDbDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Guarded(this, [this] { FormShow(); });
}

void TOpenDbDlg::hideEvent(QHideEvent *event)
{
    m_aliasList->Close();
    AliasGrid->setRowCount(0);
    QDialog::hideEvent(event);
}

void TOpenDbDlg::FormShow()
{
    OKBtn->setEnabled(false);
    m_aliasList->Open();
    fillGrid();
    OKBtn->setEnabled(!m_aliasList->IsEmpty());
    AliasGrid->setFocus();
}

void TOpenDbDlg::fillGrid()
{
    TDataSet &list = *m_aliasList;
    // The list's own fields carry the titles and widths shown.
    for (const TAliasColumn &c : aliasColumns) {
        TField *f = list.FieldByName(QLatin1String(c.field));
        f->SetDisplayLabel(c.title);
        f->SetDisplayWidth(c.width);
    }
    // the databases opened last come first, the newest at the top
    QStringList recent;
    const QList<TAlias> aliases = Session().Aliases();
    for (const QString &entry : RecentDatabases::List()) {
        if (!RecentDatabases::IsFile(entry)) {
            recent << entry.toUpper();
            continue;
        }
        for (const TAlias &a : aliases)   // the alias of a file opened before, if it has one now
            if (a.Driver == u"QSQLITE" && QDir::cleanPath(ExpandFileName(a.Database)) == entry)
                recent << a.Name.toUpper();
    }
    struct TRow {
        int rank;
        QStringList cells;
        QString tip;
    };
    std::vector<TRow> rows;
    for (list.First(); !list.Eof(); list.Next()) {
        const QString name = list.FieldByName(QStringLiteral("NAME"))->AsString();
        TAlias alias;
        TRow r{int(recent.indexOf(name.toUpper())), {}, Session().FindAlias(name, alias) ? alias.Description : QString()};
        if (r.rank < 0)
            r.rank = int(recent.size());
        for (const TAliasColumn &c : aliasColumns)
            r.cells << list.FieldByName(QLatin1String(c.field))->DisplayText();
        rows.push_back(r);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const TRow &a, const TRow &b) { return a.rank < b.rank; });
    AliasGrid->setRowCount(0);
    int row = 0;
    for (const TRow &r : rows) {
        AliasGrid->insertRow(row);
        for (int c = 0; c < int(r.cells.size()); ++c) {
            auto *item = new QTableWidgetItem(r.cells[c]);
            item->setToolTip(r.tip);
            AliasGrid->setItem(row, c, item);
        }
        ++row;
    }
    FitColumnsToTexts(*AliasGrid);
    if (row > 0) {
        list.First();
        AliasGrid->setCurrentCell(0, 0);
    }
}

void TOpenDbDlg::OKBtnClick()
{
    const QTableWidgetItem *chosen = AliasGrid->item(AliasGrid->currentRow(), 0);
    if (!chosen || m_aliasList->IsEmpty())
        return;
    // the grid's rows stand in another order than the list's
    TDataSet &list = *m_aliasList;
    for (list.First(); !list.Eof(); list.Next())
        if (list.FieldByName(QStringLiteral("NAME"))->AsString() == chosen->text()) {
            m_databaseName = chosen->text();
            m_databaseType = list.FieldByName(QStringLiteral("DBTYPE"))->AsString();
            accept();
            return;
        }
}
