// What the list, its keys and the pop-up menu start, with the sound service recorded.
#include <QMenu>

#include "GuiFixture.h"

using testsupport::Start;

class PlaybackTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;
    frmWAV* form = nullptr;
    std::string lib;

    // Recorded starts as short texts: "b.wav", "loop:b.wav", "STOP".
    QStringList Heard() const {
        QStringList out;
        for (const Start& s : program->recorder.starts) {
            if (s.path == program->StopPath()) {
                out << "STOP";
                continue;
            }
            QString name = QString::fromStdString(s.path.substr(lib.size() + 1));
            out << (s.loop ? "loop:" + name : name);
        }
        return out;
    }

private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        lib = program->root.mkdir("lib");
        program->root.mkdir("lib/Drums");
        for (const char* name : {"a.wav", "b.wav", "[intro].wav"}) program->root.write(std::string("lib/") + name, "");
        form = &program->Start(lib + "/a.wav");
        form->lstPath->setFocus();
    }
    void cleanup() { program.reset(); }

    void listedInOrder() {
        QCOMPARE(gui::Texts(*form),
                 (std::vector<std::string>{"[..]", "[Drums]", "[intro].wav", "a.wav", "b.wav"}));
        QCOMPARE(form->ListIndex(), -1);
    }

    void keys_data() {
        QTest::addColumn<QTestEventList>("keys");
        QTest::addColumn<QStringList>("heard");
        auto seq = [](std::initializer_list<Qt::Key> keys) {
            QTestEventList list;
            for (Qt::Key k : keys) list.addKeyClick(k);
            return list;
        };
        QTest::newRow("nothing selected, Enter") << seq({Qt::Key_Return}) << QStringList{};
        QTest::newRow("End plays the last file") << seq({Qt::Key_End}) << QStringList{"b.wav"};
        QTest::newRow("walking up plays each file")
            << seq({Qt::Key_End, Qt::Key_Up, Qt::Key_Up})
            << QStringList{"b.wav", "a.wav", "[intro].wav"};
        QTest::newRow("Enter replays") << seq({Qt::Key_End, Qt::Key_Return})
                                       << QStringList{"b.wav", "b.wav"};
        QTest::newRow("Space stops") << seq({Qt::Key_End, Qt::Key_Space})
                                     << QStringList{"b.wav", "STOP"};
        QTest::newRow("Escape stops with nothing playing") << seq({Qt::Key_Escape})
                                                           << QStringList{"STOP"};
        QTest::newRow("Shift alone restarts") << seq({Qt::Key_End, Qt::Key_Shift})
                                              << QStringList{"b.wav", "b.wav"};
        QTest::newRow("parent entry plays nothing") << seq({Qt::Key_Home}) << QStringList{};
        QTest::newRow("folder entry plays nothing") << seq({Qt::Key_Home, Qt::Key_Down})
                                                    << QStringList{};
    }
    void keys() {
        QFETCH(QTestEventList, keys);
        QFETCH(QStringList, heard);
        keys.simulate(form->lstPath);
        QCOMPARE(Heard(), heard);
    }

    void heldKeyPlaysOnlyAtRelease() {
        QTest::keyClick(form->lstPath, Qt::Key_Home);  // on "[..]": plays nothing
        // A held key sends repeated press/release pairs marked as auto-repeat.
        for (int i = 0; i < 2; ++i) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), i > 0);
            QApplication::sendEvent(form->lstPath, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(form->lstPath, &release);
        }
        QCOMPARE(Heard(), QStringList{});
        QTest::keyClick(form->lstPath, Qt::Key_Down);  // the real release, two rows further
        QCOMPARE(Heard(), QStringList{"a.wav"});
    }

    void leftClickPlaysTheClickedFile() {
        QTest::mouseClick(form->lstPath->viewport(), Qt::LeftButton, {},
                          gui::RowCenter(*form, gui::RowOf(*form, "a.wav")));
        QCOMPARE(Heard(), QStringList{"a.wav"});
    }

    void rightPressKeepsSelectionAndMenuActsOnIt() {
        form->SetListIndex(gui::RowOf(*form, "a.wav"));
        QTest::mousePress(form->lstPath->viewport(), Qt::RightButton, {},
                          gui::RowCenter(*form, gui::RowOf(*form, "b.wav")));
        QVERIFY(form->mnuPop->isVisible());
        QCOMPARE(form->SelectedText(), std::string("a.wav"));
        form->mnuPop->close();
        form->mnuPlay->trigger();
        form->mnuLoop->trigger();
        QCOMPARE(Heard(), (QStringList{"a.wav", "loop:a.wav"}));
    }

    void loopMode() {
        // On with nothing selected: only the signs change.
        form->mnuLoop->trigger();
        QVERIFY(form->mnuLoop->isChecked());
        QCOMPARE(LoopMode, int16_t(1));
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Looper"));
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(220, 100, 140));
        QCOMPARE(form->lstPath->palette().color(QPalette::Text), QColor(255, 255, 255));
        QCOMPARE(Heard(), QStringList{});
        // Every start loops; Stop keeps the mode.
        QTest::keyClick(form->lstPath, Qt::Key_End);
        QTest::keyClick(form->lstPath, Qt::Key_Space);
        QTest::keyClick(form->lstPath, Qt::Key_Return);
        // Off always stops.
        form->mnuLoop->trigger();
        QCOMPARE(Heard(), (QStringList{"loop:b.wav", "STOP", "loop:b.wav", "STOP"}));
        QCOMPARE(LoopMode, int16_t(0));
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Player"));
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(form->lstPath->palette().color(QPalette::Text), QColor(0, 0, 0));
    }

    void loopOnRestartsSelectedFileAsLoop() {
        QTest::keyClick(form->lstPath, Qt::Key_End);
        form->mnuLoop->trigger();
        QCOMPARE(Heard(), (QStringList{"b.wav", "loop:b.wav"}));
    }

    void playItemOnFolderPassesTheBracketedName() {
        form->SetListIndex(gui::RowOf(*form, "[Drums]"));
        form->mnuPlay->trigger();
        QCOMPARE(Heard(), QStringList{"[Drums]"});
    }

    void doubleClickOnFilePlaysIt() {
        QPoint at = gui::RowCenter(*form, gui::RowOf(*form, "b.wav"));
        QTest::mouseDClick(form->lstPath->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(!Heard().isEmpty());
        QCOMPARE(Heard().last(), QString("b.wav"));
    }
};

QTEST_MAIN(PlaybackTest)
#include "test_playback.moc"
