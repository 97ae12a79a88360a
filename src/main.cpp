#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "startup/AppModul.h"

#ifndef WAVPLAYER_VERSION
#define WAVPLAYER_VERSION "unknown"
#endif

int main(int argc, char** argv) {
    // Answered before any window or sound device exists. Only these two words are options: any
    // other text is the path ("./--help" reaches a folder of that name).
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("wavplayer %s\n", WAVPLAYER_VERSION);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf(
            "Usage: wavplayer [PATH]\n"
            "Browse folders of WAV files and hear each one as it is selected.\n\n"
            "  PATH       open the folder that holds PATH (a file or a folder);\n"
            "             without it, the folder shown last\n"
            "  --help     show this help and exit\n"
            "  --version  show the version and exit\n\n"
            "Ctrl+F finds by name in the folder shown, Ctrl+Shift+F in it and every\n"
            "folder below it. Ctrl+D marks the selected file as a favourite (listed\n"
            "under \"Favoriten\" in the volume box; ~/.local/share/wavplayer/Favoriten.m3u8),\n"
            "Ctrl+Shift+D bookmarks the folder (~/.config/gtk-3.0/bookmarks).\n"
            "Keys and mouse actions: see wavplayer(1).\n");
        return 0;
    }
    // Wayland lets no program place its window or keep it on top; through XWayland both work.
    // A platform the user chose wins.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    if ((!platform || !*platform) && display && *display) setenv("QT_QPA_PLATFORM", "xcb", 1);
    return RunProgram(argc, argv);
}
