#include "TestSupport.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "report/KtReport.h"
#include "report/TestPage.h"
#include "viewer/FileViewer.h"
#include "viewer/KtPreviewForm.h"
#include "viewer/ReportPrinter.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QTimer>

// The preview window driven by clicks and keys: pages, the page field, the
// zoom list, saving under another name, printing with copies and in the
// background, and the report's Preview and Print through it.
class PreviewFormTest : public QObject {
    Q_OBJECT

    // Answers the save dialog and the question that may follow.
    struct TScriptedUi : TUserInterface {
        QString saveName;
        int answer = mbCancel;
        QStringList asked;
        QString SaveFileName(const QString &, const QString &, const QString &) override { return saveName; }
        int MessageDlg(const QString &text, const QString &, Kind, const QList<Button> &) override
        {
            asked << text;
            return answer;
        }
    };

    static QString path(const QString &name) { return ProgramDir() + u'/' + name; }

    // An output file of 35 lines: four pages of the test page.
    static QString writeOutput(const QString &name = QStringLiteral("out.prn"))
    {
        QStringList lines;
        for (int i = 1; i <= 35; ++i)
            lines << QStringLiteral("Строка %1").arg(i);
        WriteTextLines(path(name), lines);
        return path(name);
    }

    static std::unique_ptr<TKtPreviewForm> form(const QString &file)
    {
        auto f = std::make_unique<TKtPreviewForm>();
        f->Viewer()->SetPageGeometry(std::make_shared<TTestPage>(10));
        f->Viewer()->SetMeasurerFactory([](int dpi) { return std::make_unique<TFixedPitchMeasurer>(dpi); });
        f->Setup(file, TPageGeometry::Portrait, true, 1);
        // never a real printer in tests
        f->Printer().setOutputFormat(QPrinter::PdfFormat);
        f->Printer().setOutputFileName(path("printed.pdf"));
        return f;
    }

    static QPushButton *button(QWidget *w, const QString &caption)
    {
        for (QPushButton *b : w->findChildren<QPushButton *>())
            if (b->text() == caption)
                return b;
        return nullptr;
    }

    static bool painted(const TFileViewer &v, const QString &text)
    {
        const auto &all = v.PaintedFragments();
        return std::any_of(all.begin(), all.end(), [&](const TFragment &f) { return f.text == text; });
    }

    static QString pageField(TKtPreviewForm &f) { return f.findChild<QLineEdit *>("PageNumber")->text(); }

private slots:
    void init()
    {
        WriteSetting("ShadowPrint", "0");
    }

    void layoutAndCaptions()
    {
        auto f = form(writeOutput());
        QCOMPARE(f->windowTitle(), "Предварительный просмотр отчета: " + path("out.prn"));
        QCOMPARE(f->findChild<QLabel *>("PageCount")->text(), QStringLiteral("из 4"));
        QCOMPARE(f->size(), QSize(759, 500));
        const QStringList zoom{"30 %", "50 %", "75 %", "100 %", "На всю страницу"};
        auto *list = f->findChild<QComboBox *>();
        QCOMPARE(list->count(), zoom.size());
        for (int i = 0; i < zoom.size(); ++i)
            QCOMPARE(list->itemText(i), zoom[i]);
        QCOMPARE(list->currentIndex(), 0);
        QVERIFY(button(f.get(), "Пе&чать")->isDefault());
        // no editing hook installed: no editor
        QVERIFY(!button(f.get(), "Ре&дактор")->isEnabled());
    }

    void navigation()
    {
        auto f = form(writeOutput());
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        const QList<std::pair<QString, int>> clicks{
            {"&Следующая", 1}, {"&Следующая", 2}, {"П&оследняя", 3}, {"&Следующая", 3},
            {"П&редыдущая", 2}, {"П&ервая", 0}, {"П&редыдущая", 0}};
        for (const auto &[caption, page] : clicks) {
            QTest::mouseClick(button(f.get(), caption), Qt::LeftButton);
            QCOMPARE(f->Viewer()->CurrentPage(), page);
            QCOMPARE(pageField(*f), QString::number(page + 1));
            QCOMPARE(f->Viewer()->TopLine(), f->Viewer()->Pages().Pages()[size_t(page)].first);
        }
    }

