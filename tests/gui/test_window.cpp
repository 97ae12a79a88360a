// The window as the user first sees it, and how it keeps its layout when resized.
#include <QComboBox>
#include <QLabel>
#include <QMenu>

#include "GuiFixture.h"
#include "util/WindowCommands.h"

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;
    frmWAV* form = nullptr;

    static int Px(int twips) { return qRound(twips / TwipsPerPixel()); }

  private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        form = &program->Start();
    }
    void cleanup() { program.reset(); }

    void firstView() {
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Player/Looper"));
        QCOMPARE(form->lblPath->text().toStdString(), program->appDir);
        QFontMetrics list(form->lstPath->font());
        QCOMPARE(list.horizontalAdvance('i'), list.horizontalAdvance('W'));  // monospace
        // The top row: drive box, then the three buttons side by side, all above the list.
        QWidget* row[] = {form->drvDrives, form->cmdRoot, form->cmdBack, form->Command2};
        for (int i = 0; i < 4; ++i) {
            QVERIFY(row[i]->geometry().bottom() < form->lstPath->y());
            if (i > 0) QVERIFY(row[i]->x() > row[i - 1]->geometry().right());
        }
        QVERIFY(form->cmdDummy->geometry().right() < 0);  // never seen
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->drvDrives));
    }

    void popupMenuItems() {
        QStringList captions;
        for (QAction* a : form->mnuPop->actions())
            captions << (a->isSeparator() ? QString("-") : a->text());
        QCOMPARE(captions,
                 (QStringList{"Loop", "-", "Play               ( ENTER )",
                              "Stop              ( SPACE )", "-", "immer im Vordergrund"}));
    }

    // clang-format off
    void resizeRule_data() {
        QTest::addColumn<int>("widthTwips");
        QTest::addColumn<int>("heightTwips");
        QTest::newRow("narrower than created springs back") << 2000 << 5000;
        QTest::newRow("created size") << 3525 << 4515;
        QTest::newRow("wider and taller") << 9000 << 8000;
        QTest::newRow("lower than the list's top") << 5000 << 600;
    }
    // clang-format on
    void resizeRule() {
        QFETCH(int, widthTwips);
        QFETCH(int, heightTwips);
        int listHeightBefore = form->lstPath->height();
        form->resize(Px(widthTwips), Px(heightTwips));
        QApplication::processEvents();
        int created = Px(3525);
        QCOMPARE(form->width(), std::max(created, Px(widthTwips)));
        // The list keeps its margins: 120 left, 90 right, 105 below.
        QCOMPARE(form->lstPath->pos(), QPoint(Px(120), Px(510)));
        QVERIFY(qAbs(form->lstPath->width() - (form->width() - Px(210))) <= 1);
        if (heightTwips > 615)
            QVERIFY(qAbs(form->lstPath->height() - (form->height() - Px(615))) <= 1);
        else
            QCOMPARE(form->lstPath->height(), listHeightBefore);
    }

    void minimiseAndRestoreKeepLayout() {
        QRect before = form->lstPath->geometry();
        form->showMinimized();
        QApplication::processEvents();
        form->showNormal();
        QApplication::processEvents();
        QCOMPARE(form->lstPath->geometry(), before);
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
