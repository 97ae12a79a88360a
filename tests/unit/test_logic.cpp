// What the window's handlers decide, on FormLogic without a window: steps on a small library
// of folders, and what they start and where they lead, including when the file system misbehaves.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <sstream>

#include "TestSupport.h"
#include "mainwindow/FormLogic.h"
#include "startup/Globals.h"

namespace {

namespace fs = std::filesystem;

// The seam's hook: holds scans of the folder named in g_quiet until the test ends.
std::mutex g_m;
std::condition_variable g_cv;
std::string g_quiet;
void HoldQuiet(const std::string& folder) {
    std::unique_lock lock(g_m);
    g_cv.wait(lock, [&] { return g_quiet.empty() || folder.find(g_quiet) == std::string::npos; });
}

struct Row {
    const char* steps;  // see Run
    const char* log;    // what was started (relative to the library's root) and listed
    const char* folder;
    bool nobody = false;  // run as an unprivileged user, so permissions bind
};

class Logic : public testing::TestWithParam<Row> {
  protected:
    testsupport::TempDir root;
    FormLogic logic;
    int row = -1;

    void SetUp() override {
        for (const char* d : {"app", "lib/Drums/Deep", "other", "odd/dir.wav"}) root.mkdir(d);
        for (const char* f : {"lib/a.wav", "lib/b.wav", "lib/[intro].wav", "lib/notes.txt",
                              "lib/fakewav", "lib/Drums/kick.wav", "lib/Drums/snare.WAV",
                              "other/x.wav"})
            root.write(f, "");
        symlink("loop.wav", root.file("odd/loop.wav").c_str());  // points at itself
        symlink("nowhere", root.file("odd/broken.wav").c_str());
        symlink(".", root.file("odd/self").c_str());  // a folder that holds itself
        symlink("../other", root.file("odd/linked").c_str());
        symlink("../lib/a.wav", root.file("odd/linked.WAV").c_str());
        mkfifo(root.file("odd/pipe.wav").c_str(), 0644);
        chmod(root.path().c_str(), 0755);
        AppDir = root.file("app/");
        logic.listChanged = [this] { row = -1; };  // a rebuilt list has no selection
        logic.OpenAndRebuild(root.file("lib"));
    }
    void TearDown() override {
        {
            std::lock_guard lock(g_m);
            g_quiet.clear();
        }
        g_cv.notify_all();
        dirlist::SetScanSeam(nullptr);
        AppDir = CurrentWave = "";
        LoopMode = 0;
    }
    std::string Rel(const std::string& p) const { return p.substr(root.path().size() + 1); }
    void Log(std::ostringstream& log, const SoundCall& c) const {
        if (c.kind == SoundCall::Stop) log << "STOP ";
        if (c.kind == SoundCall::Play) log << Rel(c.path) << " ";
        if (c.kind == SoundCall::Loop) log << "loop:" << Rel(c.path) << " ";
    }
    int RowOf(const std::string& text) const {
        for (size_t i = 0; i < logic.Entries().size(); ++i)
            if (logic.Entries()[i].text == text) return static_cast<int>(i);
        return -1;
    }

