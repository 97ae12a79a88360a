// The entries of the folder list: "[..]", "[folder]" and WAV file names, each with its kind,
// so a file whose name begins with "[" is still a file. Rows are built in one go so that a
// folder of 100,000 files costs one model reset, and display text is decoded only for the rows
// that are painted.
#pragma once
#include <QAbstractListModel>
#include <string>
#include <vector>

enum class EntryKind { Parent, Folder, File };

struct PathEntry {
    std::string text;  // as shown: "[..]", "[" + name + "]", or the file name (bytes)
    EntryKind kind;
};

class PathListModel : public QAbstractListModel {
  public:
    using QAbstractListModel::QAbstractListModel;

    void SetEntries(std::vector<PathEntry> entries);
    const std::vector<PathEntry>& Entries() const { return entries_; }
    int Count() const { return static_cast<int>(entries_.size()); }
    const PathEntry& At(int row) const { return entries_[static_cast<size_t>(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    std::vector<PathEntry> entries_;
};

// Display text of a byte name: UTF-8 where valid, otherwise each stray byte shown as the
// character of the same code (so every name stays visible and distinct).
QString DisplayName(const std::string& bytes);
