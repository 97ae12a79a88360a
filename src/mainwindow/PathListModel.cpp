#include "mainwindow/PathListModel.h"

#include <QStringDecoder>

int PathListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant PathListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count()) return {};
    const PathEntry& entry = logic_.Entries()[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) return DisplayName(entry.text);
    if (role == kFilePathRole && entry.kind == EntryKind::File)
        return QByteArray::fromStdString(logic_.WavePath(index.row()));
    return {};
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
