#include "EditForm.h"

#include "FileViewer.h"

#include "common/Format.h"
#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "uisupport/DefaultPrinter.h"
#include "uisupport/Guard.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontComboBox>
#include <QFontDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSpinBox>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTextList>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

const QString Untitled = QStringLiteral("Untitled");
const QString FileFilter = QStringLiteral("Файл отчета (*.PRN);;Файл формата (*.FMT);;Текстовый файл (*.TXT);;"
                                          "RTF файл (*.RTF);;Все файлы (*.*)");
constexpr int MarkerWidth = 8;

// A toolbar button: a standard picture or a short sign, the hint as its
// tooltip (a hint is written "short|long": the short part).
QAction *tool(QToolBar *bar, const QString &hint, const QVariant &look, bool checkable = false)
{
    const QString text = hint.section(u'|', 0, 0);
    QAction *a = look.typeId() == QMetaType::Int
                     ? bar->addAction(bar->style()->standardIcon(QStyle::StandardPixmap(look.toInt())), text)
                     : bar->addAction(look.toString());
    a->setToolTip(text);
    a->setObjectName(text);
    a->setCheckable(checkable);
    return a;
}

QFont styled(QFont f, bool bold, bool italic, bool underline)
{
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    return f;
}

} // namespace

// ---------------------------------------------------------------- ruler

TRuler::TRuler(TEditForm &form) : QWidget(&form), m_form(form)
{
    setObjectName(QStringLiteral("Ruler"));
    setMouseTracking(false);
}

QSize TRuler::sizeHint() const
{
    return QSize(400, 22);
}

int TRuler::FirstMarker() const
{
    double first, left, right;
    m_form.ParagraphIndents(first, left, right);
    return int(first * 4 / 3) + 2;
}

int TRuler::LeftMarker() const
{
    double first, left, right;
    m_form.ParagraphIndents(first, left, right);
    return int((left + first) * 4 / 3) + 2;
}

int TRuler::RightMarker() const
{
    double first, left, right;
    m_form.ParagraphIndents(first, left, right);
    return width() - int((right + 6) * 4 / 3) - 6;
}

void TRuler::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
    p.setPen(palette().color(QPalette::Mid));
    // a tick every tab stop, as the text's tabs fall
    const int tab = std::max(8, int(m_form.Editor->tabStopDistance()));
    for (int x = 6; x < width(); x += tab)
        p.drawLine(x, height() - 6, x, height() - 2);
    p.setPen(palette().color(QPalette::Text));
    p.setBrush(palette().color(QPalette::Button));
    const auto marker = [&](int index, int x, bool top) {
        if (m_dragged == index)
            x = m_dragLeft;
        const QPolygon shape = top ? QPolygon({QPoint(x, 1), QPoint(x + MarkerWidth, 1), QPoint(x + MarkerWidth / 2, 7)})
                                   : QPolygon({QPoint(x, height() - 2), QPoint(x + MarkerWidth, height() - 2),
                                               QPoint(x + MarkerWidth / 2, height() - 9)});
        p.drawPolygon(shape);
    };
    marker(0, FirstMarker(), true);
    marker(1, LeftMarker(), false);
    marker(2, RightMarker(), false);
}

void TRuler::mousePressEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    const bool top = event->position().y() < height() / 2;
    const int markers[3] = {FirstMarker(), LeftMarker(), RightMarker()};
    for (int i : {top ? 0 : 1, 2, top ? 1 : 0})
        if (x >= markers[i] && x <= markers[i] + MarkerWidth) {
            m_dragged = i;
            m_grab = x - markers[i];
            m_dragLeft = markers[i];
            return;
        }
}

void TRuler::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragged < 0)
        return;
    m_dragLeft = event->position().toPoint().x() - m_grab;
    update();
}

