#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/dirlist.h"

using dirlist::NaturalLess;
using dirlist::NormalPath;
using dirlist::ReadFolder;
using testsupport::TempDir;
using Names = std::vector<std::string>;

TEST(NaturalLess, OrdersLikeAFileManager) {
    // Same value: fewer leading zeros first; numbers beyond 64 bits; bytes above 0x7f after
    // letters.
    // clang-format off
    const std::pair<const char*, const char*> lessMore[] = {
        {"Kick 2", "Kick 10"}, {"a", "B"},        {"B", "c"},     {"abc", "ABCD"}, {"a1b2", "a1b10"},
        {"x1", "x01"},         {"x01", "x2"},     {"x0", "x00"},  {"track01a", "track1b"},
        {"A", "a"},            {"1", "a"},        {"", "a"},      {"Z", "\xc3\xa4"},
        {"99999999999999999999", "100000000000000000000"}};
    // clang-format on
    for (const auto& [less, more] : lessMore)
        EXPECT_TRUE(NaturalLess(less, more) && !NaturalLess(more, less)) << less << " < " << more;
    EXPECT_FALSE(NaturalLess("x01", "x01"));
}

TEST(ReadFolder, ListsVisibleFoldersAndWavFilesApart) {
    TempDir t;
    // clang-format off
    for (const char* d : {"[x]", "Sounds.wav", "drums 10", "Drums 9", ".hidden", "Ordner \xe9"}) t.mkdir(d);
    for (const char* f : {"DING.WAV", "a.Wav", "Kick 10.wav", "kick 2.wav", "Gr\xfc\xdf" "e.wav", "notes.txt", "wav",
                          ".wav", ".secret.wav", "x.wave", "[intro].wav"})
        t.write(f, "");
    Names dirs, files;
    ASSERT_TRUE(ReadFolder(t.path(), &dirs, &files));
    EXPECT_EQ(dirs, (Names{"[x]", "Drums 9", "drums 10", "Ordner \xe9", "Sounds.wav"}));
    EXPECT_EQ(files, (Names{"[intro].wav", "a.Wav", "DING.WAV", "Gr\xfc\xdf" "e.wav", "kick 2.wav", "Kick 10.wav"}));
    // clang-format on
    // The listing sorts by keys of its own: where names collide in case, leading zeros and digit
    // runs around the length where a key needs a longer count.
    TempDir keys;
    // clang-format off
    const Names sorted{"0" + std::string(254, '8'), std::string(254, '9'), std::string(255, '1'), std::string(255, '7'),
                       "A-1", "a_1", "X1", "x1", "x01", "x1A", "x001a", "\xc3\xa4"};
    // clang-format on
    for (const auto& n : sorted) keys.mkdir(n);
    ASSERT_TRUE(ReadFolder(keys.path(), &dirs, nullptr));
    EXPECT_EQ(dirs, sorted);
    // The root lists; what is no folder lists nothing, leaving nothing stale behind.
    EXPECT_TRUE(ReadFolder("/", &dirs, nullptr) && !dirs.empty());
    for (const std::string& bad : {std::string(), std::string("/tmp\0/x", 7)})
        EXPECT_FALSE(ReadFolder(bad, &dirs, &files) || !dirs.empty() || !files.empty()) << bad;
}

TEST(NormalPath, MakesPathsAbsoluteAndLexicallyNormal) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"//", "/"},            {"/a/b/", "/a/b"},  {"/a//b///c", "/a/b/c"}, {"/a/./b/.", "/a/b"},
        {"/a/b/../c", "/a/c"},  {"/../../a", "/a"}, {"/a/..", "/"},          {"/a/...", "/a/..."},
        {"/.b/..c", "/.b/..c"}, {"", ""}};
    // clang-format on
    for (const auto& [in, out] : cases) EXPECT_EQ(NormalPath(in), out) << in;
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(NormalPath("."), here);
    EXPECT_EQ(NormalPath("x/y/.."), here == "/" ? "/x" : here + "/x");
}

