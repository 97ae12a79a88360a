// The rows of the folder list: a view onto the entries FormLogic holds. A folder of 100,000
// files costs one model reset, and display text is decoded only for the rows that are painted.
// File entries also answer kFilePathRole: the file's full path as bytes (a QByteArray).
// For screen readers each row says what it is: a folder row that it is a folder, a file row its
// tooltip's text once the view has had it read.
#pragma once
#include <QAbstractListModel>
#include <QHash>
#include <string>
#include <vector>

#include "mainwindow/FormLogic.h"

constexpr int kFilePathRole = Qt::UserRole;

class PathListModel : public QAbstractListModel {
  public:
    PathListModel(const FormLogic& logic, QObject* parent)
        : QAbstractListModel(parent), logic_(logic) {}

    // Bracket a change of the entries.
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    int Count() const { return static_cast<int>(logic_.Entries().size()); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Whether the file at row has its spoken description yet.
    bool Described(int row) const;
    // The description of the file at path, shown at row; a row that no longer shows it is left.
    void SetDescription(int row, const QByteArray& path, const QString& text);

  private:
    const FormLogic& logic_;
    QHash<QByteArray, QString> described_;  // by path, so a rebuilt list keeps them
};

// Display text of a byte name: UTF-8 where valid, otherwise each stray byte shown as the
// character of the same code (so every name stays visible and distinct).
QString DisplayName(const std::string& bytes);
