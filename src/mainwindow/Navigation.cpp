// Moving between folders: Back, Root, reload and double clicks on the list.
#include <QPushButton>

#include "mainwindow/frmWAV.h"

void frmWAV::cmdBack_Click() {
    logic.Back();
    cmdDummy->setFocus();
}

void frmWAV::cmdRoot_Click() {
    logic.Root();
    cmdDummy->setFocus();
}

void frmWAV::Command2_Click() {
    // The rebuild reads the WAV files afresh; the sub-folders stay as they were read when the
    // folder was opened.
    dirDirs_Change();
    cmdDummy->setFocus();
}

void frmWAV::lstPath_DblClick() {
    if (logic.Finding() == find::Mode::Below) return FindOpenSelected();
    if (logic.DoubleClick(ListIndex()) == FormLogic::DoubleClickAction::OpenedFolder)
        SetLabelText(dirDirs.Path());
    else
        lstPath_MouseDown(1, 0, 0, 0);
}
