// The main window: drive box, three buttons, the folder list and its pop-up menu.
// Handlers keep the names of their control and event; other code calls some of them directly.
#pragma once
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mainwindow/FormLogic.h"

class QAction;
class QComboBox;
class QEnterEvent;
class QKeyEvent;
class QTimer;
class FindLine;
class QGroupBox;
class QLabel;
class QMenu;
class QMimeData;
class QPushButton;
class QTimer;
class PathListModel;
class PathListView;

class frmWAV : public QWidget {
  public:
    frmWAV();
    ~frmWAV() override;

    // What the handlers decide; declared first, since the folder boxes below are its own.
    FormLogic logic;

    // Controls, under the names the handlers use.
    QComboBox* drvDrives = nullptr;
    PathListView* lstPath = nullptr;
    PathListModel* lstPathModel = nullptr;
    QGroupBox* frmPaths = nullptr;
    dirlist::DirListBox& dirDirs = logic.dirDirs;
    dirlist::FileListBox& filFiles = logic.filFiles;
    QPushButton* cmdRoot = nullptr;
    QPushButton* cmdBack = nullptr;
    QPushButton* cmdDummy = nullptr;
    QPushButton* Command2 = nullptr;
    QLabel* lblPath = nullptr;
    QMenu* mnuPop = nullptr;
    QAction* mnuLoop = nullptr;
    QAction* mnuNix = nullptr;
    QAction* mnuPlay = nullptr;
    QAction* mnuStop = nullptr;
    QAction* mnuNix2 = nullptr;
    QAction* mnuKeepTop = nullptr;

    // The smallest outer width, in twips: the width at load; Form_Resize holds the window to it.
    int16_t MinWidth = 0;

    // Window
    void Form_Load();
    void Form_Resize();
    void Form_Unload(int16_t& cancel);

    // Listing
    void dirDirs_Change();
    // Rebuilds the list unless opening folder just did (through the change notification):
    // start-up and drops want a fresh list whether or not the folder changed, but not two.
    void OpenAndRebuild(const std::string& folder);
    void drvDrives_Change();
    static constexpr auto AppendBackslash = &FormLogic::AppendBackslash;

    // Navigation
    void cmdBack_Click();
    void cmdRoot_Click();
    void Command2_Click();
    void lstPath_DblClick();

    // Playback and menu
    void lstPath_MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void lstPath_KeyUp(int16_t& KeyCode, int16_t& Shift);
    void mnuPlay_Click();
    void mnuStop_Click();
    void mnuLoop_Click();
    void mnuKeepTop_Click();

    // Preview level: Ctrl+Up and Ctrl+Down in the list, and two menu entries after a separator.
    QAction* mnuNix3 = nullptr;
    QAction* mnuLouder = nullptr;
    QAction* mnuQuieter = nullptr;
    void mnuLouder_Click();
    void mnuQuieter_Click();
    // Applies a level to the sound and the menu; with show, the caption tells it for a moment.
    void SetLevel(int db, bool show);

    // Drop: the local files of a text/uri-list drop, as byte paths, in the drop's order.
    void lstPath_OLEDragDrop(const QMimeData* data);

    // Find by name: Ctrl+F in this folder, Ctrl+Shift+F below it, in the line above the list.
    FindLine* txtFind = nullptr;
    void mnuFind_Click(find::Mode mode);
    void txtFind_Change();
    void txtFind_KeyDown(QKeyEvent* event, find::LineKey key);
    void txtFind_KeyUp(int KeyCode, int Shift, find::LineKey key);
    // Escape: the whole folder back, with the last played file selected when it lies there.
    void FindClose();
    // Double click on a match below, or Ctrl+Enter: its folder, with the file selected.
    void FindOpenSelected();
    // A key released in the list: Escape closes a search too (and stops the sound, as ever).
    void FindKeyInList(int KeyCode);

    // Places and favourites: the user's places after the volumes in the drive box, Ctrl+D (the
    // selected file a favourite, again: no more), Ctrl+Shift+D (this folder bookmarked, again:
    // no more) and "Favorit" in the menu after the level entries.
    QAction* mnuFavourite = nullptr;
    void mnuFavourite_Click();
    void BookmarkFolder();
    // Double click on a favourite, or Ctrl+Enter: its folder, with the file selected.
    void FavouriteOpenSelected();

    // The selected row, -1 when nothing is selected.
    int ListIndex() const;
    // Selects row (or clears the selection for -1).
    void SetListIndex(int row);
    // Text of the selected entry, "" when nothing is selected.
    std::string SelectedText() const;
    // The label's text as bytes.
    std::string LabelText() const;
    void SetLabelText(const std::string& text);
    void SetListColors(uint32_t back, uint32_t fore);
    // True once the window is closing (its settings are saved then).
    bool Closing() const { return closing_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    void BuildControls();
    void BuildMenu();
    void BuildLevelMenu();
    // Names and descriptions for screen readers; the hidden controls out of their reach.
    void BuildAccess();
    void FillDrives();
    void SelectDriveOf(const std::string& folder);
    // Starts what a handler decided.
    static void Apply(const SoundCall& call);
    void BuildFind();
    // The search line above the list when a search shows; fullHeight: the list was just sized
    // for its top without the line.
    void PlaceFind(bool fullHeight);
    void TakeFound();
    void ShowFindStatus();
    void BuildPlaces();
    void FillPlaces();
    // The releases of a mark key and its modifiers replay nothing: true for one of them.
    bool MarkKeyReleased(int keyCode);

    std::string labelText_;
    bool closing_ = false;          // set once the window is closing; a half-done drop stops then
    QTimer* levelShown_ = nullptr;  // ends the level's moment in the caption
    QString captionBefore_, levelCaption_;
    QLabel* lblLevel = nullptr;  // the level over the list's lower corner, for the same moment
    struct FoundRelay;
    std::shared_ptr<FoundRelay> foundRelay_;  // hands a walk's news to this window's thread
    QTimer* findTimer_ = nullptr;
    std::vector<int> markHeld_;     // key codes of the mark key last pressed, until released
    QTimer* findSpoken_ = nullptr;  // the match count is said when typing pauses
};
