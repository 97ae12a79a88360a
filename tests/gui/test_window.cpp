// What only the widgets show: keys and mouse on the list, the menu, colours, layout, drops and
// keep-on-top, with the sound service recorded.
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include "GuiFixture.h"
#include "util/WindowCommands.h"

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;
    frmWAV* form = nullptr;

    QWidget* List() const { return form->lstPath->viewport(); }
    void DoubleClick(const std::string& entry) {
        QTest::mouseDClick(List(), Qt::LeftButton, {}, gui::At(*form, entry));
    }
    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(List(), &enter);
        QApplication::sendEvent(List(), &drop);
    }

  private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        form = &program->Run(program->lib + "/a.wav");  // [..] [Drums] [intro].wav a.wav b.wav
        form->lstPath->setFocus();
    }
    void cleanup() { program.reset(); }

    void firstView() {
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Player/Looper"));
        QCOMPARE(form->lblPath->text().toStdString(), program->lib + "/");
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(255, 255, 0));
        QFontMetrics list(form->lstPath->font());
        QCOMPARE(list.horizontalAdvance('i'), list.horizontalAdvance('W'));  // monospace
        // The top row: drive box, then the three buttons side by side, all above the list.
        QWidget* row[] = {form->drvDrives, form->cmdRoot, form->cmdBack, form->Command2};
        for (int i = 0; i < 4; ++i) {
            QVERIFY(row[i]->geometry().bottom() < form->lstPath->y());
            if (i > 0) QVERIFY(row[i]->x() > row[i - 1]->geometry().right());
        }
        QVERIFY(form->cmdDummy->geometry().right() < 0);  // never seen
    }

    void keys_data() {
        QTest::addColumn<QStringList>("opened");  // folder entries double-clicked first
        QTest::addColumn<QTestEventList>("events");
        QTest::addColumn<QStringList>("heard");
        auto keys = [](std::initializer_list<Qt::Key> ks) {
            QTestEventList events;
            for (Qt::Key k : ks) events.addKeyClick(k);
            return events;
        };
        using L = QStringList;
        // clang-format off
        QTest::newRow("nothing selected, Enter") << L{} << keys({Qt::Key_Return}) << L{};
        QTest::newRow("End plays the last file") << L{} << keys({Qt::Key_End}) << L{"b.wav"};
        QTest::newRow("Page Down goes a page down") << L{} << keys({Qt::Key_PageDown}) << L{"b.wav"};
        for (Qt::Key k : {Qt::Key_Home, Qt::Key_PageUp, Qt::Key_Up, Qt::Key_Down})  // to [..]
            QTest::newRow(qPrintable(QString("key %1 starts on the first entry").arg(k))) << L{} << keys({k, Qt::Key_Down, Qt::Key_Down}) << L{"[intro].wav"};
        QTest::newRow("walking up plays each file") << L{} << keys({Qt::Key_End, Qt::Key_Up, Qt::Key_Up}) << L{"b.wav", "a.wav", "[intro].wav"};
        QTest::newRow("Enter and Shift replay, Space stops") << L{} << keys({Qt::Key_End, Qt::Key_Return, Qt::Key_Shift, Qt::Key_Space}) << L{"b.wav", "b.wav", "b.wav", "STOP"};
        QTest::newRow("a folder entry plays nothing") << L{} << keys({Qt::Key_Home, Qt::Key_Down}) << L{};
        QTest::newRow("after opening a folder, End plays its last file") << L{"[Drums]"} << keys({Qt::Key_End}) << L{"Drums/snare.WAV"};
        QTest::newRow("after opening a folder, Down starts on its first entry") << L{"[Drums]"} << keys({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}) << L{"Drums/kick.wav"};
        QTest::newRow("after .., End plays the last file there") << L{"[Drums]", "[..]"} << keys({Qt::Key_End}) << L{"b.wav"};
        // clang-format on
    }
    void keys() {
        QFETCH(QStringList, opened);
        QFETCH(QTestEventList, events);
        QFETCH(QStringList, heard);
        for (const QString& entry : opened) DoubleClick(entry.toStdString());
        events.simulate(form->lstPath);
        QCOMPARE(program->heard, heard);
    }

    void heldKeyPlaysOnlyAtRelease() {
        for (bool repeat : {false, true}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), repeat);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(form->lstPath, &press);
            QApplication::sendEvent(form->lstPath, &release);
        }
        QCOMPARE(program->heard, QStringList{});
        QTest::keyClick(form->lstPath, Qt::Key_Down);  // the real release, on the third row
        QCOMPARE(program->heard, QStringList{"[intro].wav"});
    }

    void mouseAndMenu() {
        QTest::mouseClick(List(), Qt::LeftButton, {}, gui::At(*form, "a.wav"));
        QTest::mouseClick(List(), Qt::MiddleButton, {}, gui::At(*form, "b.wav"));
        DoubleClick("a.wav");
        // A right press opens the menu on the selection, which stays where it was.
        QTest::mousePress(List(), Qt::RightButton, {}, gui::At(*form, "[Drums]"));
        QVERIFY(form->mnuPop->isVisible());
        form->mnuPop->close();
        form->mnuPlay->trigger();
        form->mnuLoop->trigger();
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(220, 100, 140));
        QCOMPARE(form->lstPath->palette().color(QPalette::Text), QColor(255, 255, 255));
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Looper"));
        form->mnuStop->trigger();
        form->mnuLoop->trigger();
        QVERIFY(!form->mnuLoop->isChecked());
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(program->heard, (QStringList{"a.wav", "b.wav", "a.wav", "a.wav", "a.wav",
                                              "loop:a.wav", "STOP", "STOP"}));
    }

    void buttonsAndLabel() {
        DoubleClick("[Drums]");
        QCOMPARE(form->lblPath->text().toStdString(), program->lib + "/Drums");
        form->cmdBack->click();
        QCOMPARE(form->dirDirs.Path(), program->lib);
        QCOMPARE(form->lblPath->text().toStdString(), program->lib + "/Drums");  // kept
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->cmdDummy));
        program->root.write("lib/new.wav", "");
        form->lstPath->setFocus();
        form->Command2->click();
        QVERIFY(gui::RowOf(*form, "new.wav") > 0);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->cmdDummy));
    }

    void drops() {
        // Percent-escapes carry the exact bytes of a name that is not UTF-8.
        const std::string odd = "\xff\xfe 100% #1?.wav";
        program->root.write("lib/" + odd, "");
        QByteArray path = QByteArray::fromStdString(program->root.file("lib/" + odd));
        Drop({QUrl::fromEncoded("file://" + path.toPercentEncoding("/"))});
        QCOMPARE(form->SelectedText(), odd);
        QVERIFY(!form->lblPath->text().isEmpty());
        QVERIFY(!form->lstPathModel->data(form->lstPath->currentIndex(), Qt::DisplayRole)
                     .toString()
                     .isEmpty());
        Drop({QUrl("https://example.org/a.wav"), QUrl("file://otherhost/tmp")});  // not local files
        QCOMPARE(form->dirDirs.Path(), program->lib);
        QCOMPARE(program->heard, QStringList{QString::fromStdString(odd)});
        // Pending events run while a drop is handled; closing the window then must be safe.
        QTimer::singleShot(0, form, [this] { form->close(); });
        Drop({QUrl::fromLocalFile(QString::fromStdString(program->lib + "/a.wav"))});
        QApplication::processEvents();
        QCOMPARE(program->heard.size(), 1);
    }

    void keepOnTop() {
        QRect before = form->frameGeometry();
        for (bool on : {true, false}) {
            form->mnuKeepTop->trigger();
            QCOMPARE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
            QCOMPARE(OnTopMode, int16_t(on));
            QVERIFY(form->isVisible() && form->mnuKeepTop->isChecked() == on);
        }
        QCOMPARE(form->frameGeometry(), before);
        form->hide();  // a hidden window stays hidden
        form->mnuKeepTop->trigger();
        QVERIFY(!form->isVisible() && form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    void resizeRule_data() {
        QTest::addColumn<int>("widthTwips");
        QTest::addColumn<int>("heightTwips");
        QTest::newRow("narrower than created springs back") << 2000 << 5000;
        QTest::newRow("wider and taller") << 9000 << 8000;
        QTest::newRow("lower than the list's top") << 5000 << 600;
    }
    void resizeRule() {
        QFETCH(int, widthTwips);
        QFETCH(int, heightTwips);
        int listHeightBefore = form->lstPath->height();
        form->resize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
        QApplication::processEvents();
        QCOMPARE(form->width(), TwipsToPixels(std::max(3525, widthTwips)));
        // The list keeps its margins: 120 left, 90 right, 105 below.
        QCOMPARE(form->lstPath->pos(), QPoint(TwipsToPixels(120), TwipsToPixels(510)));
        QVERIFY(qAbs(form->lstPath->width() - (form->width() - TwipsToPixels(210))) <= 1);
        int expectHeight =
            heightTwips > 615 ? form->height() - TwipsToPixels(615) : listHeightBefore;
        QVERIFY(qAbs(form->lstPath->height() - expectHeight) <= 1);
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
