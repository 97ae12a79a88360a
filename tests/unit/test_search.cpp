// Finding a sound by name: the match rule, the keys of the search line, and searches on a small
// library, including a folder that does not answer and a link that leads back up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "TestSupport.h"
#include "mainwindow/FormLogic.h"
#include "platform/libindex.h"
#include "startup/Globals.h"

namespace {

std::atomic<int> g_entered{0};
std::atomic<bool> g_deadHold{true};

// Every folder takes a while to answer, the first one least, so that a walk is surely under way
// when the next character comes and the finds arrive folder by folder; "quiet" answers long
// after the bound.
void Slow(const std::string& folder) {
    ++g_entered;
    const bool top = folder.size() >= 5 && folder.compare(folder.size() - 5, 5, "/lib/") == 0;
    while (folder.find("dead") != std::string::npos && g_deadHold)  // a mount that never answers
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int ms = folder.find("quiet") != std::string::npos ? 1500 : top ? 100 : 200;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

TEST(Find, MatchRule) {
    // Typed, name (bytes), whether it matches.
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"snare", "Snare 01.wav", true},
        {"kick 808", "808 KICK.wav", true},
        {"kick  808 ", "Kick 909.wav", false},
        {"kick -soft", "kick SOFT.wav", false},
        {"kick -soft", "kick hard.wav", true},
        {"-soft -", "loud.wav", true},
        {"\xc3\x84RGER", "\xc3\xa4rger.wav", true},    // Ä typed, ä in the name
        {"\xc3\xa9t\xc3\xa9", "\xc9T\xc9.wav", true},  // Latin-1 bytes shown as ÉTÉ
        {"\xc3\xa9", "Cafe\xcc\x81.wav", true},        // é typed, e + combining accent stored
        {"E\xcc\x81", "\xc3\xa9t\xc3\xa9.wav", true},  // and the other way round
        {"\xce\xae\xcf\x87\xce\xbf\xcf\x82", "\xce\x89\xcf\x87\xce\xbf\xcf\x82 01.wav",
         true},                               // ήχος, Ήχος
        {"\xc3\xbf", "\xc5\xb8.wav", true},   // ÿ typed, Ÿ in the name
        {"\xc5\xba", "\xc5\xb8.wav", false},  // ź is no Ÿ
        {"\xd0\xb1\xd0\xb0\xd1\x81", "\xd0\x91\xd0\x90\xd0\xa1.wav", true},  // Cyrillic
        {"\xc5\x82",
         "\xc5\x81\xc3\xb3"
         "d\xc5\xba.wav",
         true},                                       // Ł of Latin Extended-A
        {"\xef\xbf\xbd", "\xe0\x80\x80.wav", false},  // overlong: each byte shown, no U+FFFD
        {"\xc3\xa0\xc2\x80", "\xe0\x80\x80.wav", true},
        // The letters' neighbours are no letters, at every place in a block's words.
        {"az[@`az[@`az[@`az[@`az[@`az[@`az[@`az[@`", "AZ[@`AZ[@`AZ[@`AZ[@`AZ[@`AZ[@`AZ[@`AZ[@`.wav",
         true}};
    for (const auto& [typed, name, expected] : rows) {
        const find::NameMatch match(typed);
        EXPECT_EQ(match.Matches(name), expected) << typed << " / " << name;
        // The same through the index's blocks, the name first among others.
        const std::string block = libindex::Join({name, "Other take 2.wav"});
        bool taken = false;
        search::MatchNames(
            block, search::Lowered(block), match.Lead(),
            [&match](std::string_view n) { return match.Matches(n); },
            [&](std::string_view n) { taken = taken || n == name; });
        EXPECT_EQ(taken, expected) << "block: " << typed << " / " << name;
    }
    EXPECT_TRUE(find::NameMatch(" - ").Empty());
    EXPECT_FALSE(find::NameMatch("-x").Empty());
}

