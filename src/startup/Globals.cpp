#include "startup/Globals.h"

std::string AppDir;
std::string ExeName;
std::string AppTitle;
std::string IniFile;
std::string CmdLinePath;
std::string StartDir;
int16_t LoopMode = 0;
int16_t OnTopMode = 0;
std::string CurrentWave;
