// The library index: what it gives back, its file's permissions, a damaged file set aside, a
// folder it cannot write, two copies of the program on one file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "platform/libindex.h"

namespace {

using libindex::Index;

// Everything below root as "path mtime [subs] wavs;".
std::string Dump(Index& index, const std::string& root) {
    std::string out;
    index.Below(root, [&out](libindex::Folder&& f) {
        out += f.path + " " + std::to_string(f.mtime) + " [";
        for (const std::string& s : libindex::Split(f.subs)) out += s + ",";
        out += "]";
        for (const std::string& w : libindex::Split(f.wavs)) out += " " + w;
        out += ";";
        return true;
    });
    return out;
}

// Writes a small index in folder and closes it.
void Fill(const std::string& folder) {
    auto index = Index::Open(folder);
    for (int i = 0; i < 200; ++i)
        index->Record(
            {"/lib/" + std::to_string(i) + "/", i, {}, libindex::Join({"kick.wav", "snare.wav"})});
}

}  // namespace

TEST(LibIndex, RecordsForgetsAndKeepsItToItsUser) {
    testsupport::TempDir dir;
    auto index = Index::Open(dir.file("cache/wavplayer"));
    ASSERT_TRUE(index);
    index->Record({"/lib/", 5, libindex::Join({"A", "B"}), libindex::Join({"x.wav"})});
    index->Record({"/lib/A/", 6, {}, libindex::Join({"b.wav", "\xff.wav"})});
    index->Record({"/lib/B/", 7, {}, {}});
    index->Record({"/lib0/", 8, {}, libindex::Join({"no.wav"})});
    index->Record({"/lib/", 9, libindex::Join({"A"}), libindex::Join({"y.wav"})});  // replaces
    index->Forget("/lib/B/");
    index->Flush();
    EXPECT_EQ(Dump(*index, "/lib/"), "/lib/ 9 [A,] y.wav;/lib/A/ 6 [] b.wav \xff.wav;");
    struct stat folder {
    }, file{};
    stat(dir.file("cache/wavplayer").c_str(), &folder);
    stat(dir.file("cache/wavplayer/library.sqlite").c_str(), &file);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    // A cache folder that cannot be made: no index.
    EXPECT_FALSE(Index::Open(dir.write("plain", "") + "/wavplayer"));
    // Two copies of the program on one file: each reads what the other wrote.
    auto other = Index::Open(dir.file("cache/wavplayer"));
    other->Record({"/lib/B/", 10, {}, libindex::Join({"o.wav"})});
    other->Flush();
    EXPECT_EQ(Dump(*index, "/lib/B/"), "/lib/B/ 10 [] o.wav;");
}

// A damaged file is set aside as it is, and a fresh index works in its place.
TEST(LibIndex, DamagedFileSetAsideAndRebuilt) {
    const std::pair<const char*, void (*)(const std::string&)> rows[] = {
        {"garbage",
         [](const std::string& f) { std::ofstream(f) << std::string(5000, 'x') << "\n"; }},
        {"truncated",
         [](const std::string& f) {
             Fill(std::filesystem::path(f).parent_path());
             std::filesystem::resize_file(f, 6000);
         }},
        {"wrong schema", [](const std::string& f) {
             Fill(std::filesystem::path(f).parent_path());
             std::fstream(f, std::ios::in | std::ios::out | std::ios::binary).seekp(63).put(7);
         }}};
    for (const auto& [what, damage] : rows) {
        testsupport::TempDir dir;
        const std::string file = dir.file("library.sqlite");
        damage(file);
        const std::string before = testsupport::ReadAll(file);
        auto index = Index::Open(dir.path());
        ASSERT_TRUE(index) << what;
        Dump(*index, "/");  // damage found on reading sets the file aside too
        index->Record({"/new/", 1, {}, libindex::Join({"a.wav"})});
        index->Flush();
        EXPECT_EQ(Dump(*index, "/"), "/new/ 1 [] a.wav;") << what;
        EXPECT_EQ(testsupport::ReadAll(file + ".broken"), before) << what;
    }
}
