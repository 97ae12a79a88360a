// Folder scanning: the directory and file list boxes of the window stand on these.
// Names are bytes; nothing here decodes them.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace dirlist {

// File-manager order: case-insensitive, runs of digits compared by value ("Kick 2" < "Kick 10").
// Names equal in that sense ("x01"/"x1", "a"/"A") still get a fixed order, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);

// Reads the visible sub-folders (symlinks to folders included, names beginning with "." left out)
// and the visible *.wav files (any case) of folder, each sorted by NaturalLess.
// Either output may be null. Returns false (outputs emptied) when the folder cannot be opened.
bool ReadFolder(const std::string& folder, std::vector<std::string>* subfolders,
                std::vector<std::string>* wavFiles);

// A path made absolute (against the working directory) and lexically normal: no "//", no "."
// or ".." components, no trailing "/" except for the root "/". ".." is resolved on the text,
// not through symlinks, and stops at "/". "" stays "" (no path).
std::string NormalPath(const std::string& path);

// The mount point of the volume that holds path ("/" when nothing else matches).
std::string MountPointOf(const std::string& path);

// The mount points of pseudo file systems (proc, sysfs, devtmpfs and the like): never walked.
std::vector<std::string> PseudoMounts();

// What the drive box offers: "/", the home folder, then mounted volumes with real file systems.
std::vector<std::string> Drives();
// The same for a mount table in the form of /proc/self/mountinfo and a home folder.
std::vector<std::string> Drives(const std::string& mountinfo, const std::string& home);

// How long a folder may take to answer before it counts as one that cannot be opened, so that a
// share gone quiet cannot freeze the window. The scan runs on; its late result is dropped.
constexpr std::chrono::milliseconds kScanBound{2000};

// Runs work on a helper thread and waits for it at most the scan bound; false when it did not
// finish in time (or too many earlier ones are still stuck). work may outlive the call, so it
// must own what it writes (hold results through a shared_ptr).
bool Within(const std::string& folder, std::function<void()> work);

// The bound in force (kScanBound unless a test set another).
std::chrono::milliseconds ScanBound();

// True when folder opens as a folder within the bound.
bool FolderOpens(const std::string& folder);

// Test seam: beforeScan runs on the helper thread before each bounded scan or check of a folder
// (a test holds a folder there), and bound replaces kScanBound. Null and kScanBound undo it.
void SetScanSeam(void (*beforeScan)(const std::string& folder),
                 std::chrono::milliseconds bound = kScanBound);

// Stands in for the directory list box: holds the current folder and its sub-folders.
class DirListBox {
  public:
    // Called after Path changed to another folder.
    std::function<void()> onChange;

    const std::string& Path() const { return path_; }
    // Opens folder; returns false (and keeps the old Path and list) when it cannot be opened
    // or does not answer within the bound.
    // Raises onChange when the folder differs from the one held before.
    bool SetPath(const std::string& folder);
    int ListCount() const { return static_cast<int>(subfolders_.size()); }
    const std::vector<std::string>& Names() const { return subfolders_; }

  private:
    std::string path_;
    std::vector<std::string> subfolders_;
};

// Stands in for the file list box with the pattern "*.wav".
class FileListBox {
  public:
    const std::string& Path() const { return path_; }
    // Lists the WAV files of folder; an unreadable or silent folder gives an empty list. Right
    // after DirListBox::SetPath of the same, unchanged folder this takes the list from that scan.
    void SetPath(const std::string& folder);
    int ListCount() const { return static_cast<int>(files_.size()); }
    const std::vector<std::string>& Names() const { return files_; }

  private:
    std::string path_;
    std::vector<std::string> files_;
};

}  // namespace dirlist
