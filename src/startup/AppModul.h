// Start-up: the program's entry procedure and the settings file's name.
#pragma once
#include <string>

class frmWAV;

// Sets AppTitle and IniFile; needs AppDir and ExeName.
void InitSettingsFile();
// Runs the start-up sequence for the command-line text (the arguments joined by blanks):
// chooses the start folder, creates and fills the window, restores the saved state, shows it.
// exePath stands in for the running executable when given (tests start the program this way).
void Main(const std::string& commandLine, const std::string& exePath = "");
// Gives the window back its saved size, position, Loop and on-top modes (window still hidden).
void RestoreSavedState(frmWAV& form);
// The main window Main created (null before Main and after the window is gone).
frmWAV* MainForm();
// Destroys the main window (at program end and between tests).
void CloseMainForm();
// The executable's entry: application object, Main, event loop.
int RunProgram(int argc, char** argv);
