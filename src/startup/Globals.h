// The program-wide globals. Text values start empty, the two modes start at 0.
#pragma once
#include <cstdint>
#include <string>

extern std::string AppDir;       // folder of the executable, always ending in "/"
extern std::string ExeName;      // executable name without folder and extension
extern std::string AppTitle;     // "Brimvale WAV-Player/Looper"
extern std::string IniFile;      // full path of the settings file
extern std::string CmdLinePath;  // the command-line argument in its long-name form
extern std::string StartDir;     // folder shown first; at shutdown the folder shown last
extern int16_t LoopMode;         // 1 while Loop mode is on (or the value read at start)
extern int16_t OnTopMode;        // 1 while the window stays on top
extern std::string CurrentWave;  // the wave the list started last
