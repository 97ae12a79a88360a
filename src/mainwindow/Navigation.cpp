// Moving between folders: Back, Root, reload and double clicks on the list.
#include <QPushButton>

#include "mainwindow/frmWAV.h"

namespace {

// Opens the parent of the current folder; when that is gone or unreadable too (the tree was
// deleted under the window), the nearest ancestor that opens, so ".." is never a dead end.
// At "/" the parent is empty and the folder stays as it is.
void OpenParent(dirlist::DirListBox& dirs) {
    std::string up = frmWAV::GetParentDir(dirs.Path());
    while (!up.empty() && !dirs.SetPath(up)) {
        if (up == "/") break;
        up = frmWAV::GetParentDir(up);
    }
}

}  // namespace

void frmWAV::cmdBack_Click() {
    OpenParent(dirDirs);
    cmdDummy->setFocus();
}

void frmWAV::cmdRoot_Click() {
    dirDirs.SetPath(dirlist::MountPointOf(dirDirs.Path()));
    cmdDummy->setFocus();
}

void frmWAV::Command2_Click() {
    // The rebuild reads the WAV files afresh; the sub-folders stay as they were read when the
    // folder was opened.
    dirDirs_Change();
    cmdDummy->setFocus();
}

void frmWAV::lstPath_DblClick() {
    int row = ListIndex();
    if (row >= 0) {
        const PathEntry& entry = lstPathModel->At(row);
        if (entry.kind == EntryKind::Parent) {
            OpenParent(dirDirs);
            SetLabelText(dirDirs.Path());
            return;
        }
        if (entry.kind == EntryKind::Folder) {
            std::string path = dirDirs.Path();
            std::string name = entry.text.substr(1, entry.text.size() - 2);
            dirDirs.SetPath(AppendBackslash(path) + name + "/");
            SetLabelText(dirDirs.Path());
            return;
        }
    }
    lstPath_MouseDown(1, 0, 0, 0);
}
