// The window as the user first sees it, and how it keeps its layout when resized.
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

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
        QCOMPARE(form->palette().color(QPalette::Window), QColor(0, 0, 64));
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(form->lstPath->palette().color(QPalette::Text), QColor(0, 0, 0));
        QCOMPARE(form->lblPath->palette().color(QPalette::WindowText), QColor(255, 255, 128));
        QCOMPARE(form->lblPath->text().toStdString(), program->appDir);
        QFontMetrics list(form->lstPath->font());
        QCOMPARE(list.horizontalAdvance('i'), list.horizontalAdvance('W'));  // monospace
        // The top row: drive box, then the three buttons side by side, all above the list.
        QCOMPARE(form->drvDrives->geometry(), QRect(Px(120), Px(120), Px(2355), Px(315)));
        QCOMPARE(form->cmdRoot->x(), Px(2520));
        QCOMPARE(form->cmdBack->x(), Px(2820));
        QCOMPARE(form->Command2->x(), Px(3120));
        QVERIFY(form->cmdDummy->geometry().right() < 0);  // never seen
        QCOMPARE(form->lstPath->pos(), QPoint(Px(120), Px(510)));
        QCOMPARE(form->cmdRoot->toolTip(), QString("Ins Wurzelverzeichnis wechseln"));
        QCOMPARE(form->cmdBack->toolTip(), QString::fromUtf8("eine Verzeichnisebene h\xc3\xb6her"));
        QCOMPARE(form->Command2->toolTip(), QString("Dateiliste neu einlesen"));
        QVERIFY(!form->Command2->icon().isNull());
        QVERIFY(!form->windowIcon().isNull());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->drvDrives));
    }

    void popupMenuItems() {
        QStringList captions;
        for (QAction* a : form->mnuPop->actions())
            captions << (a->isSeparator() ? QString("-") : a->text());
        QCOMPARE(captions, (QStringList{"Loop", "-", "Play               ( ENTER )",
                                        "Stop              ( SPACE )", "-",
                                        "immer im Vordergrund"}));
        QVERIFY(form->mnuLoop->isCheckable() && !form->mnuLoop->isChecked());
        QVERIFY(form->mnuKeepTop->isCheckable() && !form->mnuKeepTop->isChecked());
        QVERIFY(!form->mnuPop->isVisible());
    }

    void resizeRule_data() {
        QTest::addColumn<int>("widthTwips");
        QTest::addColumn<int>("heightTwips");
        QTest::newRow("narrower than created springs back") << 2000 << 5000;
        QTest::newRow("created size") << 3525 << 4515;
        QTest::newRow("wider and taller") << 9000 << 8000;
        QTest::newRow("lower than the list's top") << 5000 << 600;
    }
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
