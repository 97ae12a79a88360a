// The window when the file system misbehaves: folders that vanish or cannot be read, settings
// that cannot be saved, names few programs expect, paths past the system's length limit, and
// entries that loop. Nothing of it may crash, hang or lose the settings file.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "GuiFixture.h"

namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

// Checks in a forked copy (see testsupport::AsUnprivileged): a failure is told on stderr.
#define CHILD_CHECK(cond)                                  \
    if (!(cond)) {                                         \
        qWarning("%s failed at line %d", #cond, __LINE__); \
        return false;                                      \
    }

// Removes a tree that may be deeper than any path can name, one folder handle at a time.
void RemoveTreeAt(int parent, const char* name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (DIR* d = fd >= 0 ? fdopendir(fd) : nullptr) {
        std::vector<std::string> names;
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        for (const std::string& n : names)
            if (unlinkat(dirfd(d), n.c_str(), 0) != 0) RemoveTreeAt(dirfd(d), n.c_str());
        closedir(d);
    }
    unlinkat(parent, name, AT_REMOVEDIR);
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

class FaultsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;
    frmWAV* form = nullptr;
    std::string lib, drums;

    const std::vector<testsupport::Start>& Starts() const { return program->recorder.starts; }

  private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        chmod(program->root.path().c_str(), 0755);  // the unprivileged cases pass through it
        program->Make({"lib/Drums/Deep/", "lib/a.wav", "lib/Drums/kick.wav"});
        lib = program->root.file("lib");
        drums = lib + "/Drums";
        form = &program->Start(drums + "/kick.wav");
        QCOMPARE(form->dirDirs.Path(), drums);
    }
    void cleanup() { program.reset(); }

    // clang-format off
    void vanishedFolder_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("backTo");  // relative to the temporary folder, "" = itself
        QTest::newRow("deleted") << "deleted" << "lib";
        QTest::newRow("replaced by a file") << "file" << "lib";
        QTest::newRow("parent deleted too") << "parent" << "";
    }
    // clang-format on
    void vanishedFolder() {
        QFETCH(QString, how);
        QFETCH(QString, backTo);
        fs::remove_all(how == "parent" ? lib : drums);
        if (how == "file") program->root.write("lib/Drums", "");

        // Reload: the folder stays what the window shows, its files are gone, and the
        // sub-folders read when it was opened stay until it is opened again.
        form->Command2->click();
        QCOMPARE(form->dirDirs.Path(), drums);
        QCOMPARE(gui::Texts(*form), (Texts{"[..]", "[Deep]"}));
        // A stale sub-folder cannot be entered; nothing changes but the label, which shows the
        // folder again.
        form->SetLabelText("old label");
        gui::DoubleClick(*form, "[Deep]");
        QCOMPARE(form->dirDirs.Path(), drums);
        QCOMPARE(gui::Texts(*form), (Texts{"[..]", "[Deep]"}));
        QCOMPARE(form->LabelText(), drums);

        // Back leads out to the nearest folder that still exists and leaves the label.
        form->cmdBack->click();
        QCOMPARE(form->dirDirs.Path(), program->root.path() + (backTo.isEmpty() ? "" : "/lib"));
        QCOMPARE(gui::Texts(*form),
                 (backTo.isEmpty() ? Texts{"[..]", "[app]"} : Texts{"[..]", "a.wav"}));
        QCOMPARE(form->LabelText(), drums);
        QVERIFY(Starts().empty());
    }

    // clang-format off
    void unreadableFolder_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("readable");  // can the folder's entries still be listed
        QTest::newRow("no permissions") << 0000 << false;
        QTest::newRow("search only") << 0111 << false;
        QTest::newRow("read, no search") << 0444 << true;
    }
    // clang-format on
    void unreadableFolder() {
        QFETCH(int, mode);
        QFETCH(bool, readable);
        QCOMPARE(chmod(drums.c_str(), static_cast<mode_t>(mode)), 0);
        bool held = testsupport::AsUnprivileged([&] {
            form->Command2->click();
            CHILD_CHECK(form->dirDirs.Path() == drums);
            CHILD_CHECK(gui::Texts(*form) ==
                        (readable ? Texts{"[..]", "[Deep]", "kick.wav"} : Texts{"[..]", "[Deep]"}));
            form->cmdBack->click();
            CHILD_CHECK(form->dirDirs.Path() == lib);
            CHILD_CHECK(gui::Texts(*form) == (Texts{"[..]", "[Drums]", "a.wav"}));
            // Opening it again works only where it can be read; otherwise the window stays.
            gui::DoubleClick(*form, "[Drums]");
            CHILD_CHECK(form->dirDirs.Path() == (readable ? drums : lib));
            CHILD_CHECK(form->LabelText() == form->dirDirs.Path());
            CHILD_CHECK(Starts().empty());
            return true;
        });
        chmod(drums.c_str(), 0755);
        QVERIFY(held);
    }

    // clang-format off
    void settingsCannotBeSaved_data() {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<int>("fileLimit");  // bytes any written file may hold; 0 = no limit
        QTest::newRow("read-only folder") << true << 0;
        QTest::newRow("disk full") << false << 64;
    }
    // clang-format on
    void settingsCannotBeSaved() {
        QFETCH(bool, readOnlyFolder);
        QFETCH(int, fileLimit);
        // A file of the old program's seven keys, longer than the limit lets through.
        const std::string old = "[Brimvale WAV-Player/Looper]\r\nLastDir=" + lib +
                                "/\r\nTop=2460\r\nLeft=1320\r\n"
                                "Height=4590\r\nWidth=3675\r\nLoop=0\r\nOnTop=0\r\n; mine\r\n";
        QCOMPARE(IniFile, program->appDir + "wavplayer.ini");
        program->root.write("app/wavplayer.ini", old);
        chmod(IniFile.c_str(), 0666);  // the file itself could be written; its folder not
        if (readOnlyFolder) chmod(program->appDir.c_str(), 0555);
        auto before = NamesIn(program->appDir);
        // Closing saves the settings on the way out.
        bool closed =
            testsupport::AsUnprivileged([&] { return form->close(); }, fileLimit, !readOnlyFolder);
        chmod(program->appDir.c_str(), 0755);
        QVERIFY(closed);
        QCOMPARE(testsupport::ReadAll(IniFile), old);
        QCOMPARE(NamesIn(program->appDir), before);  // no temporary file left behind
    }

    // clang-format off
    void strangeNames_data() {
        QTest::addColumn<QByteArray>("name");
        std::string longest;
        for (int i = 0; i < 125; ++i) longest += "\xc3\xa9";  // 250 bytes of two-byte letters
        QTest::newRow("newline") << QByteArray("two\nlines.wav");
        QTest::newRow("255 bytes") << QByteArray::fromStdString(longest + "x.wav");
        QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe bad \xc3.wav");
        QTest::newRow("URL characters") << QByteArray("100% #1?a=b&c.wav");
        QTest::newRow("backslash and quotes") << QByteArray("a\\b \"c\" 'd'.wav");
    }
    // clang-format on
    void strangeNames() {
        QFETCH(QByteArray, name);
        const std::string n = name.toStdString(), folder = program->root.file("lib/Odd");
        QVERIFY(n.size() <= NAME_MAX);
        program->Make({"lib/Odd/", "lib/Odd/" + n, "lib/Odd/b.wav"});
        // Named on the command line: its folder opens, it is shown, and a click plays it.
        CloseMainForm();
        form = &program->Start(folder + "/" + n);
        QCOMPARE(form->dirDirs.Path(), folder);
        int row = gui::RowOf(*form, n);
        QVERIFY(row >= 0);
        QVERIFY(!form->lstPathModel->data(form->lstPathModel->index(row), Qt::DisplayRole)
                     .toString()
                     .isEmpty());
        gui::Click(*form, n);
        QCOMPARE(Starts().back().path, folder + "/" + n);
        // Dropped from elsewhere: its folder opens, the file is selected and plays.
        form->cmdBack->click();
        program->recorder.starts.clear();
        gui::Drop(*form, {folder + "/" + n});
        QCOMPARE(form->dirDirs.Path(), folder);
        QCOMPARE(form->SelectedText(), n);
        QCOMPARE(Starts(), (std::vector<testsupport::Start>{{folder + "/" + n, false}}));
    }

    void pathsPastTheLimit() {
        // A chain of folders far deeper than PATH_MAX, made one level at a time through handles;
        // each level holds x.wav.
        const std::string comp(200, 'd');
        std::vector<std::string> levels{lib};
        int fd = open(lib.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        while (levels.back().size() < PATH_MAX + 1000) {
            QCOMPARE(mkdirat(fd, comp.c_str(), 0755), 0);
            int sub = openat(fd, comp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(fd);
            fd = sub;
            QVERIFY(fd >= 0);
            close(openat(fd, "x.wav", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
            levels.push_back(levels.back() + "/" + comp);
        }
        close(fd);
        struct Cleanup {
            std::string lib, comp;
            ~Cleanup() {
                int d = open(lib.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                RemoveTreeAt(d, comp.c_str());
                close(d);
            }
        } cleanupDeep{lib, comp};
        size_t fits = 0;  // the deepest level a path can still name
        while (levels[fits + 1].size() < PATH_MAX) ++fits;
        program->Make({"lib/x.wav"});

        // Walking down by double clicks ends at the deepest level that can be opened.
        form->OpenAndRebuild(lib);
        for (size_t i = 0; i < levels.size(); ++i) gui::DoubleClick(*form, "[" + comp + "]");
        QCOMPARE(form->dirDirs.Path(), levels[fits]);
        QCOMPARE(form->LabelText(), levels[fits]);
        QCOMPARE(gui::Texts(*form), (Texts{"[..]", "[" + comp + "]", "x.wav"}));
        gui::Click(*form, "x.wav");
        QCOMPARE(Starts().back().path, levels[fits] + "/x.wav");

        // A file dropped from beyond: its folder cannot be opened, so the window stays and
        // does not play this folder's x.wav in its place.
        program->recorder.starts.clear();
        gui::Drop(*form, {levels[fits + 1] + "/x.wav"});
        QCOMPARE(form->dirDirs.Path(), levels[fits]);
        QVERIFY(Starts().empty());

        // Back still climbs out.
        form->cmdBack->click();
        QCOMPARE(form->dirDirs.Path(), levels[fits - 1]);

        // Started on a file beyond the limit: the program's own folder shows instead.
        CloseMainForm();
        form = &program->Start(levels.back() + "/x.wav");
        QCOMPARE(form->dirDirs.Path() + "/", program->appDir);
        QVERIFY(Starts().empty());
    }

    void loopsAndLookalikes() {
        QCOMPARE(symlink("loop.wav", (lib + "/loop.wav").c_str()), 0);  // points at itself
        QCOMPARE(symlink("nowhere", (lib + "/broken.wav").c_str()), 0);
        QCOMPARE(symlink(".", (lib + "/self").c_str()), 0);  // a folder that holds itself
        QCOMPARE(mkfifo((lib + "/pipe.wav").c_str(), 0644), 0);
        program->Make({"lib/dir.wav/"});
        const Texts listed{"[..]", "[dir.wav]", "[Drums]", "[self]", "a.wav"};
        form->OpenAndRebuild(lib);
        form->Command2->click();  // reading the files again must not hang on the FIFO either
        QCOMPARE(gui::Texts(*form), listed);

        // A folder named like a file is a folder: a click plays nothing, a double click opens it.
        gui::Click(*form, "[dir.wav]");
        QVERIFY(Starts().empty());
        gui::DoubleClick(*form, "[dir.wav]");
        QCOMPARE(form->dirDirs.Path(), lib + "/dir.wav");
        form->cmdBack->click();
        // The self-link opens like any folder, as deep as one likes, and lists the same.
        gui::DoubleClick(*form, "[self]");
        gui::DoubleClick(*form, "[self]");
        QCOMPARE(form->dirDirs.Path(), lib + "/self/self");
        QCOMPARE(gui::Texts(*form), listed);
        // Dropping the looping link opens its folder and plays nothing.
        gui::Drop(*form, {lib + "/loop.wav"});
        QCOMPARE(form->dirDirs.Path(), lib);
        QVERIFY(Starts().empty());
    }
};

QTEST_MAIN(FaultsTest)
#include "test_faults.moc"
