// What the window's handlers decide, on FormLogic without a window: steps on a small library
// of folders, and what they start and where they lead, including when the file system misbehaves.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "TestSupport.h"
#include "mainwindow/FormLogic.h"
#include "startup/Globals.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The seam's hook: a scan of a folder named "quiet", or after the step "hush" of Drums, does not
// answer within the short bound that the rows naming them set.
std::atomic<bool> hushed{false};
void Quiet(const std::string& folder) {
    if (folder.find("quiet") != std::string::npos ||
        (hushed && folder.find("Drums") != std::string::npos))
        std::this_thread::sleep_for(std::chrono::seconds(5));
}
// A busy machine may take seconds to list a folder (a forked copy under a sanitizer, more): the
// rows not about silence wait that long, so a slow answer is not taken for none; those about
// silence wait less than a quiet folder keeps still.
constexpr std::chrono::seconds kBusyBound{30};
constexpr std::chrono::milliseconds kQuietBound{1500};

// Steps (see Run; steps after a "|" run as an unprivileged user), then what was started
// (relative to the temporary folder) and listed, and "in" the folder shown at the end.
using Row = std::pair<const char*, const char*>;

class Logic : public testing::TestWithParam<Row> {
  protected:
    testsupport::TempDir root;
    FormLogic logic;
    int row = -1;

    void SetUp() override {
        for (const char* d : {"app", "lib/Drums/Deep", "lib/quiet", "other", "odd/dir.wav"})
            root.mkdir(d);
        for (const char* f :
             {"lib/a.wav", "lib/b.wav", "lib/[intro].wav", "lib/notes.txt", "lib/fakewav",
              "lib/Drums/kick.wav", "lib/Drums/snare.WAV", "lib/quiet/q.wav", "other/x.wav"})
            root.write(f, "");
        // Links to itself, to nothing, to its own folder, to a folder and to a file; a FIFO.
        // clang-format off
        for (auto [target, name] : {std::pair{"loop.wav", "loop.wav"}, {"nowhere", "broken.wav"}, {".", "self"},
                                    {"../other", "linked"}, {"../lib/a.wav", "linked.WAV"}})
            // clang-format on
            symlink(target, root.file(std::string("odd/") + name).c_str());
        mkfifo(root.file("odd/pipe.wav").c_str(), 0644);
        chmod(root.path().c_str(), 0755);
        AppDir = root.file("app/");
        AppTitle = "App";
        IniFile = root.file("app/w.ini");
        dirlist::SetScanSeam(Quiet, kBusyBound);
        logic.listChanged = [this] { row = -1; };  // a rebuilt list has no selection
        logic.OpenAndRebuild(root.file("lib"));
    }
    void TearDown() override {
        dirlist::SetScanSeam(nullptr);
        hushed = false;
        AppDir = ExeName = CurrentWave = AppTitle = IniFile = StartDir = CmdLinePath = "";
        LoopMode = OnTopMode = 0;
    }
    std::string Rel(const std::string& p) const {
        return p.substr(std::min(p.size(), root.path().size() + 1));
    }

    // Steps: sel:ENTRY, press:BUTTON, dbl, play, stop, loop, back, reload, ls,
    // drop:A,B, rm:PATH, file:PATH, mode:OCTAL:PATH (paths under the root), hush.
    std::string Run(const std::string& steps) {
        if (steps.find("quiet") != std::string::npos || steps.find("hush") != std::string::npos)
            dirlist::SetScanSeam(Quiet, kQuietBound);
        std::ostringstream log;
        auto heard = [&](const SoundCall& c) {
            if (c.kind != SoundCall::None)
                log << (c.kind == SoundCall::Loop ? "loop:" : "")
                    << (c.kind == SoundCall::Stop ? "STOP" : Rel(c.path)) << " ";
        };
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            const std::string op = step.substr(0, step.find(':')),
                              arg = step.substr(std::min(step.size(), op.size() + 1));
            int16_t code = static_cast<int16_t>(std::atoi(arg.c_str()));
            if (op == "sel") row = -1;
            for (size_t i = 0; op == "sel" && i < logic.Entries().size(); ++i)
                if (logic.Entries()[i].text == arg) row = static_cast<int>(i);
            if (op == "press") heard(logic.Press(code, row));
            if (op == "dbl" &&
                logic.DoubleClick(row) == FormLogic::DoubleClickAction::PlaySelection)
                heard(logic.Press(1, row));
            if (op == "play") heard(logic.PlayItem(row));
            if (op == "stop") heard(logic.StopItem());
            if (op == "loop") heard(logic.ToggleLoop(row));
            if (op == "back") logic.Back();
            if (op == "hush") hushed = true;
            if (op == "reload") logic.Rebuild();
            if (op == "rm") fs::remove_all(root.file(arg));
            if (op == "file") root.write(arg, "");
            if (op == "mode") chmod(root.file(arg.substr(5)).c_str(), std::stoi(arg, nullptr, 8));
            for (size_t i = 0; op == "ls" && i <= logic.Entries().size(); ++i)
                log << (i ? logic.Entries()[i - 1].text + "," : "ls=");
            if (op == "ls") log << " ";
            if (op != "drop") continue;
            std::vector<std::string> items;
            std::istringstream list(arg);
            for (std::string item; std::getline(list, item, ',');) items.push_back(root.file(item));
            for (const std::string& item : items) logic.DropItem(item);
            if ((row = logic.DroppedRow(items)) >= 0) heard(logic.Press(0, row));
        }
        return log.str() + "in " + Rel(logic.dirDirs.Path());
    }
};

