// Files dropped on the list: open each one's folder, then select and play the last WAV.
#include <QApplication>
#include <QMimeData>
#include <QPointer>
#include <QUrl>
#include <algorithm>

#include "mainwindow/frmWAV.h"
#include "util/Commands.h"

namespace {

// The local files of a drop as byte paths, in the drop's order. Percent-escapes are decoded
// to bytes, so a name that is not valid UTF-8 keeps its bytes.
std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.scheme() != "file") continue;
        QString host = url.host();
        if (!host.isEmpty() && host != "localhost") continue;
        QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!path.isEmpty()) paths.push_back(path.toStdString());
    }
    return paths;
}

std::string LowerLast3(const std::string& s) {
    std::string t = s.size() >= 3 ? s.substr(s.size() - 3) : s;
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return t;
}

}  // namespace

void frmWAV::lstPath_OLEDragDrop(const QMimeData* data) {
    if (!data || !data->hasUrls()) return;
    // Copy the list first: pending events run below, and the drag's data may not outlive them.
    std::vector<std::string> items = LocalFiles(data);
    QPointer<frmWAV> self(this);
    std::string dropped, droppedFolder;
    for (const std::string& item : items) {
        QApplication::processEvents();
        if (!self || closing_) return;  // closed while the drop was half done
        dropped = GetFileName(item);
        droppedFolder = GetFilePath(item);
        OpenAndRebuild(droppedFolder);
        SetLabelText(dirDirs.Path());
    }
    QApplication::processEvents();
    if (!self || closing_) return;
    if (LowerLast3(dropped) != "wav") return;
    // When the file's folder could not be opened, the list shows another folder, and a file of
    // the same name there is not the one dropped.
    if (dirlist::NormalPath(droppedFolder) != dirDirs.Path()) return;
    const auto& entries = lstPathModel->Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].kind == EntryKind::File && entries[i].text == dropped) {
            SetListIndex(static_cast<int>(i));
            lstPath_MouseDown(0, 0, 0, 0);
        }
    }
}
