// Files dropped on the list: open each one's folder, then select and play the last WAV.
#include <QApplication>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

#include "mainwindow/frmWAV.h"

namespace {

// The local files of a drop as byte paths, in the drop's order. Percent-escapes are decoded
// to bytes, so a name that is not valid UTF-8 keeps its bytes.
std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data->urls()) {
        if (url.scheme() != "file") continue;
        QString host = url.host();
        if (!host.isEmpty() && host != "localhost") continue;
        QByteArray path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!path.isEmpty()) paths.push_back(path.toStdString());
    }
    return paths;
}

}  // namespace

void frmWAV::lstPath_OLEDragDrop(const QMimeData* data) {
    if (!data || !data->hasUrls()) return;
    // Copy the list first: pending events run below, and the drag's data may not outlive them.
    std::vector<std::string> items = LocalFiles(data);
    QPointer<frmWAV> self(this);
    for (const std::string& item : items) {
        QApplication::processEvents();
        if (!self || closing_) return;  // closed while the drop was half done
        logic.DropItem(item);
        SetLabelText(dirDirs.Path());
    }
    QApplication::processEvents();
    if (!self || closing_) return;
    if (int row = logic.DroppedRow(items); row >= 0) {
        SetListIndex(row);
        lstPath_MouseDown(0, 0, 0, 0);
    }
}
