#pragma once

#include <QDialog>
#include <QTextCharFormat>
#include <QWidget>
#include <functional>

class QAction;
class QCheckBox;
class QFontComboBox;
class QLabel;
class QSpinBox;
class QTextEdit;
class QToolBar;

class TEditForm;

// The ruler over the text: tick marks and the three indent markers of the
// caret's paragraph (first line, left, right), dragged with the mouse.
class TRuler : public QWidget {
    Q_OBJECT
public:
    explicit TRuler(TEditForm &form);
    QSize sizeHint() const override;
    // The markers' left edges in pixels: first line, left, right.
    int FirstMarker() const;
    int LeftMarker() const;
    int RightMarker() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    TEditForm &m_form;
    int m_dragged = -1;    // 0 first line, 1 left, 2 right; -1 none
    int m_grab = 0;        // the mouse within the marker
    int m_dragLeft = 0;    // the dragged marker's left edge
};

// "Текстовый редактор": a report output, a template or any text file,
// opened, changed, printed and saved in the code page. Plain text unless
// "Планарный текст" is unticked.
class TEditForm : public QDialog {
    Q_OBJECT
public:
    explicit TEditForm(QWidget *parent = nullptr);

    // Loads a file; the caption follows it and the text counts as unchanged.
    void LoadFile(const QString &fileName);
    const QString &FileName() const { return m_fileName; }
    bool Modified() const;

    // The commands of the menu.
    void NewClick();
    void OpenClick();
    bool SaveClick();
    bool SaveAsClick();
    void SaveFragmentClick();
    void PrintClick();
    void FontClick();
    // Asks "Сохранить изменения в %s?" for a changed text: false when the
    // person cancelled (nothing else may happen then).
    bool SaveQuestion();

    QTextEdit *Editor = nullptr;
    TRuler *Ruler = nullptr;
    QToolBar *ToolBar = nullptr;
    QAction *BoldBtn = nullptr, *ItalicBtn = nullptr, *UnderlineBtn = nullptr;
    QAction *LeftAlign = nullptr, *CenterAlign = nullptr, *RightAlign = nullptr, *BulletsBtn = nullptr;
    QFontComboBox *FontName = nullptr;
    QSpinBox *FontSize = nullptr;
    QCheckBox *PlainBox = nullptr;
    QLabel *StatusLine = nullptr;

    // A file name asked in the save dialog; tests answer through it.
    std::function<QString(const QString &title)> AskSaveName;

    // Used by the ruler: the caret paragraph's indents in points.
    void ParagraphIndents(double &first, double &left, double &right) const;
    void SetParagraphIndents(double first, double left, double right);
    void UpdateToolbar();

protected:
    void reject() override;

private:
    void setFileName(const QString &name);
    void writeFile(const QString &name, const QString &text);
    QString askSaveName(const QString &title);
    void applyToTarget(const std::function<void(QTextCharFormat &)> &change);

    QString m_fileName;
    bool m_updating = false;   // the toolbar follows the caret: its handlers stand still
};

// Makes the viewer and the preview window open files in TEditForm.
void InstallTextEditor();
