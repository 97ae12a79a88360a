// What the list, its keys, the mouse and the pop-up menu start, with the sound service recorded.
#include <QMenu>

#include "GuiFixture.h"

class PlaybackTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;
    frmWAV* form = nullptr;
    std::string lib;

    // Recorded starts as short texts: "b.wav", "loop:b.wav", "STOP".
    QStringList Heard() const {
        QStringList out;
        for (const testsupport::Start& s : program->recorder.starts) {
            QString name = s.path == program->StopPath()
                               ? "STOP"
                               : QString::fromStdString(s.path.substr(lib.size() + 1));
            out << (s.loop ? "loop:" + name : name);
        }
        return out;
    }
    QPoint At(const QString& text) const {
        return gui::RowCenter(*form, gui::RowOf(*form, text.toStdString()));
    }

    // One step: a key name ("End", "Shift", ...), "click:", "dclick:", "right:" or "select:" with
    // an entry's text, or the menu items "Play" and "Loop".
    void Do(const QString& step) {
        static const std::map<QString, Qt::Key> keys{
            {"Return", Qt::Key_Return}, {"Space", Qt::Key_Space}, {"Escape", Qt::Key_Escape},
            {"Shift", Qt::Key_Shift},   {"Home", Qt::Key_Home},   {"End", Qt::Key_End},
            {"Up", Qt::Key_Up},         {"Down", Qt::Key_Down}};
        const QString what = step.section(':', 0, 0), entry = step.section(':', 1);
        QWidget* list = form->lstPath->viewport();
        if (keys.count(step)) {
            QTest::keyClick(form->lstPath, keys.at(step));
        } else if (what == "click") {
            QTest::mouseClick(list, Qt::LeftButton, {}, At(entry));
        } else if (what == "dclick") {
            QTest::mouseDClick(list, Qt::LeftButton, {}, At(entry));
        } else if (what == "right") {  // the menu opens on the selection, which stays
            QTest::mousePress(list, Qt::RightButton, {}, At(entry));
            QVERIFY(form->mnuPop->isVisible());
            form->mnuPop->close();
        } else if (what == "select") {
            form->SetListIndex(gui::RowOf(*form, entry.toStdString()));
        } else {
            QVERIFY2(step == "Play" || step == "Loop", qPrintable(step));
            (step == "Play" ? form->mnuPlay : form->mnuLoop)->trigger();
        }
    }

  private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        program->Make({"lib/Drums/", "lib/a.wav", "lib/b.wav", "lib/[intro].wav"});
        lib = program->root.file("lib");
        form = &program->Start(lib + "/a.wav");  // lists [..], [Drums], [intro].wav, a.wav, b.wav
        form->lstPath->setFocus();
    }
    void cleanup() { program.reset(); }

    // clang-format off
    void steps_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("heard");
        QTest::newRow("nothing selected, Enter") << "Return" << QStringList{};
        QTest::newRow("End plays the last file") << "End" << QStringList{"b.wav"};
        QTest::newRow("walking up plays each file") << "End Up Up" << QStringList{"b.wav", "a.wav", "[intro].wav"};
        QTest::newRow("Enter replays") << "End Return" << QStringList{"b.wav", "b.wav"};
        QTest::newRow("Space stops") << "End Space" << QStringList{"b.wav", "STOP"};
        QTest::newRow("Escape stops with nothing playing") << "Escape" << QStringList{"STOP"};
        QTest::newRow("Shift alone restarts") << "End Shift" << QStringList{"b.wav", "b.wav"};
        QTest::newRow("parent entry plays nothing") << "Home" << QStringList{};
        QTest::newRow("folder entry plays nothing") << "Home Down" << QStringList{};
        QTest::newRow("left click plays the clicked file") << "click:a.wav" << QStringList{"a.wav"};
        QTest::newRow("double click plays it again") << "dclick:b.wav" << QStringList{"b.wav", "b.wav"};
        QTest::newRow("right press keeps the selection for the menu") << "select:a.wav right:b.wav Play Loop" << QStringList{"a.wav", "loop:a.wav"};
        QTest::newRow("Loop on restarts the selected file") << "End Loop" << QStringList{"b.wav", "loop:b.wav"};
        QTest::newRow("in loop mode every start loops, Stop keeps it, off stops") << "Loop End Space Return Loop" << QStringList{"loop:b.wav", "STOP", "loop:b.wav", "STOP"};
        QTest::newRow("Play on a folder passes its bracketed name") << "select:[Drums] Play" << QStringList{"[Drums]"};
    }
    // clang-format on
    void steps() {
        QFETCH(QString, steps);
        QFETCH(QStringList, heard);
        for (const QString& step : steps.split(' ')) Do(step);
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

    void loopModeSigns() {
        form->mnuLoop->trigger();
        QVERIFY(form->mnuLoop->isChecked());
        QCOMPARE(LoopMode, int16_t(1));
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Looper"));
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(220, 100, 140));
        QCOMPARE(form->lstPath->palette().color(QPalette::Text), QColor(255, 255, 255));
        form->mnuLoop->trigger();
        QCOMPARE(LoopMode, int16_t(0));
        QCOMPARE(form->windowTitle(), QString("Brimvale WAV-Player"));
        QCOMPARE(form->lstPath->palette().color(QPalette::Base), QColor(255, 255, 0));
        QCOMPARE(form->lstPath->palette().color(QPalette::Text), QColor(0, 0, 0));
    }
};

QTEST_MAIN(PlaybackTest)
#include "test_playback.moc"
