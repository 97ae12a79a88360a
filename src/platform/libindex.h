// The library index: the folders that listings and walks have read, with their modification
// time, their visible sub-folders and their WAV names, kept between runs in an SQLite database
// under the user's cache folder. A search answers from it at once and its walk reads again only
// the folders that changed. It is a cache: anything wrong with the file (damaged, another schema)
// sets it aside and starts afresh, and without a writable cache folder there is simply no index.
// Writes are queued and done in batched transactions on a worker of its own; reads run on the
// caller's thread, which must be a worker, never the window thread. Paths are bytes.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace libindex {

struct Folder {
    std::string path;   // absolute, with a trailing "/"
    int64_t mtime = 0;  // nanoseconds; 0 when the stamp could not be trusted (read again next time)
    // The visible sub-folders and the WAV names, each name followed by a NUL: one block a
    // folder, so that a million names are a few thousand rows and no string each.
    std::string subs, wavs;
};

// Names as a block, and back.
std::string Join(const std::vector<std::string>& names);
std::vector<std::string> Split(std::string_view names);

class Index {
  public:
    // Opens or creates the index in folder (made 0700 if missing; the file is 0600). Null when
    // the folder or the file cannot be had.
    static std::shared_ptr<Index> Open(const std::string& folder);
    ~Index();
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    // Replaces what the index holds of f.path. Queued; returns at once.
    void Record(Folder f);
    // Drops path (with a trailing "/") and every folder below it. Queued; returns at once.
    void Forget(const std::string& path);
    // Waits until everything queued is written.
    void Flush();
    // Hands each folder recorded at or below root (with a trailing "/") to take, in path order,
    // until take returns false. False when nothing could be read.
    bool Below(const std::string& root, const std::function<bool(Folder&&)>& take);
    // Counts the writes done: unchanged, the index holds what it held.
    uint64_t Generation() const;

    struct State;

  private:
    explicit Index(std::shared_ptr<State> s) : s_(std::move(s)) {}
    std::shared_ptr<State> s_;
};

// The file's name in its folder.
constexpr const char* kFileName = "library.sqlite";

// The program's index, opened on first use (on a worker) in CacheFolder(); null until UseDefault
// or Use turned one on, and when it cannot be had.
std::shared_ptr<Index> Shared();
// Whether Shared may give an index (without opening one): when not, nothing need be recorded.
bool Wanted();
// Turns on the index in CacheFolder() for this process.
void UseDefault();
// Puts index in place of the program's one (null: none).
void Use(std::shared_ptr<Index> index);
// $XDG_CACHE_HOME/wavplayer/, else ~/.cache/wavplayer/.
std::string CacheFolder();

}  // namespace libindex