    // Steps: sel:ENTRY, press:BUTTON, key:CODE, dbl, play, stop, loop, back, reload, ls,
    // drop:A,B (paths under the root), rm:PATH, file:PATH, mode:OCTAL:PATH, quiet:PATH.
    std::pair<std::string, std::string> Run(const std::string& steps) {
        std::ostringstream log;
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            const std::string op = step.substr(0, step.find(':'));
            const std::string arg = step.find(':') == std::string::npos ? "" : step.substr(op.size() + 1);
            int16_t code = static_cast<int16_t>(std::atoi(arg.c_str()));
            if (op == "sel") row = RowOf(arg);
            if (op == "press") Log(log, logic.Press(code, row));
            if (op == "key") Log(log, logic.KeyUp(code, row));
            if (op == "dbl" && logic.DoubleClick(row) == FormLogic::DoubleClickAction::PlaySelection)
                Log(log, logic.Press(1, row));
            if (op == "play") Log(log, logic.PlayItem(row));
            if (op == "stop") Log(log, logic.StopItem());
            if (op == "loop") Log(log, logic.ToggleLoop(row));
            if (op == "back") logic.Back();
            if (op == "reload") logic.Rebuild();
            if (op == "rm") fs::remove_all(root.file(arg));
            if (op == "file") root.write(arg, "");
            if (op == "mode") chmod(root.file(arg.substr(5)).c_str(), std::stoi(arg, nullptr, 8));
            if (op == "ls") {
                log << "ls=";
                for (const PathEntry& e : logic.Entries()) log << e.text << ",";
                log << " ";
            }
            if (op == "quiet") {
                std::lock_guard lock(g_m);
                g_quiet = root.file(arg);
                dirlist::SetScanSeam(HoldQuiet, std::chrono::milliseconds(100));
            }
            if (op == "drop") {
                std::vector<std::string> items;
                std::istringstream list(arg);
                for (std::string item; std::getline(list, item, ',');) items.push_back(root.file(item));
                for (const std::string& item : items) logic.DropItem(item);
                if ((row = logic.DroppedRow(items)) >= 0) Log(log, logic.Press(0, row));
            }
        }
        std::string s = log.str();
        if (!s.empty()) s.pop_back();
        return {s, logic.dirDirs.Path() == root.path() ? "" : Rel(logic.dirDirs.Path())};
    }
};

TEST_P(Logic, Steps) {
    const Row& r = GetParam();
    const std::string steps = r.steps, asRoot = steps.substr(0, steps.find('|') + 1);
    if (!r.nobody) {
        EXPECT_EQ(Run(steps), std::make_pair(std::string(r.log), std::string(r.folder)));
        return;
    }
    Run(asRoot.substr(0, asRoot.size() - 1));  // up to "|": as root, the rest as nobody
    EXPECT_TRUE(testsupport::AsUnprivileged([&] {
        auto got = Run(steps.substr(asRoot.size()));
        std::fprintf(stderr, "got \"%s\" in \"%s\"\n", got.first.c_str(), got.second.c_str());
        return got == std::make_pair(std::string(r.log), std::string(r.folder));
    }));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Play, Logic, testing::Values(
    Row{"ls", "ls=[..],[Drums],[intro].wav,a.wav,b.wav,", "lib"},
    Row{"key:13 press:1", "", "lib"},  // nothing selected
    Row{"sel:b.wav key:13 key:16 key:32 key:27", "lib/b.wav lib/b.wav STOP STOP", "lib"},
    Row{"sel:[Drums] press:1 sel:[..] key:13 sel:b.wav press:2", "", "lib"},
    Row{"sel:[intro].wav press:4", "lib/[intro].wav", "lib"},
    Row{"sel:[Drums] play play", "lib/[Drums] lib/[Drums]", "lib"},
    Row{"play loop", "lib/", "lib"},  // no selection: the bare folder; Loop on starts nothing
    Row{"sel:b.wav loop key:13 stop key:13 loop play", "loop:lib/b.wav loop:lib/b.wav STOP loop:lib/b.wav STOP lib/b.wav", "lib"}));

INSTANTIATE_TEST_SUITE_P(Navigate, Logic, testing::Values(
    Row{"sel:[Drums] dbl ls", "ls=[..],[Deep],kick.wav,snare.WAV,", "lib/Drums"},
    Row{"sel:[Drums] dbl sel:[..] dbl", "", "lib"},
    Row{"sel:[Drums] dbl back back", "", ""},
    Row{"sel:[intro].wav dbl dbl", "lib/[intro].wav lib/[intro].wav", "lib"},
    Row{"dbl", "", "lib"},
    Row{"sel:[Drums] dbl sel:kick.wav dbl", "lib/Drums/kick.wav", "lib/Drums"}));

INSTANTIATE_TEST_SUITE_P(Drop, Logic, testing::Values(
    Row{"drop:lib/Drums/kick.wav", "lib/Drums/kick.wav", "lib/Drums"},
    Row{"drop:lib/Drums/kick.wav,lib/Drums/snare.WAV", "lib/Drums/snare.WAV", "lib/Drums"},
    Row{"drop:lib/Drums/kick.wav,other/x.wav", "other/x.wav", "other"},
    Row{"drop:other/x.wav,lib/notes.txt", "", "lib"},
    Row{"drop:lib/Drums", "", "lib"},
    Row{"drop:lib/fakewav", "", "lib"},
    Row{"drop:odd/loop.wav", "", "odd"},
    Row{"sel:[Drums] dbl drop:gone/a.wav", "", "lib/Drums"}));  // no a.wav of another folder