TEST(Find, KeysInTheLine) {
    using find::LineKey;
    const std::tuple<int, int, LineKey> rows[] = {
        {40, 0, LineKey::Move},  {38, 1, LineKey::Move},  {34, 0, LineKey::Move},
        {33, 0, LineKey::Move},  {13, 0, LineKey::Play},  {13, 2, LineKey::Open},
        {27, 0, LineKey::Close}, {9, 0, LineKey::ToList}, {32, 0, LineKey::Edit},
        {70, 2, LineKey::Edit},  {8, 0, LineKey::Edit},   {36, 0, LineKey::Edit}};
    for (const auto& [code, shift, expected] : rows)
        EXPECT_EQ(find::KeyInLine(code, shift), expected) << code << " " << shift;
}

using Row = std::pair<const char*, const char*>;

class FindSteps : public testing::TestWithParam<Row> {
  protected:
    testsupport::TempDir root;
    FormLogic logic;
    int row = -1;

    void SetUp() override {
        for (const char* d : {"lib/Drums/Deep", "lib/Kicks", "lib/quiet", "lib/.hid", "app"})
            root.mkdir(d);
        for (const char* f :
             {"lib/a.wav", "lib/Kick 01.wav", "lib/notes.txt", "lib/\xc9T\xc9.wav",
              "lib/Drums/kick 02.WAV", "lib/Drums/snare.wav", "lib/quiet/kick q.wav",
              "lib/Drums/Deep/Kick 10.wav", "lib/Drums/Deep/kick 9.wav", "lib/Drums/Deep/kick.txt",
              "lib/Drums/Deep/a.wav", "lib/.hid/kick h.wav"})
            root.write(f, "");
        symlink("..", root.file("lib/Drums/up").c_str());
        AppDir = root.file("app/");
        search::SetWalkSeam(Slow, std::chrono::milliseconds(400));
        logic.OpenAndRebuild(root.file("lib"));
        g_entered = 0;
        g_deadHold = true;
    }
    void TearDown() override {
        g_deadHold = false;
        libindex::Use(nullptr);
        search::SetWalkSeam(nullptr, dirlist::kScanBound);
        AppDir = CurrentWave = "";
    }

    // Steps: here, below, type:TEXT ("_" for a blank), take (until the walk ends), take1 (until
    // something was found), cur (the selected entry), sel:ENTRY,
    // press, close, open, reload, ls, status, entered (folders the walks went into);
    // storm:N (N keystrokes), wait (50 ms), cd:FOLDER, mk:FILE or mk:FOLDER/, rm:PATH,
    // stamp:FOLDER (an old modification time), index (a fresh library index), flush.
    std::string Run(const std::string& steps) {
        std::ostringstream log;
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            const std::string op = step.substr(0, step.find(':'));
            std::string arg = step.substr(std::min(step.size(), op.size() + 1));
            std::replace(arg.begin(), arg.end(), '_', ' ');
            if (op == "here" || op == "below")
                logic.OpenFind(op == "here" ? find::Mode::Here : find::Mode::Below);
            if (op == "type") logic.TypeFind(arg);
            for (int i = 0; op == "storm" && i < std::stoi(arg); ++i)
                logic.TypeFind(i % 2 ? "ki" : "k");
            if (op == "wait") std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (op == "cd") logic.OpenAndRebuild(root.file(arg));
            if (op == "mk") arg.back() == '/' ? (void)root.mkdir(arg) : (void)root.write(arg, "");
            if (op == "rm") std::filesystem::remove_all(root.file(arg));
            const timespec old[2] = {{1577836800, 0}, {1577836800, 0}};
            if (op == "stamp") utimensat(AT_FDCWD, root.file(arg).c_str(), old, 0);
            if (op == "index") libindex::Use(libindex::Index::Open(root.file("cache")));
            if (op == "flush") libindex::Shared()->Flush();
            while (op == "take1" && logic.Entries().empty() && logic.Searching()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                row = logic.TakeFound(row);
            }
            while (op == "take" && logic.Searching()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                row = logic.TakeFound(row);
            }
            if (op == "sel") row = -1;
            for (size_t i = 0; op == "sel" && i < logic.Entries().size(); ++i)
                if (logic.Entries()[i].text == arg) row = static_cast<int>(i);
            if (op == "press") logic.Press(1, row);
            if (op == "close" || op == "open") {
                row = op == "close" ? logic.CloseFind() : logic.OpenFound(row);
                log << "sel=" << (row < 0 ? "" : logic.Entries()[static_cast<size_t>(row)].text)
                    << " ";
            }
            if (op == "reload") logic.Rebuild();
            for (size_t i = 0; op == "ls" && i <= logic.Entries().size(); ++i)
                log << (i ? logic.Entries()[i - 1].text + "," : "ls=");
            if (op == "ls") log << " ";
            if (op == "status") log << "(" << logic.FindStatus() << ") ";
            if (op == "cur") log << "cur=" << logic.Entries()[static_cast<size_t>(row)].text << " ";
            if (op == "entered") log << "entered=" << g_entered << " ";
        }
        return log.str() + "in " + logic.dirDirs.Path().substr(root.path().size() + 1);
    }
};