    void pageField_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("page");
        QTest::newRow("a page") << "3" << 2;
        QTest::newRow("beyond the last") << "99" << 3;
        QTest::newRow("not a number") << "abc" << 0;
    }

    void pageField()
    {
        QFETCH(QString, typed);
        QFETCH(int, page);
        auto f = form(writeOutput());
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        f->Viewer()->GoToPage(1);
        auto *field = f->findChild<QLineEdit *>("PageNumber");
        field->clear();
        QTest::keyClicks(field, typed);
        QCOMPARE(f->Viewer()->CurrentPage(), page);
    }

    void keys()
    {
        auto f = form(writeOutput());
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        TFileViewer *v = f->Viewer();
        v->setFocus();
        QTest::keyClick(v, Qt::Key_Down);
        QTest::keyClick(v, Qt::Key_Down);
        QCOMPARE(v->TopLine(), 2);
        QTest::keyClick(v, Qt::Key_Up);
        QCOMPARE(v->TopLine(), 1);
        QTest::keyClick(v, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(v->TopLine(), 33);   // the last line never is the top one
        QCOMPARE(v->CurrentPage(), 3);
        QCOMPARE(pageField(*f), QStringLiteral("4"));
        QTest::keyClick(v, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(v->TopLine(), 0);
        QCOMPARE(pageField(*f), QStringLiteral("1"));
        QApplication::processEvents();   // a paint counts the lines shown
        const int painted = v->LinesPainted();
        QVERIFY(painted > 1);
        QTest::keyClick(v, Qt::Key_PageDown);
        QCOMPARE(v->TopLine(), std::min(painted, 33));
    }

    // With a whole page shown, the paging keys go by pages as the buttons do.
    void keysOnWholePages_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("page");
        QTest::newRow("Page Down") << 0 << int(Qt::Key_PageDown) << 1;
        QTest::newRow("Page Down on the last page") << 3 << int(Qt::Key_PageDown) << 3;
        QTest::newRow("Page Up") << 2 << int(Qt::Key_PageUp) << 1;
        QTest::newRow("Page Up on the first page") << 0 << int(Qt::Key_PageUp) << 0;
        QTest::newRow("End") << 1 << int(Qt::Key_End) << 3;
        QTest::newRow("Home") << 2 << int(Qt::Key_Home) << 0;
    }
    void keysOnWholePages()
    {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, page);
        auto f = form(writeOutput());
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        f->SetZoomItem(4);
        TFileViewer *v = f->Viewer();
        QVERIFY(v->FitPageMode());
        v->GoToPage(from);
        QApplication::processEvents();
        v->setFocus();
        QTest::keyClick(v, Qt::Key(key));
        QCOMPARE(v->CurrentPage(), page);
        QCOMPARE(v->TopLine(), v->Pages().Pages()[size_t(page)].first);
        QCOMPARE(pageField(*f), QString::number(page + 1));
    }

    void zoomAndFit()
    {
        // the real fonts on the virtual A4 printer at 300 DPI
        WriteTextLines(path("z.prn"), {"ab\\F17:cd", "второй"});
        TKtPreviewForm f;
        f.Setup(path("z.prn"), TPageGeometry::Portrait, true, 1);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        TFileViewer *v = f.Viewer();
        QCOMPARE(v->Scale(), 300 / 300.0 * 100 / 30);
        f.SetZoomItem(3);
        QCOMPARE(v->Scale(), 1.0);
        QCOMPARE(v->ScreenDpi(), 300);
        v->repaint();
        // at 100 % a printer pixel is a screen pixel
        const auto &painted = v->PaintedFragments();
        QCOMPARE(painted.size(), size_t(3));
        TFontMeasurer printer(300);
        const double ab = printer.CharWidth(u'a') + printer.CharWidth(u'b');
        auto cd = std::find_if(painted.begin(), painted.end(), [](const TFragment &x) { return x.text == "cd"; });
        QVERIFY(cd != painted.end());
        QCOMPARE(cd->x, ab);
        QCOMPARE(cd->font.style, int(fsBold));

        f.SetZoomItem(4);
        QVERIFY(v->FitPageMode());
        const QWidget *area = f.findChild<QWidget *>("ViewArea");
        QVERIFY(v->height() == area->height() || v->width() == area->width());
        QVERIFY(v->height() <= area->height() && v->width() <= area->width());
        const double pageRatio = double(v->Pages().PageWidth()) / v->Pages().PageHeight();
        QVERIFY(std::abs(double(v->width()) / v->height() - pageRatio) < 0.01);
        QVERIFY(std::abs(v->x() - (area->width() - v->width()) / 2) <= 1);
    }

    // At "На всю страницу" the red page edges enclose the page's lines:
    // the top one above the first line, nothing of the next page below the
    // bottom one.
    void wholePageEdges()
    {
        // a short first page, then full ones
        QStringList lines;
        for (int i = 1; i <= 200; ++i)
            lines << (i == 8 ? QStringLiteral("^") : QString()) + QStringLiteral("\\F1:14Строка %1 ЁЙЩ").arg(i);
        WriteTextLines(path("edges.prn"), lines);
        TKtPreviewForm f;
        f.Setup(path("edges.prn"), TPageGeometry::Portrait, true, 1);
        f.resize(700, 900);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.SetZoomItem(4);
        TFileViewer *v = f.Viewer();
        QVERIFY(v->Pages().PageCount() > 2);
        for (const int page : {0, 1}) {
            v->GoToPage(page);
            const QImage image = v->viewport()->grab().toImage();
            int redTop = -1, redBottom = -1, inkTop = -1, inkBottom = -1;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.red() > 200 && c.green() < 80 && c.blue() < 80) {
                        redTop = redTop < 0 ? y : redTop;
                        redBottom = y;
                    } else if (c.lightness() < 160) {
                        inkTop = inkTop < 0 ? y : inkTop;
                        inkBottom = y;
                    }
                }
            const QString seen = QStringLiteral("page %1: red %2..%3, text %4..%5")
                                     .arg(page).arg(redTop).arg(redBottom).arg(inkTop).arg(inkBottom);
            // the red rows hold no letters: the top edge is the view's own or
            // above the first line, the bottom one under the last
            QVERIFY2(inkTop >= 0 && (redTop < 0 || redTop < inkTop || redTop > inkBottom), qPrintable(seen));
            QVERIFY2(redBottom < 0 || redBottom > inkBottom || redBottom < inkTop, qPrintable(seen));
            if (page == 0)   // seven lines: the bottom edge shows, and nothing of page 2 below it
                QVERIFY2(redBottom > inkBottom && redBottom < image.height() / 2, qPrintable(seen));
        }
    }

    void saving_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("yes") << int(TUserInterface::mbYes) << true;
        QTest::newRow("no") << int(TUserInterface::mbNo) << false;
        QTest::newRow("cancel") << int(TUserInterface::mbCancel) << false;
    }

    void saving()
    {
        QFETCH(int, answer);
        QFETCH(bool, replaced);
        const QString source = writeOutput();
        QFile old(path("old.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("old");
        old.close();
        TScriptedUi ui;
        ui.saveName = path("old.txt");
        ui.answer = answer;
        TUserInterface *previous = SetUserInterface(&ui);
        auto f = form(source);
        QTest::mouseClick(button(f.get(), "На д&иск"), Qt::LeftButton);
        SetUserInterface(previous);
        QCOMPARE(ui.asked, QStringList{"Переписать " + path("old.txt") + " ?"});
        QFile target(path("old.txt"));
        QVERIFY(target.open(QIODevice::ReadOnly));
        const QByteArray bytes = target.readAll();
        if (replaced) {
            QVERIFY(bytes.startsWith(EncodeText("Строка 1\r\n")));
            QVERIFY(!QFile::exists(source));
            QCOMPARE(f->Viewer()->FileName(), path("old.txt"));
            QVERIFY(f->windowTitle().endsWith(path("old.txt")));
            QCOMPARE(f->Viewer()->PageCount(), 4);
        } else {
            QCOMPARE(bytes, QByteArray("old"));
            QVERIFY(QFile::exists(source));
            QCOMPARE(f->Viewer()->FileName(), source);
        }
    }

    // A move that fails says so with both names; the output stays shown
    // where it was.
    void failedMoveReported()
    {
        const QString source = writeOutput();
        TScriptedUi ui;
        ui.saveName = path("nosuch/out.prn");
        TUserInterface *previous = SetUserInterface(&ui);
        auto f = form(source);
        QTest::mouseClick(button(f.get(), "На д&иск"), Qt::LeftButton);
        SetUserInterface(previous);
        QCOMPARE(ui.asked, QStringList{"Не могу переместить файл " + source + " в " + path("nosuch/out.prn")});
        QVERIFY(QFile::exists(source));
        QCOMPARE(f->Viewer()->FileName(), source);
        QVERIFY(f->windowTitle().endsWith(source));
        QCOMPARE(f->Viewer()->PageCount(), 4);
    }

    void savingOntoItself()
    {
        // the file's own name: nothing to ask, nothing lost
        const QString source = writeOutput();
        TScriptedUi ui;
        ui.saveName = source;
        ui.answer = TUserInterface::mbYes;
        TUserInterface *previous = SetUserInterface(&ui);
        auto f = form(source);
        QTest::mouseClick(button(f.get(), "На д&иск"), Qt::LeftButton);
        SetUserInterface(previous);
        QVERIFY(QFile::exists(source));
        QCOMPARE(f->Viewer()->PageCount(), 4);
    }

    void viewerCopy()
    {
        auto f = form(writeOutput());
        f->Viewer()->GoToPage(2);
        TFileViewer copy;
        copy.Assign(f->Viewer());
        QCOMPARE(copy.FileName(), f->Viewer()->FileName());
        QCOMPARE(copy.PageCount(), 4);
        QCOMPARE(copy.CurrentPage(), 2);
        QCOMPARE(copy.TopLine(), f->Viewer()->TopLine());
        // the copy reads through a mapping of its own: closing the original
        // does not take its lines away
        f->Viewer()->SetFileName(QString());
        QCOMPARE(f->Viewer()->PageCount(), 0);
        QCOMPARE(copy.Pages().LineText(34), QStringLiteral("Строка 35"));
        copy.Assign(nullptr);
        QCOMPARE(copy.PageCount(), 0);
        QVERIFY(copy.FileName().isEmpty());
    }

    // The file shown is replaced (by the report run again, or any safe
    // write): the preview keeps painting what it loaded, a copy made now
    // still reads it, and "Обновить" shows the new file.
    void fileReplacedWhileShown_data()
    {
        QTest::addColumn<bool>("byReport");
        QTest::newRow("text file written") << false;
        QTest::newRow("report run again") << true;
    }

    void fileReplacedWhileShown()
    {
        QFETCH(bool, byReport);
        auto f = form(writeOutput());
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        auto *changed = f->findChild<QLabel *>("FileChanged");
        QVERIFY(!changed->isVisible());
        if (byReport) {
            TKtReport r;
            r.SetPageGeometry(std::make_shared<TTestPage>(10));
            r.SetMeasurer(std::make_unique<TFixedPitchMeasurer>(300));
            r.SetFormatSource({".DETAIL", "Новая 1", "Новая 2"});
            r.SetOneRecord(true);
            r.SetPrintName(path("out.prn"));
            r.Prepare();
            r.Execute();
        } else {
            WriteTextLines(path("out.prn"), {"Новая 1", "Новая 2"});
        }
        QTRY_VERIFY(changed->isVisible());
        QVERIFY(f->Viewer()->FileChanged());
        f->Viewer()->GoToPage(3);
        f->Viewer()->viewport()->repaint();
        QVERIFY(painted(*f->Viewer(), "Строка 35"));
        TFileViewer copy;
        copy.Assign(f->Viewer());
        QCOMPARE(copy.Pages().LineText(34), QStringLiteral("Строка 35"));

        QTest::mouseClick(button(f.get(), "&Обновить"), Qt::LeftButton);
        QVERIFY(!changed->isVisible());
        QVERIFY(!f->Viewer()->FileChanged());
        QCOMPARE(f->Viewer()->PageCount(), 1);
        QCOMPARE(f->findChild<QLabel *>("PageCount")->text(), QStringLiteral("из 1"));
        f->Viewer()->viewport()->repaint();
        QVERIFY(painted(*f->Viewer(), "Новая 2"));
        QVERIFY(!painted(*f->Viewer(), "Строка 1"));
    }

    // The file shown is cut in place (truncated, or a shorter file copied
    // over it): the mapped pages past its new end are gone. The preview never
    // touches them: it shows the change instead, pages on, printing says
    // what happened, and "Обновить" shows the new file.
    void fileCutWhileShown_data()
    {
        QTest::addColumn<QByteArray>("rest");   // what the file holds after
        QTest::newRow("truncated") << QByteArray();
        QTest::newRow("shorter file copied over") << EncodeText("Новая 1\r\n");
    }

    void fileCutWhileShown()
    {
        QFETCH(QByteArray, rest);
        auto f = form(writeOutput());
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        TFileViewer *v = f->Viewer();
        v->viewport()->repaint();
        QVERIFY(painted(*v, "Строка 1"));
        QFile file(path("out.prn"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));   // the same file, cut
        QCOMPARE(file.write(rest), rest.size());
        file.close();
        v->viewport()->repaint();
        QVERIFY(v->PaintedFragments().empty());
        QTest::keyClick(v, Qt::Key_PageDown);
        v->GoToPage(3);
        v->viewport()->repaint();
        QVERIFY(v->PaintedFragments().empty());
        QCOMPARE(v->Pages().LineText(0), QString());
        QVERIFY(v->FileChanged());
        QCoreApplication::processEvents();   // told after the paint
        QVERIFY(f->findChild<QLabel *>("FileChanged")->isVisible());
        QUARN_EXPECT_ERROR(f->PrintRange(0, 3, true, 1),
                           "Файл отчета " + path("out.prn") + " изменился: он стал короче, чем при загрузке");
        QVERIFY(!QFile::exists(path("printed.pdf")));
        if (rest.isEmpty())
            return;
        QTest::mouseClick(button(f.get(), "&Обновить"), Qt::LeftButton);
        QVERIFY(!v->FileChanged());
        v->viewport()->repaint();
        QVERIFY(painted(*v, "Новая 1"));
    }

    // Printing into a PDF file on a full disk: an error, the old file kept,
    // nothing left beside it.
    void printToPdfOnFullDisk()
    {
        TFullFolder folder;
        folder.put("old.pdf", "old file");
        QUARN_REQUIRE_FULL_FOLDER(folder);
        auto f = form(writeOutput());
        f->Printer().setOutputFileName(folder.file("old.pdf"));
        QUARN_EXPECT_ERROR(f->PrintRange(0, 3, true, 1),
                           "Ошибка записи в файл " + folder.file("old.pdf") + ": файл записан не полностью");
        QFile old(folder.file("old.pdf"));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old file"));
        QCOMPARE(folder.names(), QStringList{"old.pdf"});
        QCOMPARE(f->Printer().outputFileName(), folder.file("old.pdf"));
    }

    // Enter in the zoom box applies the zoom and prints nothing.
    void enterInZoomBox()
    {
        auto f = form(writeOutput());
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
        bool printAsked = false;
        TKtPreviewForm::PrintDialogHook() = [&](QPrintDialog &) { return printAsked = true, false; };
        auto *zoom = f->findChild<QComboBox *>();
        auto *viewer = f->findChild<TFileViewer *>("FileViewer");
        QVERIFY(!viewer->FitPageMode());
        zoom->setFocus();
        zoom->setCurrentIndex(4);   // "На всю страницу", chosen but not yet applied
        QTest::keyClick(zoom, Qt::Key_Return);
        QVERIFY(!printAsked);
        QVERIFY(viewer->FitPageMode());
        TKtPreviewForm::PrintDialogHook() = [](QPrintDialog &d) { return d.exec() == QDialog::Accepted; };
    }

    void printDialogAndCopies()
    {
        auto f = form(writeOutput());
        QVERIFY(!f->Printer().supportsMultipleCopies());   // a PDF file cannot
        int minPage = 0, maxPage = 0;
        TKtPreviewForm::PrintDialogHook() = [&](QPrintDialog &d) {
            minPage = d.minPage();
            maxPage = d.maxPage();
            return false;
        };
        const int before = PrintJobCount();
        QTest::mouseClick(button(f.get(), "Пе&чать"), Qt::LeftButton);
        QCOMPARE(minPage, 1);
        QCOMPARE(maxPage, 4);
        QCOMPARE(PrintJobCount(), before);   // cancelled
        // five uncollated copies on a printer that cannot copy: five jobs
        f->PrintConfirmed(2, 3, 5, false);
        QCOMPARE(PrintJobCount(), before + 5);
        QCOMPARE(f->Copies(), 5);
        QVERIFY(!f->Collate());
        QVERIFY(QFile::exists(path("printed.pdf")));
        TKtPreviewForm::PrintDialogHook() = [](QPrintDialog &d) { return d.exec() == QDialog::Accepted; };
    }

    void backgroundPrintRefusesSecond()
    {
        WriteSetting("ShadowPrint", "1");
        auto f = form(writeOutput());
        const int before = PrintJobCount();
        f->PrintAll(1, true);
        QVERIFY(TReportThread::Running() > 0);
        QUARN_EXPECT_ERROR(f->PrintAll(1, true), "Принтер занят. Повторите печать позже");
        f.reset();   // the thread outlives the window
        QTRY_COMPARE(TReportThread::Running(), 0);
        QCOMPARE(PrintJobCount(), before + 1);
        QFile pdf(path("printed.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(int(pdf.readAll().count("/Type /Page\n")), 4);
    }

    void exportToWordProcessor()
    {
        WriteSetting("OfficeOpen", "0");
        auto f = form(writeOutput());
        QTest::mouseClick(button(f.get(), "&Экспорт"), Qt::LeftButton);
        const QStringList docs = QDir(ProgramDir()).entryList({"*.odt"});
        QCOMPARE(docs.size(), 1);
        if (!HaveUnzip())
            QSKIP("*** unzip NOT AVAILABLE: the document's XML was not read ***");
        const QString xml = QString::fromUtf8(UnzipEntry(ProgramDir() + "/" + docs.first(), "content.xml"));
        QVERIFY(xml.contains("Строка 1<") && xml.contains("Строка 35<"));
        // a page break before the first line of each later page
        QVERIFY(xml.contains("fo:break-before=\"page\""));
    }

    void editingHook()
    {
        const QString source = writeOutput();
        QString edited;
        EditFileHook() = [&](const QString &name) {
            edited = name;
            WriteTextLines(name, {"одна строка"});   // the person shortened the file
        };
        auto f = form(source);
        QPushButton *editor = button(f.get(), "Ре&дактор");
        QVERIFY(editor->isEnabled());
        QTest::mouseClick(editor, Qt::LeftButton);
        EditFileHook() = nullptr;
        QCOMPARE(edited, source);
        QCOMPARE(f->Viewer()->PageCount(), 1);
        QCOMPARE(f->findChild<QLabel *>("PageCount")->text(), QStringLiteral("из 1"));
        QCOMPARE(f->Viewer()->Pages().LineText(0), QStringLiteral("одна строка"));
    }

    void reportPreviewAndPrint()
    {
        if (!QPrinterInfo::availablePrinters().isEmpty())
            QSKIP("a printer is installed: Print would go to it");
        InstallReportViewer();
        TKtReport r;
        r.SetFormatSource({".DETAIL", "Строка @X"});
        r.SetPrintName("rep.prn");
        r.SetOneRecord(true);
        r.OnSetNames = [](TCustomReport &rep) { rep.GetVar("X").SetAsNumber(7); };
        r.Prepare();
        r.Execute();
        QString caption;
        QTimer::singleShot(0, [&] {
            if (QWidget *w = QApplication::activeModalWidget()) {
                caption = w->windowTitle();
                w->close();
            }
        });
        r.Preview();
        QCOMPARE(caption, "Предварительный просмотр отчета: " + path("rep.prn"));
        const int before = PrintJobCount();
        r.Print();
        QCOMPARE(PrintJobCount(), before + 1);
        QVERIFY(QFile::exists(path("rep.pdf")));
        QFile::remove(path("rep.prn"));
        QUARN_EXPECT_ERROR(r.Preview(), "Нет информации для просмотра");
        ReportViewHook() = nullptr;
    }
};

QUARN_WIDGETS_TEST_MAIN(PreviewFormTest)
#include "PreviewFormTest.moc"