INSTANTIATE_TEST_SUITE_P(Faults, Logic, testing::Values(
    // Reload keeps the folder and the sub-folders read when it was opened; a stale one does
    // not open; Back climbs to the nearest folder that still exists.
    Row{"sel:[Drums] dbl rm:lib/Drums reload ls sel:[Deep] dbl back ls", "ls=[..],[Deep], ls=[..],[intro].wav,a.wav,b.wav,", "lib"},
    Row{"sel:[Drums] dbl rm:lib/Drums file:lib/Drums reload sel:[Deep] dbl back", "", "lib"},
    Row{"sel:[Drums] dbl rm:lib reload back", "", ""},
    Row{"mode:0000:lib/Drums | sel:[Drums] dbl", "", "lib", true},
    Row{"mode:0111:lib/Drums | sel:[Drums] dbl", "", "lib", true},
    Row{"sel:[Drums] dbl mode:0000:lib/Drums | reload ls back", "ls=[..],[Deep],", "lib", true},
    Row{"mode:0444:lib/Drums | sel:[Drums] dbl ls", "ls=[..],[Deep],kick.wav,snare.WAV,", "lib/Drums", true},
    // Self-links open as deep as one likes; a FIFO never blocks a listing; dir.wav is a folder.
    Row{"drop:odd/x.wav reload ls sel:[self] dbl sel:[self] dbl sel:[dir.wav] press:1 dbl", "ls=[..],[dir.wav],[linked],[self],linked.WAV,", "odd/self/self/dir.wav"},
    // A folder that does not answer is one that cannot be opened; so is a drop into it.
    Row{"quiet:lib/Drums sel:[Drums] dbl drop:lib/Drums/kick.wav ls", "ls=[..],[Drums],[intro].wav,a.wav,b.wav,", "lib"}));
// clang-format on

TEST_F(Logic, RootAndTheTopFolder) {
    logic.Root();
    EXPECT_EQ(logic.dirDirs.Path(), dirlist::MountPointOf(root.path()));
    logic.OpenAndRebuild("/");
    logic.Back();
    EXPECT_EQ(logic.dirDirs.Path(), "/");
    EXPECT_NE(logic.Entries().front().text, "[..]");
}

TEST_F(Logic, QuietFolderDoesNotHoldStartUp) {
    Run("quiet:lib");
    EXPECT_EQ(DirExists(root.file("lib")), 0);
    EXPECT_EQ(DirExists(root.file("other")), -1);
}

TEST_F(Logic, PathsPastTheLimit) {
    // A chain of folders deeper than PATH_MAX, each holding x.wav: double clicks end at the
    // deepest level a path can name, and a file dropped from beyond plays nothing.
    const std::string comp(200, 'd');
    std::string deep = root.file("lib");
    int fd = open(deep.c_str(), O_RDONLY | O_DIRECTORY);
    for (; deep.size() < PATH_MAX + 400; deep += "/" + comp) {
        ASSERT_EQ(mkdirat(fd, comp.c_str(), 0755), 0);
        int sub = openat(fd, comp.c_str(), O_RDONLY | O_DIRECTORY);
        close(fd);
        close(openat(fd = sub, "x.wav", O_WRONLY | O_CREAT, 0644));
    }
    close(fd);
    logic.OpenAndRebuild(root.file("lib"));
    for (int i = 0; i < 30; ++i) Run("sel:[" + comp + "] dbl");
    const std::string at = logic.dirDirs.Path();
    EXPECT_LT(at.size(), PATH_MAX);
    EXPECT_GT(at.size() + comp.size() + 1, PATH_MAX - 1);
    EXPECT_EQ(Run("sel:x.wav press:1").first, Rel(at) + "/x.wav");
    EXPECT_EQ(Run("drop:" + Rel(at) + "/" + comp + "/x.wav").first, "");
    EXPECT_EQ(logic.dirDirs.Path(), at);
    // rm walks a tree deeper than any path by handles, which TempDir's cleanup cannot.
    EXPECT_EQ(std::system(("rm -rf " + root.file("lib/" + comp)).c_str()), 0);
}

}  // namespace
