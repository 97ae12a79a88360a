// Moving between folders (buttons, double clicks), dropping files, placement and keep-on-top.
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <unistd.h>

#include "GuiFixture.h"
#include "util/WindowCommands.h"

class NavigationTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;
    frmWAV* form = nullptr;
    std::string lib;

    void DoubleClick(const std::string& text) {
        form->SetListIndex(gui::RowOf(*form, text));
        form->lstPath_DblClick();
    }
    void Drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        form->lstPath_OLEDragDrop(&data);
    }
    QUrl File(const std::string& relative) const {
        return QUrl::fromLocalFile(QString::fromStdString(program->root.file(relative)));
    }

private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        lib = program->root.mkdir("lib");
        program->root.mkdir("lib/Drums/Deep");
        program->root.mkdir("other");
        for (const char* f : {"lib/a.wav", "lib/Drums/kick.wav", "lib/Drums/snare.WAV",
                              "lib/notes.txt", "lib/fakewav", "other/x.wav", "lib/[intro].wav"})
            program->root.write(f, "");
        form = &program->Start(lib + "/a.wav");
    }
    void cleanup() { program.reset(); }

    void doubleClicks() {
        DoubleClick("[Drums]");
        QCOMPARE(form->dirDirs.Path(), lib + "/Drums");
        QCOMPARE(form->LabelText(), lib + "/Drums");
        QCOMPARE(gui::Texts(*form),
                 (std::vector<std::string>{"[..]", "[Deep]", "kick.wav", "snare.WAV"}));
        QCOMPARE(form->ListIndex(), -1);
        DoubleClick("[..]");
        QCOMPARE(form->dirDirs.Path(), lib);
        QCOMPARE(form->LabelText(), lib);
        QCOMPARE(form->ListIndex(), -1);
        // A file whose name begins with "[" is a file: it plays and opens nothing.
        DoubleClick("[intro].wav");
        QCOMPARE(form->dirDirs.Path(), lib);
        QCOMPARE(program->recorder.starts.back().path, lib + "/[intro].wav");
        // Nothing selected: nothing happens.
        size_t starts = program->recorder.starts.size();
        form->SetListIndex(-1);
        form->lstPath_DblClick();
        QCOMPARE(program->recorder.starts.size(), starts);
    }

    void doubleClickOnVanishedFolderKeepsList() {
        auto before = gui::Texts(*form);
        std::filesystem::remove_all(program->root.file("lib/Drums"));
        // Still listed until reload; opening it fails and changes nothing but the label.
        form->SetLabelText("old label");
        DoubleClick("[Drums]");
        QCOMPARE(form->dirDirs.Path(), lib);
        QCOMPARE(gui::Texts(*form), before);
        QCOMPARE(form->LabelText(), lib);
    }

    void buttons() {
        DoubleClick("[Drums]");
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
        QCOMPARE(gui::Texts(*form).front() == "[..]", false);
        form->cmdRoot->click();
        QCOMPARE(form->dirDirs.Path(), std::string("/"));
    }

    void reloadReadsFilesOnly() {
        program->root.write("lib/new.wav", "");
        program->root.mkdir("lib/NewFolder");
        unlink(program->root.file("lib/a.wav").c_str());
        form->Command2->click();
        auto texts = gui::Texts(*form);
        QVERIFY(std::find(texts.begin(), texts.end(), "new.wav") != texts.end());
        QVERIFY(std::find(texts.begin(), texts.end(), "a.wav") == texts.end());
        QVERIFY(std::find(texts.begin(), texts.end(), "[NewFolder]") == texts.end());
        QCOMPARE(form->dirDirs.Path(), lib);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form->cmdDummy));
    }

    void drops_data() {
        QTest::addColumn<QStringList>("items");  // relative to the temporary folder
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("selected");   // "" = nothing
        QTest::newRow("one wav") << QStringList{"lib/Drums/kick.wav"} << "lib/Drums" << "kick.wav";
        QTest::newRow("several of one folder") << QStringList{"lib/Drums/kick.wav", "lib/Drums/snare.WAV"}
                                               << "lib/Drums" << "snare.WAV";
        QTest::newRow("several folders, last wins") << QStringList{"lib/Drums/kick.wav", "other/x.wav"}
                                                    << "other" << "x.wav";
        QTest::newRow("text file opens its folder") << QStringList{"other/x.wav", "lib/notes.txt"}
                                                    << "lib" << "";
        QTest::newRow("folder opens its parent") << QStringList{"lib/Drums"} << "lib" << "";
        QTest::newRow("wav without a dot") << QStringList{"lib/fakewav"} << "lib" << "";
        QTest::newRow("missing folder keeps the current one") << QStringList{"gone/y.wav"} << "lib" << "";
    }
    void drops() {
        QFETCH(QStringList, items);
        QFETCH(QString, folder);
        QFETCH(QString, selected);
        QList<QUrl> urls;
        for (const QString& item : items) urls << File(item.toStdString());
        Drop(urls);
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
        QMimeData text;
        text.setText("/tmp/a.wav");
        form->lstPath_OLEDragDrop(&text);
        Drop({QUrl("https://example.org/a.wav")});
        QCOMPARE(form->dirDirs.Path(), lib);
        QVERIFY(program->recorder.starts.empty());
    }

    void windowClosedDuringDrop() {
        // Pending events run while a drop is handled; closing the window then must be safe.
        QTimer::singleShot(0, form, [this] { form->close(); });
        Drop({File("lib/Drums/kick.wav"), File("other/x.wav")});
        QApplication::processEvents();
        QVERIFY(program->recorder.starts.empty());
    }

    void placeForm_data() {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("width");
        QTest::newRow("fits") << 4590 << 6000;
        QTest::newRow("taller than 85 %") << 200000 << 6000;
        QTest::newRow("wider than the screen") << 4590 << 200000;
    }
    void placeForm() {
        QFETCH(int, height);
        QFETCH(int, width);
        form->setMinimumWidth(0);
        SetFormHeight(*form, height);
        SetFormWidth(*form, width);
        PlaceForm(*form);
        int a = qRound(ScreenHeightTwips() * 0.85), c = qRound(ScreenWidthTwips());
        int b = qRound(FormHeight(*form)), d = qRound(FormWidth(*form));
        QVERIFY(qAbs(qRound(FormTop(*form)) - std::max(0, a / 2 - b / 2)) <= 15);
        QVERIFY(qAbs(qRound(FormLeft(*form)) - std::max(0, c / 2 - d / 2)) <= 15);
    }

    void keepOnTop() {
        QRect before = form->frameGeometry();
        form->mnuKeepTop->trigger();
        QVERIFY(form->mnuKeepTop->isChecked());
        QVERIFY(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(OnTopMode, int16_t(1));
        QVERIFY(form->isVisible());
        QCOMPARE(form->frameGeometry(), before);
        form->mnuKeepTop->trigger();
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