TEST_P(FindSteps, Run) { EXPECT_EQ(Run(GetParam().first), GetParam().second); }

// clang-format off
INSTANTIATE_TEST_SUITE_P(Find, FindSteps, testing::Values(
    // This folder: folders match too, "[..]" never; an empty line is the whole folder.
    Row{"here type:kick ls type:KICK_-01 ls type:\xc3\xa9t ls type:-k ls type:_ ls", "ls=[Kicks],Kick 01.wav, ls=[Kicks], ls=\xc9T\xc9.wav, ls=[Drums],[quiet],a.wav,\xc9T\xc9.wav, ls=[..],[Drums],[Kicks],[quiet],a.wav,Kick 01.wav,\xc9T\xc9.wav, in lib"},
    // Below: WAV files only, in natural order, each folder once, hidden ones left out, the
    // silent one skipped and counted. Opening the search again keeps what is typed.
    Row{"below ls type:kick take ls status here ls below take status", "ls= ls=Drums/Deep/kick 9.wav,Drums/Deep/Kick 10.wav,Drums/kick 02.WAV,Kick 01.wav, (4 gefunden, 1 Ordner fehlt) ls=[Kicks],Kick 01.wav, (4 gefunden, 1 Ordner fehlt) in lib"},
    // A new character cancels the walk under way: it went into its first folder only.
    Row{"below type:k wait type:sn take ls entered", "ls=Drums/snare.wav, entered=7 in lib"},
    // A mount that never answers, 200 keystrokes: it holds one worker, is counted once, and
    // every search after it finds everything, in this folder and in a healthy one.
    Row{"mk:lib/dead/ mk:lib/dead/kick_d.wav below storm:200 type:kick take ls status cd:lib/Drums/Deep below type:kick take ls status", "ls=Drums/Deep/kick 9.wav,Drums/Deep/Kick 10.wav,Drums/kick 02.WAV,Kick 01.wav, (4 gefunden, 2 Ordner fehlen) ls=kick 9.wav,Kick 10.wav, (2 gefunden) in lib/Drums/Deep"},
    // With the index: the next search answers from it at once, then the walk takes out what is
    // gone and adds what is new. A folder whose stamp is the recorded one is not read again.
    Row{"index below type:kick take flush rm:lib/Drums/kick_02.WAV rm:lib/Drums/Deep mk:lib/Kicks/kick_new.wav type:kic take1 ls take ls status", "ls=Drums/Deep/kick 9.wav,Drums/Deep/Kick 10.wav,Drums/kick 02.WAV,Kick 01.wav, ls=Kick 01.wav,Kicks/kick new.wav, (2 gefunden, 1 Ordner fehlt) in lib"},
    Row{"stamp:lib/Kicks index below type:kick take flush mk:lib/Kicks/kick_new.wav stamp:lib/Kicks type:kic take ls", "ls=Drums/Deep/kick 9.wav,Drums/Deep/Kick 10.wav,Drums/kick 02.WAV,Kick 01.wav, in lib"},
    // A listing records its folder too: the walk then takes that folder from the index.
    Row{"mk:lib/x_kick.wav stamp:lib wait wait wait index cd:lib wait flush mk:lib/y_kick.wav stamp:lib below type:kick take ls", "ls=Drums/Deep/kick 9.wav,Drums/Deep/Kick 10.wav,Drums/kick 02.WAV,Kick 01.wav,x kick.wav, in lib"},
    // Escape: the whole folder, the file played last selected when it lies in it.
    Row{"sel:a.wav press below type:kick take sel:Drums/kick_02.WAV close ls", "sel=a.wav ls=[..],[Drums],[Kicks],[quiet],a.wav,Kick 01.wav,\xc9T\xc9.wav, in lib"},
    Row{"sel:a.wav press below type:a.wav take sel:Drums/Deep/a.wav press close", "sel= in lib"},
    // Finds arriving later go in between; the selection stays on its file.
    Row{"below type:kick take1 ls sel:Kick_01.wav take cur", "ls=Kick 01.wav, cur=Kick 01.wav in lib"},
    // A match opens its folder, the file selected there; a folder match opens the folder.
    Row{"below type:10 take sel:Drums/Deep/Kick_10.wav open status", "sel=Kick 10.wav () in lib/Drums/Deep"},
    Row{"here type:x open ls type:kicks sel:[Kicks] open ls", "sel= ls= sel= ls=[..], in lib/Kicks"},
    Row{"below type:kick reload status ls", "() ls=[..],[Drums],[Kicks],[quiet],a.wav,Kick 01.wav,\xc9T\xc9.wav, in lib"}));
