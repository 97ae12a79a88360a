// What the window's handlers decide, without a widget or a sound device: the current folder and
// its entries, which file a press, key, menu item or drop starts, where Back, Root and double
// clicks lead, and the settings saved at close and applied at start. frmWAV forwards its
// handlers here and applies the answers to its controls and to the sound service.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "mainwindow/FindLogic.h"
#include "platform/dirlist.h"
#include "platform/playlist.h"
#include "util/Commands.h"

enum class EntryKind { Parent, Folder, File };

struct PathEntry {
    std::string text;  // as shown: "[..]", "[" + name + "]", or the file name (bytes)
    EntryKind kind;
};

// A call to the sound service: Play and Stop start once (Stop names STOP.wav), Loop repeats.
struct SoundCall {
    enum Kind { None, Play, Loop, Stop } kind = None;
    std::string path;
    bool operator==(const SoundCall&) const = default;
};

// The visible signs of a mode of the list: window caption and list colours (red in the low byte).
struct ListLook {
    const char* caption;
    uint32_t back, fore;
};

// What the settings file gives the window at start.
struct SavedState {
    std::optional<float> height, width;  // twips; none: keep the designed size
    std::optional<float> top, left;      // none: place the window by the default rule
    bool loop = false, onTop = false;    // switch the mode on
};

// The preview level, in dB: 0 (full) down to -45 in steps of 3, and below that muted.
namespace level {
constexpr int kStep = 3, kLowest = -45, kMuted = kLowest - kStep;
// One step louder or quieter; 0 and kMuted are the ends.
int Louder(int db);
int Quieter(int db);
// The linear gain of a level: 10^(db/20), 0 when muted.
float Gain(int db);
// As the caption and the menu show it: "0 dB", "-12 dB", "stumm".
std::string Text(int db);
// A saved Volume value: the nearest step; 0 for no value, a text that is no number, or one
// outside 0 to kMuted.
int Parse(const std::string& text);
}  // namespace level

class FormLogic {
  public:
    FormLogic();
    FormLogic(const FormLogic&) = delete;
    FormLogic& operator=(const FormLogic&) = delete;

    // The current folder and the WAV files listed for it.
    dirlist::DirListBox dirDirs;
    dirlist::FileListBox filFiles;
    // Raised around every rebuild of the entries, so a view can reset itself.
    std::function<void()> listChanging, listChanged;

    const std::vector<PathEntry>& Entries() const { return entries_; }
    // Lists the current folder afresh: "[..]" (not at "/"), "[sub-folders]", then WAV files.
    void Rebuild();
    // Opens folder and rebuilds once, whether or not the folder changed.
    void OpenAndRebuild(const std::string& folder);
    // Opens a volume; false (nothing changed) when it cannot be opened.
    bool OpenDrive(const std::string& drive);
    // The parent of the current folder, or the nearest ancestor that still opens.
    void Back();
    // The mount point of the volume that holds the current folder.
    void Root();

    enum class DoubleClickAction { OpenedFolder, PlaySelection };
    // Opens a folder entry (the label then shows the folder); anything else plays the selection.
    DoubleClickAction DoubleClick(int row);

    // row is the selected entry, -1 for none. Button 2 opens the menu and starts nothing here.
    SoundCall Press(int16_t button, int row);
    // Space and Escape stop (KeyCode becomes 0); any other key plays the selection.
    SoundCall KeyUp(int16_t& keyCode, int row);
    // Folders by keyboard, on the key's release: Return on "[name]" opens it and on "[..]" goes
    // up, as a double click does; Backspace and Alt+Up (shift 4) go up, as ".." does. true when
    // the key was one of these: it plays nothing then.
    bool FolderKey(int16_t keyCode, int16_t shift, int row);
    SoundCall PlayItem(int row) const;
    SoundCall StopItem() const;
    // Flips the Loop mode: on, the selection starts over as a loop; off, the sound stops.
    SoundCall ToggleLoop(int row);
    bool Looping() const { return loop_; }
    static ListLook LookOf(bool loop);
    // Flips the keep-on-top mode and returns it; CommitOnTop records it once it is applied.
    bool ToggleKeepTop();
    void CommitOnTop() const;

