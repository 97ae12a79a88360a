// Places and favourites: what Ctrl+D, Ctrl+Shift+D and a place chosen in the volume box do,
// and the favourites listed like the finds of a search below.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "mainwindow/FormLogic.h"
#include "platform/bookmarks.h"
#include "startup/Globals.h"

bool FormLogic::ToggleFavourite(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size()) ||
        entries_[static_cast<size_t>(row)].kind != EntryKind::File)
        return false;
    // The row stays where it is, unmarked, so a slip is undone with the same key.
    return favourites.Toggle(WavePath(row)).has_value();
}

std::optional<bool> FormLogic::ToggleBookmark() {
    if (favList_ || dirDirs.Path().empty()) return std::nullopt;
    return bookmarks::ToggleIn(bookmarksFile.empty() ? bookmarks::GtkFile() : bookmarksFile,
                               dirDirs.Path());
}

bool FormLogic::OpenPlace(const std::string& place) {
    if (!place.empty()) return OpenDrive(place);
    favourites.Load();  // edited by hand or by another copy meanwhile
    // Whether each file is there, asked on a worker: a share gone quiet holds no window. What
    // was not answered in time counts as there, so nothing is shown as lost that may not be.
    auto missing = std::make_shared<std::vector<std::string>>();
    auto paths = std::make_shared<const std::vector<std::string>>(favourites.Paths());
    const bool answered = dirlist::Within("", [paths, missing] {
        for (const std::string& p : *paths) {
            struct stat st {};
            if (::stat(p.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
                missing->push_back(p);
        }
    });
    if (listChanging) listChanging();
    EndFind();
    gone_.clear();
    if (answered) gone_.insert(missing->begin(), missing->end());
    entries_.clear();
    for (const std::string& p : favourites.Paths()) entries_.push_back({p, EntryKind::File});
    std::sort(entries_.begin(), entries_.end(), [](const PathEntry& a, const PathEntry& b) {
        return dirlist::NaturalLess(a.text, b.text);
    });
    favList_ = true;
    if (listChanged) listChanged();
    return true;
}

int FormLogic::OpenFavourite(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size()) ||
        entries_[static_cast<size_t>(row)].kind != EntryKind::File)
        return -2;
    const std::string path = WavePath(row);
    const std::string folder = dirlist::NormalPath(GetFilePath(path));
    const unsigned before = rebuilds_;
    if (!dirDirs.SetPath(folder)) return -2;
    if (rebuilds_ == before) Rebuild();  // the folder behind the favourites
    const std::string name = GetFileName(path);
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].kind == EntryKind::File && entries_[i].text == name)
            return static_cast<int>(i);
    return -1;
}