void TRuler::mouseReleaseEvent(QMouseEvent *)
{
    if (m_dragged < 0)
        return;
    double first, left, right;
    m_form.ParagraphIndents(first, left, right);
    switch (m_dragged) {
    case 0: {
        // the left marker stays where it was
        const double newFirst = (m_dragLeft + m_grab - 6) * 0.75;
        left = (LeftMarker() - 2) * 0.75 - newFirst;
        first = newFirst;
        break;
    }
    case 1:
        left = (m_dragLeft + m_grab - 6) * 0.75 - first;
        break;
    default:
        right = (width() + m_grab - m_dragLeft - 2) * 0.75 - 12;
        break;
    }
    m_dragged = -1;
    m_form.SetParagraphIndents(std::max(0.0, first), left, std::max(0.0, right));
    m_form.UpdateToolbar();
    update();
}

// ---------------------------------------------------------------- editor

TEditForm::TEditForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("EditForm"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *menu = new QMenuBar(this);
    layout->setMenuBar(menu);
    ToolBar = new QToolBar(this);
    layout->addWidget(ToolBar);
    Ruler = new TRuler(*this);
    layout->addWidget(Ruler);
    Editor = new QTextEdit(this);
    Editor->setObjectName(QStringLiteral("Editor"));
    Editor->setLineWrapMode(QTextEdit::NoWrap);
    Editor->setAcceptRichText(false);
    Editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Editor->document()->setDocumentMargin(6);   // the text kept off the edges
    QFont mono(QStringLiteral("Liberation Mono"), 10);
    mono.setStyleHint(QFont::Monospace);
    Editor->document()->setDefaultFont(mono);
    layout->addWidget(Editor, 1);
    StatusLine = new QLabel(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    layout->addWidget(StatusLine);

    const auto guarded = [this](auto f) { return [this, f] { Guarded(this, f); }; };
    QMenu *file = menu->addMenu(QStringLiteral("&Файл"));
    connect(file->addAction(QStringLiteral("&Новый")), &QAction::triggered, this, guarded([this] { NewClick(); }));
    connect(file->addAction(QStringLiteral("&Открыть...")), &QAction::triggered, this, guarded([this] { OpenClick(); }));
    connect(file->addAction(QStringLiteral("&Сохранить")), &QAction::triggered, this, guarded([this] { SaveClick(); }));
    connect(file->addAction(QStringLiteral("Сохранить &как")), &QAction::triggered, this, guarded([this] { SaveAsClick(); }));
    connect(file->addAction(QStringLiteral("Сохранить &фрагмент")), &QAction::triggered, this,
            guarded([this] { SaveFragmentClick(); }));
    connect(file->addAction(QStringLiteral("Пе&чать")), &QAction::triggered, this, guarded([this] { PrintClick(); }));
    connect(file->addAction(QStringLiteral("Настройка п&ечати...")), &QAction::triggered, this, guarded([this] {
                QPrinter printer;
                QPageSetupDialog(&printer, this).exec();
            }));
    file->addSeparator();
    connect(file->addAction(QStringLiteral("В&ыход")), &QAction::triggered, this, &QDialog::close);
    QMenu *edit = menu->addMenu(QStringLiteral("&Правка"));
    connect(edit->addAction(QStringLiteral("&Откат")), &QAction::triggered, Editor, &QTextEdit::undo);
    connect(edit->addAction(QStringLiteral("&Вырезать")), &QAction::triggered, Editor, &QTextEdit::cut);
    connect(edit->addAction(QStringLiteral("&Копировать")), &QAction::triggered, Editor, &QTextEdit::copy);
    connect(edit->addAction(QStringLiteral("Встави&ть")), &QAction::triggered, Editor, &QTextEdit::paste);
    connect(edit->addAction(QStringLiteral("&Шрифт...")), &QAction::triggered, this, guarded([this] { FontClick(); }));

    connect(tool(ToolBar, QStringLiteral("Открыть|"), int(QStyle::SP_DialogOpenButton)), &QAction::triggered, this, guarded([this] { OpenClick(); }));
    connect(tool(ToolBar, QStringLiteral("Сохранить|"), int(QStyle::SP_DialogSaveButton)), &QAction::triggered, this, guarded([this] { SaveClick(); }));
    connect(tool(ToolBar, QStringLiteral("Печать|"), QStringLiteral("Печ.")), &QAction::triggered, this, guarded([this] { PrintClick(); }));
    connect(tool(ToolBar, QStringLiteral("Откат|"), int(QStyle::SP_ArrowBack)), &QAction::triggered, Editor, &QTextEdit::undo);
    connect(tool(ToolBar, QStringLiteral("Вырезать|"), QStringLiteral("✂")), &QAction::triggered, Editor, &QTextEdit::cut);
    connect(tool(ToolBar, QStringLiteral("Копировать|"), QStringLiteral("Коп.")), &QAction::triggered, Editor, &QTextEdit::copy);
    connect(tool(ToolBar, QStringLiteral("Вставить|"), QStringLiteral("Вст.")), &QAction::triggered, Editor, &QTextEdit::paste);
    ToolBar->addSeparator();
    BoldBtn = tool(ToolBar, QStringLiteral("Полужирный"), QStringLiteral("Ж"), true);
    ItalicBtn = tool(ToolBar, QStringLiteral("Курсив"), QStringLiteral("К"), true);
    LeftAlign = tool(ToolBar, QStringLiteral("Выровнять влево"), QStringLiteral("⇤"), true);
    CenterAlign = tool(ToolBar, QStringLiteral("Выровнять по центру"), QStringLiteral("↔"), true);
    RightAlign = tool(ToolBar, QStringLiteral("Выровнять вправо"), QStringLiteral("⇥"), true);
    UnderlineBtn = tool(ToolBar, QStringLiteral("Подчеркивание"), QStringLiteral("Ч"), true);
    BulletsBtn = tool(ToolBar, QStringLiteral("Списки"), QStringLiteral("•"), true);
    // the signs of the style toggles written in their own style
    for (auto [action, b, i, u] : {std::tuple{BoldBtn, true, false, false}, std::tuple{ItalicBtn, false, true, false},
                                   std::tuple{UnderlineBtn, false, false, true}})
        action->setFont(styled(action->font(), b, i, u));
    auto *alignGroup = new QActionGroup(this);
    for (QAction *a : {LeftAlign, CenterAlign, RightAlign})
        alignGroup->addAction(a);
    FontName = new QFontComboBox(ToolBar);
    FontName->setObjectName(QStringLiteral("FontName"));
    FontName->setMaximumWidth(170);
    ToolBar->addWidget(FontName);
    FontSize = new QSpinBox(ToolBar);
    FontSize->setObjectName(QStringLiteral("FontSize"));
    FontSize->setRange(1, 400);
    ToolBar->addWidget(FontSize);
    PlainBox = new QCheckBox(QStringLiteral("Планарный текст"), ToolBar);
    PlainBox->setObjectName(QStringLiteral("PlainBox"));
    PlainBox->setChecked(true);
    ToolBar->addWidget(PlainBox);

    connect(BoldBtn, &QAction::triggered, this, [this](bool on) {
        if (!m_updating)
            applyToTarget([on](QTextCharFormat &f) { f.setFontWeight(on ? QFont::Bold : QFont::Normal); });
    });
    connect(ItalicBtn, &QAction::triggered, this, [this](bool on) {
        if (!m_updating)
            applyToTarget([on](QTextCharFormat &f) { f.setFontItalic(on); });
    });
    connect(UnderlineBtn, &QAction::triggered, this, [this](bool on) {
        if (!m_updating)
            applyToTarget([on](QTextCharFormat &f) { f.setFontUnderline(on); });
    });
    const auto align = [this](Qt::Alignment a) {
        if (!m_updating)
            Editor->setAlignment(a);
    };
    connect(LeftAlign, &QAction::triggered, this, [align] { align(Qt::AlignLeft); });
    connect(CenterAlign, &QAction::triggered, this, [align] { align(Qt::AlignHCenter); });
    connect(RightAlign, &QAction::triggered, this, [align] { align(Qt::AlignRight); });
    connect(BulletsBtn, &QAction::triggered, this, [this](bool on) {
        if (m_updating)
            return;
        QTextCursor c = Editor->textCursor();
        if (on) {
            c.createList(QTextListFormat::ListDisc);
        } else if (QTextList *list = c.currentList()) {
            list->remove(c.block());
            QTextBlockFormat plain = c.blockFormat();
            plain.setIndent(0);
            c.setBlockFormat(plain);
        }
    });
    connect(FontName, &QFontComboBox::currentFontChanged, this, [this](const QFont &f) {
        if (!m_updating)
            applyToTarget([family = f.family()](QTextCharFormat &fmt) { fmt.setFontFamilies({family}); });
    });
    connect(FontSize, &QSpinBox::valueChanged, this, [this](int size) {
        if (!m_updating)
            applyToTarget([size](QTextCharFormat &fmt) { fmt.setFontPointSize(size); });
    });
    connect(PlainBox, &QCheckBox::toggled, this, [this](bool plain) { Editor->setAcceptRichText(!plain); });
    connect(Editor, &QTextEdit::cursorPositionChanged, this, &TEditForm::UpdateToolbar);
    connect(Editor, &QTextEdit::selectionChanged, this, &TEditForm::UpdateToolbar);
    connect(Editor->document(), &QTextDocument::modificationChanged, this,
            [this](bool changed) { StatusLine->setText(changed ? QStringLiteral("Изменен") : QString()); });

    setFileName(Untitled);
    UpdateToolbar();
    resize(900, 560);
}

void TEditForm::setFileName(const QString &name)
{
    m_fileName = name;
    setWindowTitle(Format(QStringLiteral("%s - %s"), {QFileInfo(name).fileName(), QCoreApplication::applicationName()}));
}

bool TEditForm::Modified() const
{
    return Editor->document()->isModified();
}

void TEditForm::LoadFile(const QString &fileName)
{
    Editor->setPlainText(ReadTextLines(fileName).join(u'\n'));
    setFileName(fileName);
    Editor->document()->setModified(false);
}

QString TEditForm::askSaveName(const QString &title)
{
    if (AskSaveName)
        return AskSaveName(title);
    QFileDialog box(this, title, QFileInfo(m_fileName).absolutePath(), FileFilter);
    box.setObjectName(QStringLiteral("SaveDialog"));
    box.setAcceptMode(QFileDialog::AcceptSave);
    box.setFileMode(QFileDialog::AnyFile);
    // the question below asks about an existing file, in our words
    box.setOption(QFileDialog::DontConfirmOverwrite);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return QString();
    const QString name = box.selectedFiles().first();
    if (QFileInfo::exists(name)
        && UserInterface().MessageDlg(Format(QStringLiteral("Переписать %s ?"), {name}), QString(),
                                      TUserInterface::mtConfirmation,
                                      {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})
               != TUserInterface::mbYes)
        return QString();
    return name;
}

void TEditForm::writeFile(const QString &name, const QString &text)
{
    WriteTextLines(name, text.split(u'\n'));
}

bool TEditForm::SaveQuestion()
{
    if (!Modified())
        return true;
    switch (UserInterface().MessageDlg(Format(QStringLiteral("Сохранить изменения в %s?"), {m_fileName}), QString(),
                                       TUserInterface::mtConfirmation,
                                       {TUserInterface::mbYes, TUserInterface::mbNo, TUserInterface::mbCancel})) {
    case TUserInterface::mbYes:
        return SaveClick();
    case TUserInterface::mbNo:
        return true;
    default:
        return false;
    }
}

void TEditForm::NewClick()
{
    Editor->clear();
    setFileName(Untitled);
    Editor->document()->setModified(false);
}

void TEditForm::OpenClick()
{
    if (!SaveQuestion())
        return;
    const QString name = QFileDialog::getOpenFileName(this, QString(), QFileInfo(m_fileName).absolutePath(), FileFilter);
    if (!name.isEmpty())
        LoadFile(name);
}

bool TEditForm::SaveClick()
{
    if (m_fileName == Untitled)
        return SaveAsClick();
    writeFile(m_fileName, Editor->toPlainText());
    Editor->document()->setModified(false);
    return true;
}

bool TEditForm::SaveAsClick()
{
    const QString name = askSaveName(QStringLiteral("Сохранить как"));
    if (name.isEmpty())
        return false;
    writeFile(name, Editor->toPlainText());
    setFileName(name);
    Editor->document()->setModified(false);
    return true;
}

void TEditForm::SaveFragmentClick()
{
    const QString name = askSaveName(QStringLiteral("Сохранить фрагмент"));
    if (!name.isEmpty())
        writeFile(name, Editor->textCursor().selection().toPlainText());
}

void TEditForm::PrintClick()
{
    const QTextCursor c = Editor->textCursor();
    if (c.hasSelection()) {
        // the selected lines as plain text by the line printer
        PrintTextLines(c.selection().toPlainText().split(u'\n'), Editor->document()->defaultFont(),
                       QStringLiteral("editor.pdf"));
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        UseDefaultPrinter(printer, QFileInfo(m_fileName).completeBaseName() + QStringLiteral(".pdf"));
    } else {
        QPrintDialog dialog(&printer, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    Editor->document()->print(&printer);
}

void TEditForm::FontClick()
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, Editor->currentFont(), this);
    if (ok)
        applyToTarget([font](QTextCharFormat &f) { f.setFont(font, QTextCharFormat::FontPropertiesSpecifiedOnly); });
}

void TEditForm::applyToTarget(const std::function<void(QTextCharFormat &)> &change)
{
    QTextCursor c = Editor->textCursor();
    QTextCharFormat f;
    change(f);
    if (c.hasSelection()) {
        c.mergeCharFormat(f);
        return;
    }
    // without a selection: the whole text's own attributes
    QTextCursor all(Editor->document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(f);
    Editor->mergeCurrentCharFormat(f);
    QTextCharFormat defaults;
    defaults.setFont(Editor->document()->defaultFont());
    change(defaults);
    Editor->document()->setDefaultFont(defaults.font());
}

void TEditForm::UpdateToolbar()
{
    m_updating = true;
    const QTextCharFormat f = Editor->currentCharFormat();
    const QFont font = f.font();
    BoldBtn->setChecked(font.bold());
    ItalicBtn->setChecked(font.italic());
    UnderlineBtn->setChecked(font.underline());
    const QTextCursor c = Editor->textCursor();
    BulletsBtn->setChecked(c.currentList() != nullptr);
    FontName->setCurrentFont(font);
    FontSize->setValue(int(font.pointSizeF() > 0 ? font.pointSizeF() : Editor->document()->defaultFont().pointSizeF()));
    const Qt::Alignment a = Editor->alignment();
    (a & Qt::AlignHCenter ? CenterAlign : a & Qt::AlignRight ? RightAlign : LeftAlign)->setChecked(true);
    m_updating = false;
    Ruler->update();
}

void TEditForm::ParagraphIndents(double &first, double &left, double &right) const
{
    const QTextBlockFormat f = Editor->textCursor().blockFormat();
    first = (f.leftMargin() + f.textIndent()) * 0.75;
    left = -f.textIndent() * 0.75;
    right = f.rightMargin() * 0.75;
}

void TEditForm::SetParagraphIndents(double first, double left, double right)
{
    QTextCursor c = Editor->textCursor();
    QTextBlockFormat f = c.blockFormat();
    f.setLeftMargin((first + left) * 4 / 3);
    f.setTextIndent(-left * 4 / 3);
    f.setRightMargin(right * 4 / 3);
    c.setBlockFormat(f);
}

void TEditForm::reject()
{
    // Esc, "В&ыход" and the close box all come here: the save question first
    bool close = false;
    Guarded(this, [&] { close = SaveQuestion(); });
    if (close)
        QDialog::reject();
}

void InstallTextEditor()
{
    EditFileHook() = [](const QString &fileName) {
        TEditForm form(QApplication::activeWindow());
        form.LoadFile(fileName);
        form.exec();
    };
}
