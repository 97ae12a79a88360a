// The user's places as the desktop keeps them: the home and music folders, GTK's bookmarks file
// (which file managers and file choosers share) and KDE's places. The bookmarks file is shared:
// a change rewrites only its own line and keeps every other one byte for byte.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bookmarks {

struct Place {
    std::string path;   // absolute, without a trailing "/" (but "/")
    std::string label;  // as the desktop shows it (UTF-8 by convention)
    bool operator==(const Place&) const = default;
};

// The local folders of a GTK bookmarks text ("URL[ label]" a line), in order; a bookmark
// without a label is labelled with its folder's name. Remote URLs and other lines are left out.
std::vector<Place> ParseGtk(std::string_view text);

// The local bookmarks of KDE's user-places.xbel that are not hidden, with their titles.
std::vector<Place> ParseXbel(std::string_view text);

// Bookmarks folder in a GTK bookmarks text, or removes every line that names it; returns
// whether it is bookmarked now.
bool ToggleGtk(std::string& text, const std::string& folder);

// $XDG_CONFIG_HOME/gtk-3.0/bookmarks and $XDG_DATA_HOME/user-places.xbel (each with its
// fallback below the home folder).
std::string GtkFile();
std::string KdeFile();

// Toggles folder in the bookmarks file (created when missing); none when the file is too big or
// cannot be read or replaced, which leaves it as it was.
std::optional<bool> ToggleIn(const std::string& file, const std::string& folder);

// Home ("Persönlicher Ordner"), the music folder, then the bookmarks of both files, each folder
// once.
std::vector<Place> UserPlaces();

}  // namespace bookmarks