TEST_P(Logic, Steps) {
    const std::string steps = GetParam().first;
    const size_t bar = steps.find('|');
    if (bar == std::string::npos) {
        EXPECT_EQ(Run(steps), GetParam().second);
        return;
    }
    Run(steps.substr(0, bar));
    EXPECT_TRUE(testsupport::AsUnprivileged(
        [&] {
            const std::string got = Run(steps.substr(bar + 1));
            if (got != GetParam().second) std::fprintf(stderr, "got \"%s\"\n", got.c_str());
            return got == GetParam().second;
        },
        0, false));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(PlayAndNavigate, Logic, testing::Values(
    // Nothing selected, folder entries, button 2: nothing starts.
    Row{"ls press:0 press:1 sel:[Drums] press:1 sel:[..] press:0 sel:b.wav press:2", "ls=[..],[Drums],[quiet],[intro].wav,a.wav,b.wav, in lib"},
    Row{"dbl sel:[intro].wav dbl dbl press:4 sel:[Drums] play play", "lib/[intro].wav lib/[intro].wav lib/[intro].wav lib/[Drums] lib/[Drums] in lib"},
    // No selection: Play plays the bare folder, Loop on starts nothing.
    Row{"play loop loop sel:b.wav loop press:0 stop press:0 loop play", "lib/ STOP loop:lib/b.wav loop:lib/b.wav STOP loop:lib/b.wav STOP lib/b.wav in lib"},
    Row{"sel:[Drums] dbl ls sel:kick.wav dbl sel:[..] dbl back", "ls=[..],[Deep],kick.wav,snare.WAV, lib/Drums/kick.wav in "}));  // the temporary folder itself

// The last item plays when it is a WAV file listed in its own folder: not a folder, a text file,
// a name without ".wav", a self-link, nor lib/a.wav for a gone/a.wav whose folder did not open.
INSTANTIATE_TEST_SUITE_P(Drop, Logic, testing::Values(
    Row{"drop:lib/Drums/kick.wav drop:lib/Drums/kick.wav,lib/Drums/snare.WAV drop:lib/Drums/kick.wav,other/x.wav drop:odd/loop.wav", "lib/Drums/kick.wav lib/Drums/snare.WAV other/x.wav in odd"},
    Row{"drop:gone/a.wav drop:lib/fakewav drop:other/x.wav,lib/notes.txt drop:lib/Drums", "in lib"}));

INSTANTIATE_TEST_SUITE_P(Faults, Logic, testing::Values(
    // Reload keeps the folder and the sub-folders read when it was opened; a stale one does
    // not open; Back climbs to the nearest folder that still exists.
    Row{"sel:[Drums] dbl rm:lib/Drums reload ls sel:[Deep] dbl back ls", "ls=[..],[Deep], ls=[..],[quiet],[intro].wav,a.wav,b.wav, in lib"},
    Row{"sel:[Drums] dbl rm:lib/Drums file:lib/Drums reload sel:[Deep] dbl ls rm:lib back", "ls=[..],[Deep], in "},
    Row{"mode:0000:lib/Drums | sel:[Drums] dbl", "in lib"},
    Row{"mode:0111:lib/Drums | sel:[Drums] dbl", "in lib"},
    Row{"sel:[Drums] dbl mode:0000:lib/Drums | reload ls back", "ls=[..],[Deep], in lib"},
    Row{"mode:0444:lib/Drums | sel:[Drums] dbl ls", "ls=[..],[Deep],kick.wav,snare.WAV, in lib/Drums"},
    // Self-links open as deep as one likes; a FIFO never blocks a listing; dir.wav is a folder.
    Row{"drop:odd/x.wav reload ls sel:[self] dbl sel:[self] dbl sel:[dir.wav] press:1 dbl", "ls=[..],[dir.wav],[linked],[self],linked.WAV, in odd/self/self/dir.wav"},
    // A folder that does not answer is one that cannot be opened; so is a drop into it. Back
    // gives up after one bound: a share gone quiet answers no better a level up.
    Row{"sel:[quiet] dbl drop:lib/quiet/q.wav", "in lib"},
    Row{"sel:[Drums] dbl sel:[Deep] dbl hush back", "in lib/Drums/Deep"}));
// clang-format on

TEST_F(Logic, RootAndTheTopFolder) {
    logic.OpenAndRebuild("/proc/self/fdinfo");
    logic.Root();
    EXPECT_EQ(logic.dirDirs.Path(), "/proc");
    logic.OpenAndRebuild("/");
    logic.Back();
    EXPECT_EQ(logic.dirDirs.Path() + (logic.Entries().front().text == "[..]" ? " [..]" : ""), "/");
}

TEST_F(Logic, CloseWritesTheKeysInOrder) {
    LoopMode = 2;  // as read at start, written back unchanged
    logic.Unload(1500, -30, 6000, 4995.5f);
    EXPECT_EQ(testsupport::ReadAll(IniFile),
              root.fill("[App]\nLastDir=@/lib/\nTop=1500\nLeft=-30\nHeight=6000\nWidth=4995.5\n"
                        "Loop=2\nOnTop=0\nVolume=0\n"));
}

TEST_F(Logic, StartFolderAndSavedState) {
    ExeName = "w";
    // Command line, settings; then the folder shown first and what is read for a window 4000
    // high and 3000 wide: height, width, top, left ("-": none; a size equal to the window's is
    // none), loop, on top, LoopMode, OnTopMode. Blanks and quotes are part of the one path;
    // such a path cannot be resolved and is recased ("~": compare without case).
    // clang-format off
    const std::array<const char*, 3> rows[] = {
        {"", "", "@/app/ - - - - 0 0 0 0"},
        {"", "lastdir=@/lib/Drums/\nTop=1500\nLeft=3000\nHeight=6000\nWidth=5000", "@/lib/Drums/ 6000 5000 1500 3000 0 0 0 0"},
        {"", "LastDir=@/gone/\nheight=5000xyz\nwidth=3000\nloop=1\nontop=1", "@/app/ 5000 - - - 1 1 1 1"},
        {"", "LastDir=@/lib/quiet/\nTop=0", "@/app/ - - 0 0 0 0 0 0"},  // a share that does not answer
        {"@/lib/Drums/kick.wav", "LastDir=@/app/\nTop=\nLeft=900", "@/lib/Drums/ - - - - 0 0 0 0"},
        {"@/lib/Drums", "Top=-1\nLeft=900", "@/lib/ - - - - 0 0 0 0"},
        {"@/lib/a.wav @/lib/Drums/kick.wav", "Loop=2\nOnTop=70000", "~@/lib/a.wav @/lib/Drums/ - - - - 0 0 2 0"},
        {"\"@/lib/a.wav\"", "", "~\"@/lib/ - - - - 0 0 0 0"}};
    // clang-format on
    for (const auto& [argument, settings, expected] : rows) {
        root.write("app/w.ini", root.fill(std::string("[App]\n") + settings + "\n"));
        LoopMode = OnTopMode = 0;
        dirlist::SetScanSeam(Quiet, std::strstr(settings, "quiet") ? kQuietBound : kBusyBound);
        std::string got = FormLogic::StartFolder(root.fill(argument));
        const SavedState s = FormLogic::ReadSavedState(4000, 3000);
        for (auto v : {s.height, s.width, s.top, s.left}) got += " " + (v ? SingleText(*v) : "-");
        for (int n : {s.loop, s.onTop}) got += " " + std::to_string(n);
        got += " " + std::to_string(LoopMode) + " " + std::to_string(OnTopMode);
        if (expected[0] == '~')
            EXPECT_STRCASEEQ(got.c_str(), root.fill(expected + 1).c_str());
        else
            EXPECT_EQ(got, root.fill(expected)) << settings;
    }
}

TEST_F(Logic, PathsPastTheLimit) {
    // A chain of folders deeper than PATH_MAX, each holding x.wav: double clicks end at the
    // deepest level a path can name, and a file dropped from beyond plays nothing.
    const std::string comp(200, 'd');
    ASSERT_NE(testsupport::Chain(root.file("lib"), std::vector(23, comp), "x.wav", "", true), "");
    std::string steps;
    for (int i = 0; i < 30; ++i) steps += " sel:[" + comp + "] dbl";
    logic.OpenAndRebuild(root.file("lib"));
    Run(steps);
    const std::string at = Rel(logic.dirDirs.Path()), full = logic.dirDirs.Path();
    EXPECT_TRUE(full.size() < PATH_MAX && full.size() + comp.size() + 1 >= PATH_MAX) << at;
    EXPECT_EQ(Run("sel:x.wav press:1 drop:" + at + "/" + comp + "/x.wav"), at + "/x.wav in " + at);
}
