// The rows of the folder list: a view onto the entries FormLogic holds. A folder of 100,000
// files costs one model reset, and display text is decoded only for the rows that are painted.
// File entries also answer kFilePathRole: the file's full path as bytes (a QByteArray).
// For screen readers each row says what it is: a folder row that it is a folder, the current
// file row its details once the view has had them read.
#pragma once
#include <QAbstractListModel>
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

    // The description of the file at path (one file at a time: the view's reads keep them).
    void SetDescription(const QByteArray& path, const QString& text);

  private:
    const FormLogic& logic_;
    QByteArray describedPath_;
    QString description_;
};

// Display text of a byte name: UTF-8 where valid, otherwise each stray byte shown as the
// character of the same code (so every name stays visible and distinct).
QString DisplayName(const std::string& bytes);
