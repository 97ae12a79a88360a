// Moving between folders: Back, Root, reload and double clicks on the list.
#include "mainwindow/PathListView.h"
#include "mainwindow/Speech.h"
#include "mainwindow/frmWAV.h"

// Each button hands the focus to the list, where a keyboard user goes on; a screen reader hears
// the folder it shows.
void frmWAV::cmdBack_Click() {
    logic.Back();
    lstPath->setFocus();
    Say(this, FolderSpeech(logic));
}

void frmWAV::cmdRoot_Click() {
    logic.Root();
    lstPath->setFocus();
    Say(this, FolderSpeech(logic));
}

void frmWAV::Command2_Click() {
    // The rebuild reads the WAV files afresh; the sub-folders stay as they were read when the
    // folder was opened. The favourites are read afresh as they are.
    logic.ShowingFavourites() ? static_cast<void>(logic.OpenPlace("")) : dirDirs_Change();
    lstPath->setFocus();
    Say(this, FolderSpeech(logic));
}

void frmWAV::lstPath_DblClick() {
    if (logic.Finding() == find::Mode::Below) return FindOpenSelected();
    if (logic.ShowingFavourites()) return FavouriteOpenSelected();
    if (logic.DoubleClick(ListIndex()) == FormLogic::DoubleClickAction::OpenedFolder) {
        SetLabelText(dirDirs.Path());
        Say(this, FolderSpeech(logic));
    } else
        lstPath_MouseDown(1, 0, 0, 0);
}
