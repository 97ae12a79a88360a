// Moving between folders (buttons, double clicks), dropping files and keep-on-top.
#include <unistd.h>

#include <QTimer>

#include "GuiFixture.h"

using Texts = std::vector<std::string>;

class NavigationTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;
    frmWAV* form = nullptr;
    std::string lib;

  private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        program->Make({"lib/Drums/Deep/", "other/", "lib/a.wav", "lib/Drums/kick.wav",
                       "lib/Drums/snare.WAV", "lib/notes.txt", "lib/fakewav", "other/x.wav",
                       "lib/[intro].wav"});
        lib = program->root.file("lib");
        form = &program->Start(lib + "/a.wav");
    }
    void cleanup() { program.reset(); }

    void doubleClicks() {
        gui::DoubleClick(*form, "[Drums]");
        QCOMPARE(form->dirDirs.Path(), lib + "/Drums");
        QCOMPARE(form->LabelText(), lib + "/Drums");
        QCOMPARE(gui::Texts(*form), (Texts{"[..]", "[Deep]", "kick.wav", "snare.WAV"}));
        QCOMPARE(form->ListIndex(), -1);
        gui::DoubleClick(*form, "[..]");
        QCOMPARE(form->dirDirs.Path(), lib);
        QCOMPARE(form->LabelText(), lib);
        QCOMPARE(form->ListIndex(), -1);
        // A file whose name begins with "[" is a file: it plays and opens nothing.
        gui::DoubleClick(*form, "[intro].wav");
        QCOMPARE(form->dirDirs.Path(), lib);
        QCOMPARE(program->recorder.starts.back().path, lib + "/[intro].wav");
        // Nothing selected: nothing happens.
        gui::DoubleClick(*form, "no such entry");
        QCOMPARE(program->recorder.starts.size(), size_t(1));
    }

    void buttons() {
        gui::DoubleClick(*form, "[Drums]");
        form->SetLabelText("kept");
        form->cmdBack->click();
        QCOMPARE(form->dirDirs.Path(), lib);
        QCOMPARE(form->LabelText(), std::string("kept"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->cmdDummy));
        // Root goes to the mount point of the folder's volume; at "/" Back stays.
        form->cmdRoot->click();
        QCOMPARE(form->dirDirs.Path(), dirlist::MountPointOf(lib));
        form->dirDirs.SetPath("/");
        form->cmdBack->click();
        QCOMPARE(form->dirDirs.Path(), std::string("/"));
        QVERIFY(gui::Texts(*form).front() != "[..]");
        form->cmdRoot->click();
        QCOMPARE(form->dirDirs.Path(), std::string("/"));
    }

    void reloadReadsFilesOnly() {
        program->root.write("lib/new.wav", "");
        program->root.mkdir("lib/NewFolder");
        unlink(program->root.file("lib/a.wav").c_str());
        form->Command2->click();
        QCOMPARE(gui::Texts(*form), (Texts{"[..]", "[Drums]", "[intro].wav", "new.wav"}));
        QCOMPARE(form->dirDirs.Path(), lib);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->cmdDummy));
    }

    // clang-format off
    void drops_data() {
        QTest::addColumn<QStringList>("items");  // relative to the temporary folder
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("selected");  // "" = nothing
        QTest::newRow("one wav") << QStringList{"lib/Drums/kick.wav"} << "lib/Drums" << "kick.wav";
        QTest::newRow("several of one folder") << QStringList{"lib/Drums/kick.wav", "lib/Drums/snare.WAV"} << "lib/Drums" << "snare.WAV";
        QTest::newRow("several folders, last wins") << QStringList{"lib/Drums/kick.wav", "other/x.wav"} << "other" << "x.wav";
        QTest::newRow("text file opens its folder") << QStringList{"other/x.wav", "lib/notes.txt"} << "lib" << "";
        QTest::newRow("folder opens its parent") << QStringList{"lib/Drums"} << "lib" << "";
        QTest::newRow("wav without a dot") << QStringList{"lib/fakewav"} << "lib" << "";
        QTest::newRow("missing folder keeps the current one") << QStringList{"gone/y.wav"} << "lib" << "";
    }
    // clang-format on
    void drops() {
        QFETCH(QStringList, items);
        QFETCH(QString, folder);
        QFETCH(QString, selected);
        std::vector<std::string> paths;
        for (const QString& item : items) paths.push_back(program->root.file(item.toStdString()));
        gui::Drop(*form, paths);
        std::string expectFolder = program->root.file(folder.toStdString());
        QCOMPARE(form->dirDirs.Path(), expectFolder);
        QCOMPARE(form->LabelText(), expectFolder);
        QCOMPARE(form->SelectedText(), selected.toStdString());
        if (selected.isEmpty()) {
            QVERIFY(program->recorder.starts.empty());
        } else {
            QCOMPARE(program->recorder.starts.size(), size_t(1));
            QCOMPARE(program->recorder.starts[0].path, expectFolder + "/" + selected.toStdString());
        }
    }

    void nonFileDropChangesNothing() {
        QMimeData text, web;
        text.setText("/tmp/a.wav");
        web.setUrls({QUrl("https://example.org/a.wav")});
        form->lstPath_OLEDragDrop(&text);
        form->lstPath_OLEDragDrop(&web);
        QCOMPARE(form->dirDirs.Path(), lib);
        QVERIFY(program->recorder.starts.empty());
    }

    void windowClosedDuringDrop() {
        // Pending events run while a drop is handled; closing the window then must be safe.
        QTimer::singleShot(0, form, [this] { form->close(); });
        gui::Drop(*form,
                  {program->root.file("lib/Drums/kick.wav"), program->root.file("other/x.wav")});
        QApplication::processEvents();
        QVERIFY(program->recorder.starts.empty());
    }

    void keepOnTop() {
        QRect before = form->frameGeometry();
        form->mnuKeepTop->trigger();
        QVERIFY(form->mnuKeepTop->isChecked());
        QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(OnTopMode, int16_t(1));
        QVERIFY(form->isVisible());
        form->mnuKeepTop->trigger();
        QVERIFY(!form->mnuKeepTop->isChecked());
        QVERIFY(!form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(OnTopMode, int16_t(0));
        QCOMPARE(form->frameGeometry(), before);
        // A hidden window stays hidden.
        form->hide();
        form->mnuKeepTop->trigger();
        QVERIFY(!form->isVisible());
        QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }
};

QTEST_MAIN(NavigationTest)
#include "test_navigation.moc"