TEST(Volumes, MountPointsAndDrives) {
    EXPECT_EQ(dirlist::MountPointOf("/") + dirlist::MountPointOf("/proc/self/"), "//proc");
    // id parent device root point options [tags] - type source options; binds of files and
    // system folders, pseudo and portal file systems are no volumes.
    const char* table =
        "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 0:5 / /proc rw - proc proc rw\n"
        "3 1 0:7 / /dev/shm rw - tmpfs tmpfs rw\n4 1 8:2 / /boot rw - ext4 /dev/sda2 rw\n"
        "5 1 8:17 / /media/My\\040Disk rw shared:1 - vfat /dev/sdb1 rw\n"
        "6 1 8:33 / /run/media/u/STICK rw - exfat /dev/sdc1 rw\n"
        "7 1 8:1 /etc/hosts /etc/hosts rw - ext4 /dev/sda1 rw\n"
        "8 1 0:40 / /mnt/share/ rw - cifs //srv/s rw\n9 1 8:1 / /home/u rw - ext4 /dev/sda1 rw\n"
        "10 1 0:50 / /mnt/doc rw - fuse.portal portal rw\n11 1 0:51 / /run/user rw - ext4 x rw\n"
        "cut short\n";
    EXPECT_EQ(dirlist::Drives(table, "/home/u"),
              (Names{"/", "/home/u", "/media/My Disk", "/run/media/u/STICK", "/mnt/share"}));
    EXPECT_EQ(dirlist::Drives().front(), "/");
}

TEST(Boxes, NotifyOnChangeOnlyAndHandTheScanOverOnce) {
    TempDir t, elsewhere;
    t.write("A.WAV", "");
    t.mkdir("Other");
    t.write("Other/o.wav", "");
    ASSERT_EQ(symlink(elsewhere.write("t", "").c_str(), t.file("link.wav").c_str()), 0);
    usleep(300 * 1000);  // the folder's change stamps age, so the file box may take the scan
    dirlist::DirListBox dirs;
    dirlist::FileListBox files;
    int changes = 0;
    dirs.onChange = [&] { ++changes; };
    // The link's target becoming a folder leaves the folder's stamps alone: only the folder box's
    // scan, handed over once, still lists it. The same folder spelled differently is no change;
    // a file added since the folder box's scan is listed.
    // clang-format off
    const std::pair<std::function<void()>, Names> steps[] = {
        {[&] { dirs.SetPath(t.path()); std::remove(elsewhere.file("t").c_str()); elsewhere.mkdir("t"); }, Names{"A.WAV", "link.wav"}},
        {[] {}, Names{"A.WAV"}},
        {[&] { dirs.SetPath(t.path() + "/Other/../"); t.write("b.wav", ""); }, Names{"A.WAV", "b.wav"}}};
    // clang-format on
    for (const auto& [step, listed] : steps) {
        step();
        files.SetPath(t.path());
        EXPECT_EQ(files.Names(), listed);
    }
    EXPECT_EQ(changes, 1);
    files.SetPath(t.file("Other"));
    std::remove(t.file("Other/o.wav").c_str());
    EXPECT_EQ(files.ListCount(), 1);  // only listing again reads the folder again
    files.SetPath(t.file("Other"));
    EXPECT_EQ(files.ListCount(), 0);
}

// Past 32 scans stuck on storage that stopped answering, folders stop opening until one ends.
std::promise<void> unstick;
std::shared_future<void> stuck = unstick.get_future().share();
TEST(Within, ThirtyTwoStuckScansAreTheCap) {
    TempDir t;
    auto hold = [](const std::string& f) {
        if (f.find("stuck") != std::string::npos) stuck.wait();
    };
    for (int i = 0; i <= 32; ++i) {
        dirlist::SetScanSeam(hold);
        EXPECT_EQ(dirlist::FolderOpens(t.path()), i < 32) << i;
        dirlist::SetScanSeam(hold, std::chrono::milliseconds(10));
        dirlist::FolderOpens(t.mkdir("stuck"));
    }
    dirlist::SetScanSeam(nullptr);
    unstick.set_value();
    EXPECT_TRUE(testsupport::Eventually([&] { return dirlist::FolderOpens(t.path()); }));
}