    // The preview level (see level::); Unload saves it as Volume, SavedLevel reads it back.
    int Level() const { return level_; }
    void SetLevel(int db) { level_ = db; }
    static int SavedLevel();

    // Opens the folder of one dropped item.
    void DropItem(const std::string& path);
    // After the items: the row of the last one when it is a WAV file listed in its own folder.
    int DroppedRow(const std::vector<std::string>& items) const;

    // The window's own path routines: the parent of a path ("/a/b" and "/a/b/" give "/a/", "/"
    // gives ""), and the caller's variable with a trailing "/" (also returned).
    static std::string GetParentDir(const std::string& path);
    static std::string AppendBackslash(std::string& path);

    // The folder with a trailing "/" followed by the entry's text (the bare folder for -1).
    std::string WavePath(int row) const;

    // Records the folder shown last in StartDir and writes the seven settings and the preview
    // level (Volume, last) in one go; geometry in twips.
    void Unload(float top, float left, float height, float width) const;
    // Reads the saved state; height and width are the window's current ones, in twips. Sets
    // LoopMode and OnTopMode as read.
    static SavedState ReadSavedState(float height, float width);
    // The folder shown first for the command-line text: the argument's folder (CmdLinePath
    // keeps the argument in its long-name form); without one, the saved LastDir while it still
    // opens, else the program's folder when the settings lie beside it, else the user's music or
    // home folder (an installed program's folder holds only STOP.wav). Needs AppDir, ExeName,
    // AppTitle and IniFile.
    static std::string StartFolder(const std::string& commandLine);

    // Find by name. Ctrl+F (Here) shows the entries of this folder that match what is typed,
    // Ctrl+Shift+F (Below) the matching WAV files of this folder and every folder below it, by
    // their path relative to this folder, as a walk finds them. Opening a search keeps what was
    // typed; any rebuild of the list ends it.
    void OpenFind(find::Mode mode);
    find::Mode Finding() const { return find_.mode; }
    bool Searching() const { return find_.searching; }  // a walk is under way
    // Filters again, or cancels the walk under way and starts the next (none for an empty line).
    void TypeFind(const std::string& typed);
    // Raised on a worker thread when a walk has finds to take, or ends.
    std::function<void()> foundReady;
    // Shows what the walk found since the last call in natural order; returns where the entry
    // at row went (-1 for none).
    int TakeFound(int row);
    // The whole folder back; returns the row of the last played file when it lies in it.
    int CloseFind();
    // Ends the search at the match at row: a folder opens; a file's folder opens, and the
    // file's row there is returned (-1 when it is not listed).
    int OpenFound(int row);
    std::string FindStatus() const;

    // Places and favourites (PlacesLogic.cpp). The favourites' playlist and GTK's bookmarks
    // file; tests point them elsewhere.
    playlist::Favourites favourites{playlist::FavouritesFile()};
    std::string bookmarksFile;
    bool IsFavourite(const std::string& path) const { return favourites.Contains(path); }
    // A favourite shown as gone: its file was not there when the favourites were listed.
    bool FavouriteGone(const std::string& path) const { return gone_.count(path) != 0; }
    // Ctrl+D: marks or unmarks the file at row; false when nothing changed.
    bool ToggleFavourite(int row);
    // Ctrl+Shift+D: bookmarks this folder or removes its bookmark; none when nothing changed.
    std::optional<bool> ToggleBookmark();
    // A choice in the volume box: a folder ("" lists the favourites); false (nothing changed)
    // when it cannot be opened.
    bool OpenPlace(const std::string& place);
    bool ShowingFavourites() const { return favList_; }
    // Double click or Ctrl+Enter on a favourite: its folder, and the file's row there (-1 when it
    // is not listed); -2 when the folder cannot be opened (nothing changed).
    int OpenFavourite(int row);

  private:
    void EndFind();

    find::State find_;
    std::vector<PathEntry> folder_;  // the whole folder while a search shows its matches
    std::vector<PathEntry> entries_;
    unsigned rebuilds_ = 0;
    bool loop_ = false;
    bool keepTop_ = false;
    int level_ = 0;
    bool favList_ = false;                  // the favourites show instead of a folder
    std::unordered_set<std::string> gone_;  // favourites whose file was missing when listed
};