// clang-format on

// Kernel views are not walked: a search below /proc goes into no folder and ends at once.
TEST(Find, PseudoFileSystemsNotWalked) {
    search::SetWalkSeam([](const std::string&) { ++g_entered; }, dirlist::kScanBound);
    g_entered = 0;
    auto walk = search::Walk::Start("/proc", [](std::string_view) { return true; });
    for (int i = 0; i < 100 && !walk->Take().done; ++i) walk->WaitFor(std::chrono::seconds(1));
    search::SetWalkSeam(nullptr, dirlist::kScanBound);
    EXPECT_TRUE(walk->Take().done);
    EXPECT_EQ(g_entered, 0);
}

// A search typed while the index is still being read follows that read (the one before it was
// overtaken): each name the index holds comes out once, none twice.
TEST(Find, ASearchTypedWhileTheIndexIsReadHasItWhole) {
    testsupport::TempDir root;
    root.mkdir("lib");
    auto index = libindex::Index::Open(root.file("cache"));
    for (int f = 0; f < 20000; ++f)
        index->Record(
            {root.file("lib/") + std::to_string(f) + "/", 1, "", std::string("kick.wav") + '\0'});
    index->Flush();
    libindex::Use(libindex::Index::Open(root.file("cache")));  // nothing of it in memory
    // The folders are not on the disk: the walks are held before they would find them gone.
    search::SetWalkSeam(
        [](const std::string&) { std::this_thread::sleep_for(std::chrono::milliseconds(300)); },
        dirlist::kScanBound);
    auto all = [](std::string_view) { return true; };
    auto first = search::Walk::Start(root.file("lib"), all);
    while (first->Take().found.empty()) first->WaitFor(std::chrono::milliseconds(100));
    auto second = search::Walk::Start(root.file("lib"), all);
    first.reset();
    std::map<std::string, int> seen;
    // The index's answer, handed out while the walk that would find it gone is held.
    for (int i = 0; i < 100 && seen.size() < 20000; ++i) {
        second->WaitFor(std::chrono::milliseconds(100));
        for (const std::string& f : second->Take().found) ++seen[f];
    }
    search::SetWalkSeam(nullptr, dirlist::kScanBound);
    libindex::Use(nullptr);
    int twice = 0;
    for (const auto& [name, n] : seen) twice += n > 1;
    EXPECT_EQ(seen.size(), 20000u);
    EXPECT_EQ(twice, 0);
}
