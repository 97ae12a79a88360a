// A walk through a folder and every visible folder below it, collecting the WAV files whose names
// a caller's test accepts. It runs on worker threads, several folders at a time, and hands its
// finds out as they come. With a library index it first hands out what the index holds below the
// folder, then confirms that: a folder whose modification time is the recorded one is not read
// again, a changed one is read and recorded, and what is found gone is handed out as gone and
// dropped from the index. A folder that does not answer within the scan bound is skipped and
// counted, holds back no other, and is remembered as silent for a while, so that later walks
// leave it alone instead of parking more workers in it; its indexed files stay in the answer.
// Pseudo file systems are not walked. Each folder (device and inode) is read once, so symbolic
// links cannot lead round in circles. Names are bytes, as in the folder lists.
#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace search {

class Walk {
  public:
    // Whether a file name (bytes) is wanted. Called on the worker threads.
    using Match = std::function<bool(std::string_view name)>;
    // Called on a worker thread when finds wait to be taken after none did, and when the walk
    // ends; the caller then takes them on its own thread.
    using Notify = std::function<void()>;

    // Starts walking root (with or without a trailing "/") at once; lanes folders at a time.
    // lead, when not empty, is a word every wanted name made of ASCII bytes holds once its
    // capitals are lowered: the index's names are then scanned for it, and only the names that
    // hold it (or a byte above 0x7F) are put to match.
    static std::shared_ptr<Walk> Start(const std::string& root, Match match, Notify notify = {},
                                       int lanes = 4, std::string lead = {});
    ~Walk();  // cancels
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    // Stops at once: no folder is started any more, a folder being read stops at its next name.
    void Cancel();
    bool Cancelled() const;

    struct Progress {
        // Paths relative to the root ("Drums/kick.wav"), each folder's in natural order.
        std::vector<std::string> found;
        std::vector<std::string> gone;  // handed out before and found gone since
        bool done = false;              // nothing is read any more (finished or cancelled)
        int silent = 0;  // folders skipped because they did not answer within the bound
    };
    // What was found since the last call, and where the walk stands.
    Progress Take();
    // Waits until finds wait to be taken or the walk is done, at most timeout.
    void WaitFor(std::chrono::milliseconds timeout);

    struct State;

  private:
    explicit Walk(std::shared_ptr<State> s) : s_(std::move(s)) {}
    std::shared_ptr<State> s_;
};

// Hands take each name of names (each followed by a NUL) that match accepts; lower is names with
// ASCII capitals lowered, lead as for Walk::Start.
void MatchNames(std::string_view names, std::string_view lower, std::string_view lead,
                const Walk::Match& match, const std::function<void(std::string_view)>& take);
// names with ASCII capitals lowered.
std::string Lowered(std::string_view names);

// Test seam: before runs on the worker before each folder is read (a test holds a folder
// there), and bound replaces the scan bound. Null and the scan bound undo it.
void SetWalkSeam(void (*before)(const std::string& folder), std::chrono::milliseconds bound);

}  // namespace search
