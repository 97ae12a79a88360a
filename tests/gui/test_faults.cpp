// The window when the file system misbehaves: folders that vanish or cannot be read, settings
// that cannot be saved, names few programs expect, paths past the system's length limit, and
// entries that loop. Nothing of it may crash, hang or lose the settings file.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <climits>
#include <filesystem>
#include <functional>

#include "GuiFixture.h"

namespace {

namespace fs = std::filesystem;

// Runs fn in a forked copy of this test and returns its complaint ("" when all held). With
// unprivileged, the copy runs as nobody, so that permissions bind although tests run as root;
// fileLimit caps the size of any file it writes, as a full disk would. The copy has only this
// thread, which is all the offscreen window needs.
std::string InChild(const std::function<std::string()>& fn, bool unprivileged,
                    rlim_t fileLimit = RLIM_INFINITY) {
    int pipefd[2];
    if (pipe(pipefd) != 0) return "pipe failed";
    pid_t pid = fork();
    if (pid == 0) {
        close(pipefd[0]);
        std::string msg;
        if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            msg = "cannot become nobody";
        if (msg.empty() && fileLimit != RLIM_INFINITY) {
            signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead
            rlimit lim{fileLimit, fileLimit};
            if (setrlimit(RLIMIT_FSIZE, &lim) != 0) msg = "setrlimit failed";
        }
        if (msg.empty()) msg = fn();
        (void)!write(pipefd[1], msg.data(), msg.size());
        _exit(0);
    }
    close(pipefd[1]);
    std::string msg;
    char buf[512];
    ssize_t n;
    while ((n = read(pipefd[0], buf, sizeof buf)) > 0) msg.append(buf, static_cast<size_t>(n));
    close(pipefd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return "child died of signal " + std::to_string(WTERMSIG(status));
    return msg;
}

#define CHILD_CHECK(cond)                                                                     \
    do {                                                                                      \
        if (!(cond)) return std::string(#cond " failed at line ") + std::to_string(__LINE__); \
    } while (0)

// Removes a tree that may be deeper than any path can name, one folder handle at a time.
void RemoveTreeAt(int parent, const char* name) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* d = fdopendir(fd)) {
            std::vector<std::string> names;
            while (dirent* e = readdir(d)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
            }
            for (const std::string& n : names) {
                if (unlinkat(dirfd(d), n.c_str(), 0) != 0) RemoveTreeAt(dirfd(d), n.c_str());
            }
            closedir(d);
        } else {
            close(fd);
        }
    }
    unlinkat(parent, name, AT_REMOVEDIR);
}

std::vector<std::string> NamesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

QUrl FileUrl(const std::string& path) {
    // Every byte but "/" and the unreserved ones escaped, so the URL carries the exact bytes.
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

}  // namespace

class FaultsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<gui::Program> program;
    frmWAV* form = nullptr;
    std::string lib, drums;

    void DoubleClick(const std::string& text) {
        form->SetListIndex(gui::RowOf(*form, text));
        form->lstPath_DblClick();
    }
    void Drop(const std::string& path) {
        QMimeData data;
        data.setUrls({FileUrl(path)});
        form->lstPath_OLEDragDrop(&data);
    }
    std::vector<std::string> Expect(std::initializer_list<const char*> texts) {
        return std::vector<std::string>(texts.begin(), texts.end());
    }

  private slots:
    void init() {
        program = std::make_unique<gui::Program>();
        // Others may pass through the temporary folder (the unprivileged cases).
        chmod(program->root.path().c_str(), 0755);
        lib = program->root.mkdir("lib");
        drums = program->root.mkdir("lib/Drums");
        program->root.mkdir("lib/Drums/Deep");
        program->root.write("lib/a.wav", "");
        program->root.write("lib/Drums/kick.wav", "");
        form = &program->Start(drums + "/kick.wav");
        QCOMPARE(form->dirDirs.Path(), drums);
    }
    void cleanup() { program.reset(); }

    void vanishedFolder_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("backTo");  // relative to the temporary folder, "" = itself
        QTest::newRow("deleted") << "deleted"
                                 << "lib";
        QTest::newRow("replaced by a file") << "file"
                                            << "lib";
        QTest::newRow("parent deleted too") << "parent"
                                            << "";
    }
    void vanishedFolder() {
        QFETCH(QString, how);
        QFETCH(QString, backTo);
        fs::remove_all(how == "parent" ? lib : drums);
        if (how == "file") program->root.write("lib/Drums", "");

        // Reload: the folder stays what the window shows, its files are gone, and the
        // sub-folders read when it was opened stay until it is opened again.
        form->Command2->click();
        QCOMPARE(form->dirDirs.Path(), drums);
        QCOMPARE(gui::Texts(*form), Expect({"[..]", "[Deep]"}));
        // A stale sub-folder cannot be entered; nothing changes.
        DoubleClick("[Deep]");
        QCOMPARE(form->dirDirs.Path(), drums);
        QCOMPARE(form->LabelText(), drums);

        // Back leads out to the nearest folder that still exists.
        form->cmdBack->click();
        std::string expect =
            backTo.isEmpty() ? program->root.path() : program->root.file(backTo.toStdString());
        QCOMPARE(form->dirDirs.Path(), expect);
        QCOMPARE(gui::Texts(*form),
                 backTo.isEmpty() ? Expect({"[..]", "[app]"}) : Expect({"[..]", "a.wav"}));
        QCOMPARE(form->LabelText(), drums);  // Back leaves the label as it was
        QVERIFY(program->recorder.starts.empty());
    }

    void unreadableFolder_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("readable");  // can the folder's entries still be listed
        QTest::newRow("no permissions") << 0000 << false;
        QTest::newRow("search only") << 0111 << false;
        QTest::newRow("read, no search") << 0444 << true;
    }
    void unreadableFolder() {
        QFETCH(int, mode);
        QFETCH(bool, readable);
        QCOMPARE(chmod(drums.c_str(), static_cast<mode_t>(mode)), 0);
        std::string complaint = InChild(
            [&]() -> std::string {
                form->Command2->click();
                CHILD_CHECK(form->dirDirs.Path() == drums);
                auto files =
                    readable ? Expect({"[..]", "[Deep]", "kick.wav"}) : Expect({"[..]", "[Deep]"});
                CHILD_CHECK(gui::Texts(*form) == files);
                form->cmdBack->click();
                CHILD_CHECK(form->dirDirs.Path() == lib);
                CHILD_CHECK(gui::Texts(*form) == Expect({"[..]", "[Drums]", "a.wav"}));
                // Opening it again works only where it can be read; otherwise the window stays.
                DoubleClick("[Drums]");
                CHILD_CHECK(form->dirDirs.Path() == (readable ? drums : lib));
                CHILD_CHECK(form->LabelText() == form->dirDirs.Path());
                CHILD_CHECK(program->recorder.starts.empty());
                return "";
            },
            true);
        chmod(drums.c_str(), 0755);
        QVERIFY2(complaint.empty(), complaint.c_str());
    }

    void settingsCannotBeSaved_data() {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<int>("fileLimit");  // bytes any written file may hold; 0 = no limit
        QTest::newRow("read-only folder") << true << 0;
        QTest::newRow("disk full") << false << 64;
    }
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
        std::string complaint = InChild(
            [&]() -> std::string {
                form->close();  // saves the settings on the way out
                return "";
            },
            readOnlyFolder, fileLimit ? static_cast<rlim_t>(fileLimit) : RLIM_INFINITY);
        chmod(program->appDir.c_str(), 0755);
        QVERIFY2(complaint.empty(), complaint.c_str());
        QCOMPARE(testsupport::ReadAll(IniFile), old);
        QCOMPARE(NamesIn(program->appDir), before);  // no temporary file left behind
    }

    void strangeNames_data() {
        QTest::addColumn<QByteArray>("name");
        std::string longest;
        for (int i = 0; i < 125; ++i) longest += "\xc3\xa9";  // 250 bytes of two-byte letters
        longest += "x.wav";
        QTest::newRow("newline") << QByteArray("two\nlines.wav");
        QTest::newRow("255 bytes") << QByteArray::fromStdString(longest);
        QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe bad \xc3.wav");
        QTest::newRow("URL characters") << QByteArray("100% #1?a=b&c.wav");
        QTest::newRow("backslash and quotes") << QByteArray("a\\b \"c\" 'd'.wav");
    }
    void strangeNames() {
        QFETCH(QByteArray, name);
        const std::string n = name.toStdString();
        QCOMPARE(n.size() <= NAME_MAX, true);
        // Named on the command line: its folder opens.
        program.reset();
        program = std::make_unique<gui::Program>();
        const std::string folder = program->root.mkdir("lib/Odd");
        program->root.write("lib/Odd/" + n, "");
        program->root.write("lib/Odd/b.wav", "");
        form = &program->Start(folder + "/" + n);
        QCOMPARE(form->dirDirs.Path(), folder);

        int row = gui::RowOf(*form, n);
        QVERIFY(row >= 0);
        QVERIFY(!form->lstPathModel->data(form->lstPathModel->index(row), Qt::DisplayRole)
                     .toString()
                     .isEmpty());
        form->SetListIndex(row);
        form->lstPath_MouseDown(1, 0, 0, 0);
        QCOMPARE(program->recorder.starts.back().path, folder + "/" + n);
        int16_t key = 13, shift = 0;
        form->lstPath_KeyUp(key, shift);
        QCOMPARE(program->recorder.starts.size(), size_t(2));
        QCOMPARE(program->recorder.starts.back().path, folder + "/" + n);

        // Dropped from elsewhere: its folder opens, the file is selected and plays.
        form->cmdBack->click();
        program->recorder.starts.clear();
        Drop(folder + "/" + n);
        QCOMPARE(form->dirDirs.Path(), folder);
        QCOMPARE(form->SelectedText(), n);
        QCOMPARE(program->recorder.starts.size(), size_t(1));
        QCOMPARE(program->recorder.starts[0].path, folder + "/" + n);
    }

    void pathsPastTheLimit() {
        // A chain of folders far deeper than PATH_MAX, made one level at a time through handles;
        // each level holds x.wav.
        const std::string comp(200, 'd');
        std::vector<std::string> levels{lib};
        int fd = open(lib.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        while (levels.back().size() < PATH_MAX + 1000) {
            QCOMPARE(mkdirat(fd, comp.c_str(), 0755), 0);
            int sub = openat(fd, comp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(fd);
            fd = sub;
            QVERIFY(fd >= 0);
            int f = openat(fd, "x.wav", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(f >= 0);
            close(f);
            levels.push_back(levels.back() + "/" + comp);
        }
        close(fd);
        struct Cleanup {
            std::string lib, comp;
            ~Cleanup() {
                int d = open(lib.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (d >= 0) {
                    RemoveTreeAt(d, comp.c_str());
                    close(d);
                }
            }
        } cleanupDeep{lib, comp};
        size_t fits = 0;  // the deepest level a path can still name
        while (fits + 1 < levels.size() && levels[fits + 1].size() < PATH_MAX) ++fits;
        QVERIFY(fits + 1 < levels.size());
        program->root.write("lib/x.wav", "");

        // Walking down by double clicks ends at the deepest level that can be opened.
        form->OpenAndRebuild(lib);
        for (size_t i = 0; i < levels.size(); ++i) DoubleClick("[" + comp + "]");
        QCOMPARE(form->dirDirs.Path(), levels[fits]);
        QCOMPARE(form->LabelText(), levels[fits]);
        QCOMPARE(gui::Texts(*form), (std::vector<std::string>{"[..]", "[" + comp + "]", "x.wav"}));
        form->SetListIndex(gui::RowOf(*form, "x.wav"));
        form->lstPath_MouseDown(1, 0, 0, 0);
        QCOMPARE(program->recorder.starts.back().path, levels[fits] + "/x.wav");

        // A file dropped from beyond: its folder cannot be opened, so the window stays and
        // does not play this folder's x.wav in its place.
        program->recorder.starts.clear();
        Drop(levels[fits + 1] + "/x.wav");
        QCOMPARE(form->dirDirs.Path(), levels[fits]);
        QVERIFY(program->recorder.starts.empty());
        form->SetListIndex(-1);
        Drop(levels.back() + "/x.wav");
        QCOMPARE(form->dirDirs.Path(), levels[fits]);
        QVERIFY(program->recorder.starts.empty());

        // Back still climbs out.
        form->cmdBack->click();
        QCOMPARE(form->dirDirs.Path(), levels[fits - 1]);

        // Started on a file beyond the limit: the program's own folder shows instead.
        program->recorder.starts.clear();
        CloseMainForm();
        form = &program->Start(levels.back() + "/x.wav");
        std::string app = program->appDir.substr(0, program->appDir.size() - 1);
        QCOMPARE(form->dirDirs.Path(), app);
        QVERIFY(program->recorder.starts.empty());
    }

    void loopsAndLookalikes() {
        QCOMPARE(symlink("loop.wav", (lib + "/loop.wav").c_str()), 0);  // points at itself
        QCOMPARE(symlink("nowhere", (lib + "/broken.wav").c_str()), 0);
        QCOMPARE(symlink(".", (lib + "/self").c_str()), 0);  // a folder that holds itself
        QCOMPARE(mkfifo((lib + "/pipe.wav").c_str(), 0644), 0);
        program->root.mkdir("lib/dir.wav");
        form->OpenAndRebuild(lib);
        QCOMPARE(gui::Texts(*form), Expect({"[..]", "[dir.wav]", "[Drums]", "[self]", "a.wav"}));
        form->Command2->click();
        QCOMPARE(gui::Texts(*form), Expect({"[..]", "[dir.wav]", "[Drums]", "[self]", "a.wav"}));

        // A folder named like a file is a folder: a click plays nothing, a double click opens it.
        form->SetListIndex(gui::RowOf(*form, "[dir.wav]"));
        form->lstPath_MouseDown(1, 0, 0, 0);
        QVERIFY(program->recorder.starts.empty());
        DoubleClick("[dir.wav]");
        QCOMPARE(form->dirDirs.Path(), lib + "/dir.wav");
        form->cmdBack->click();
        // The self-link opens like any folder, as deep as one likes, and lists the same.
        DoubleClick("[self]");
        DoubleClick("[self]");
        QCOMPARE(form->dirDirs.Path(), lib + "/self/self");
        QCOMPARE(gui::Texts(*form), Expect({"[..]", "[dir.wav]", "[Drums]", "[self]", "a.wav"}));
        // Dropping the looping link opens its folder and plays nothing.
        Drop(lib + "/loop.wav");
        QCOMPARE(form->dirDirs.Path(), lib);
        QVERIFY(program->recorder.starts.empty());
    }
};

QTEST_MAIN(FaultsTest)
#include "test_faults.moc"
