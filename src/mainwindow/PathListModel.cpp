#include "mainwindow/PathListModel.h"

#include <QColor>
#include <QStringDecoder>

#include "mainwindow/Icons.h"

int PathListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant PathListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const PathEntry& entry = logic_.Entries()[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) return DisplayName(entry.text);
    if (role == kFilePathRole && entry.kind == EntryKind::File)
        return QByteArray::fromStdString(logic_.WavePath(index.row()));
    if ((role == Qt::DecorationRole || role == Qt::ForegroundRole) &&
        entry.kind == EntryKind::File) {
        const std::string path = logic_.WavePath(index.row());
        if (!logic_.IsFavourite(path)) return {};
        const bool gone = logic_.FavouriteGone(path);
        if (role == Qt::DecorationRole) return StarIcon(gone);
        if (gone) return QColor(128, 128, 128);
    }
    if (role == Qt::AccessibleTextRole) {
        if (entry.kind == EntryKind::Parent)
            return QString::fromUtf8(
                "\xc3\x9c"
                "bergeordneter Ordner");
        if (entry.kind == EntryKind::Folder)
            return "Ordner " + DisplayName(entry.text.substr(1, entry.text.size() - 2));
        return DisplayName(entry.text);
    }
    if (role == Qt::AccessibleDescriptionRole) {
        if (entry.kind != EntryKind::File)
            return QString::fromUtf8(
                "Eingabe \xc3\xb6"
                "ffnet ihn");
        const QByteArray path = QByteArray::fromStdString(logic_.WavePath(index.row()));
        return path == describedPath_ ? description_ : QString();
    }
    return {};
}

void PathListModel::SetDescription(const QByteArray& path, const QString& text) {
    describedPath_ = path;
    description_ = text;
}

Qt::ItemFlags PathListModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QString DisplayName(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError()) return s;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
