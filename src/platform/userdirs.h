// The user's well-known folders as the desktop names them in user-dirs.dirs (what xdg-user-dir
// answers), read without any desktop library.
#pragma once
#include <string>

namespace userdirs {

// The folder that the last line "KEY="value"" of a user-dirs.dirs text gives for key, with a
// leading "$HOME" replaced by home and without a trailing "/"; "" when no line gives one. Values
// must be "$HOME", "$HOME/..." or absolute; anything else is ignored, as the desktop ignores it.
std::string Lookup(const std::string& text, const std::string& key, const std::string& home);

// The music folder of user-dirs.dirs in configHome (the value of $XDG_CONFIG_HOME; when empty or
// relative, home + "/.config"), ending in "/"; "" when it is not set or is no existing folder.
std::string MusicDir(const std::string& configHome, const std::string& home);

// The folder an installed program opens when it knows no other: the music folder from the
// environment's $XDG_CONFIG_HOME and $HOME, else the home folder, else otherwise.
std::string FirstStartDir(const std::string& otherwise);

}  // namespace userdirs
