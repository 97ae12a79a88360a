#include "mainwindow/FormLogic.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/userdirs.h"
#include "startup/Globals.h"

namespace {

std::string LowerLast3(const std::string& s) {
    std::string t = s.size() >= 3 ? s.substr(s.size() - 3) : s;
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    });
    return t;
}

double ReadNumberSetting(const char* key, const std::string& defaultText) {
    return ReadNumber(ReadSetting(AppTitle, key, IniFile, defaultText));
}

}  // namespace

std::string FormLogic::GetParentDir(const std::string& path) {
    std::string s = path;
    if (!s.empty() && s.back() == '/') s.pop_back();
    size_t slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(0, slash + 1);
}

std::string FormLogic::AppendBackslash(std::string& path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

FormLogic::FormLogic() {
    dirDirs.onChange = [this] { Rebuild(); };
}

void FormLogic::Rebuild() {
    ++rebuilds_;
    if (listChanging) listChanging();
    EndFind();
    favList_ = false;
    filFiles.SetPath(dirDirs.Path());
    entries_.clear();
    entries_.reserve(1 + dirDirs.Names().size() + filFiles.Names().size());
    if (dirDirs.Path() != "/" && !dirDirs.Path().empty())
        entries_.push_back({"[..]", EntryKind::Parent});
    for (const std::string& name : dirDirs.Names())
        entries_.push_back({"[" + name + "]", EntryKind::Folder});
    for (const std::string& name : filFiles.Names()) entries_.push_back({name, EntryKind::File});
    if (listChanged) listChanged();
}

void FormLogic::OpenAndRebuild(const std::string& folder) {
    unsigned before = rebuilds_;
    dirDirs.SetPath(folder);
    if (rebuilds_ == before) Rebuild();
}

bool FormLogic::OpenDrive(const std::string& drive) { return dirDirs.SetPath(drive); }

// When the parent is gone or unreadable too (the tree was deleted under the window), the
// nearest ancestor that opens, so ".." is never a dead end. At "/" the folder stays.
void FormLogic::Back() {
    const auto start = std::chrono::steady_clock::now();
    std::string up = GetParentDir(dirDirs.Path());
    while (!up.empty() && !dirDirs.SetPath(up) && up != "/") {
        // A share that stopped answering answers no better a level up: one wait is enough.
        if (std::chrono::steady_clock::now() - start >= dirlist::ScanBound()) break;
        up = GetParentDir(up);
    }
}

void FormLogic::Root() { dirDirs.SetPath(dirlist::MountPointOf(dirDirs.Path())); }

FormLogic::DoubleClickAction FormLogic::DoubleClick(int row) {
    if (row < 0 || row >= static_cast<int>(entries_.size()))
        return DoubleClickAction::PlaySelection;
    const PathEntry& entry = entries_[static_cast<size_t>(row)];
    if (entry.kind == EntryKind::Parent) {
        Back();
    } else if (entry.kind == EntryKind::Folder) {
        std::string path = dirDirs.Path();
        dirDirs.SetPath(AppendBackslash(path) + entry.text.substr(1, entry.text.size() - 2) + "/");
    } else {
        return DoubleClickAction::PlaySelection;
    }
    return DoubleClickAction::OpenedFolder;
}

SoundCall FormLogic::Press(int16_t button, int row) {
    if (button == 2 || row < 0 || row >= static_cast<int>(entries_.size())) return {};
    // The entry's kind decides, so a file named "[intro].wav" plays like any other.
    if (entries_[static_cast<size_t>(row)].kind != EntryKind::File) return {};
    CurrentWave = WavePath(row);
    return {loop_ ? SoundCall::Loop : SoundCall::Play, CurrentWave};
}

SoundCall FormLogic::KeyUp(int16_t& keyCode, int row) {
    if (keyCode == 32 || keyCode == 27) {
        keyCode = 0;
        return StopItem();
    }
    return Press(0, row);
}

bool FormLogic::FolderKey(int16_t keyCode, int16_t shift, int row) {
    if ((keyCode == 8 && shift == 0) || (keyCode == 38 && shift == 4)) {
        Back();
        return true;
    }
    return keyCode == 13 && shift == 0 && row >= 0 && row < static_cast<int>(entries_.size()) &&
           DoubleClick(row) == DoubleClickAction::OpenedFolder;
}

SoundCall FormLogic::PlayItem(int row) const {
    return {loop_ ? SoundCall::Loop : SoundCall::Play, WavePath(row)};
}

SoundCall FormLogic::StopItem() const { return {SoundCall::Stop, AppDir + "STOP.wav"}; }

SoundCall FormLogic::ToggleLoop(int row) {
    loop_ = !loop_;
    LoopMode = loop_ ? 1 : 0;
    if (!loop_) return StopItem();
    if (row < 0) return {};
    return {SoundCall::Loop, WavePath(row)};
}

ListLook FormLogic::LookOf(bool loop) {
    return loop ? ListLook{"Brimvale WAV-Looper", 0x8C64DC, 0xFFFFFF}
                : ListLook{"Brimvale WAV-Player", 0x00FFFF, 0x000000};
}

bool FormLogic::ToggleKeepTop() { return keepTop_ = !keepTop_; }

void FormLogic::CommitOnTop() const { OnTopMode = keepTop_ ? 1 : 0; }

void FormLogic::DropItem(const std::string& path) { OpenAndRebuild(GetFilePath(path)); }

int FormLogic::DroppedRow(const std::vector<std::string>& items) const {
    if (items.empty()) return -1;
    const std::string name = GetFileName(items.back());
    if (LowerLast3(name) != "wav") return -1;
    // When the file's folder could not be opened, the list shows another folder, and a file of
    // the same name there is not the one dropped.
    if (dirlist::NormalPath(GetFilePath(items.back())) != dirDirs.Path()) return -1;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].kind == EntryKind::File && entries_[i].text == name)
            return static_cast<int>(i);
    return -1;
}

std::string FormLogic::WavePath(int row) const {
    std::string folder = dirDirs.Path();
    AppendBackslash(folder);
    if (row < 0 || row >= static_cast<int>(entries_.size())) return folder;
    const std::string& text = entries_[static_cast<size_t>(row)].text;
    if (favList_ && text[0] == '/') return text;  // a favourite, by its whole path
    return folder + text;
}

void FormLogic::Unload(float top, float left, float height, float width) const {
    StartDir = dirDirs.Path();
    StartDir = GetLongName(StartDir);
    AddBackslash(StartDir);
    WriteSettings(AppTitle,
                  {{"LastDir", StartDir},
                   {"Top", SingleText(top)},
                   {"Left", SingleText(left)},
                   {"Height", SingleText(height)},
                   {"Width", SingleText(width)},
                   {"Loop", std::to_string(LoopMode)},
                   {"OnTop", std::to_string(OnTopMode)},
                   {"Volume", std::to_string(level_)}},
                  IniFile);
}

int FormLogic::SavedLevel() { return level::Parse(ReadSetting(AppTitle, "Volume", IniFile, "")); }

int level::Louder(int db) { return std::min(0, db <= kMuted ? kLowest : db + kStep); }

int level::Quieter(int db) { return db <= kLowest ? kMuted : db - kStep; }

float level::Gain(int db) {
    return db <= kMuted ? 0.f : static_cast<float>(std::pow(10.0, db / 20.0));
}

std::string level::Text(int db) { return db <= kMuted ? "stumm" : std::to_string(db) + " dB"; }

int level::Parse(const std::string& text) {
    const double db = ReadNumber(text);
    // A hand-edited file may hold anything; a value the menu could not have set means full.
    if (!(db <= 0 && db >= kMuted)) return 0;
    return static_cast<int>(std::lround(db / kStep)) * kStep;
}

SavedState FormLogic::ReadSavedState(float height, float width) {
    SavedState s;
    // Without a saved size the window keeps its designed client area: its frame is not known
    // yet, so "the current size" would otherwise be taken for the outer size and shrink it.
    const std::string h = SingleText(height), w = SingleText(width);
    if (std::string saved = ReadSetting(AppTitle, "Height", IniFile, h); saved != h)
        s.height = static_cast<float>(ReadNumber(saved));
    if (std::string saved = ReadSetting(AppTitle, "Width", IniFile, w); saved != w)
        s.width = static_cast<float>(ReadNumber(saved));
    if (ReadNumberSetting("Top", "-1") != -1.0) {
        s.top = static_cast<float>(ReadNumberSetting("Top", "0"));
        s.left = static_cast<float>(ReadNumberSetting("Left", "0"));
    }
    if (auto loop = RoundToInt16(ReadNumberSetting("Loop", "0"))) {
        LoopMode = *loop;
        s.loop = LoopMode == 1;
    }
    if (auto onTop = RoundToInt16(ReadNumberSetting("OnTop", "0"))) {
        OnTopMode = *onTop;
        s.onTop = OnTopMode == 1;
    }
    return s;
}

std::string FormLogic::StartFolder(const std::string& commandLine) {
    if (!commandLine.empty()) {
        CmdLinePath = GetLongName(commandLine);
        return GetFilePath(CmdLinePath);
    }
    std::string fallback =
        IniFile == AppDir + ExeName + ".ini" ? AppDir : userdirs::FirstStartDir(AppDir);
    std::string saved = ReadSetting(AppTitle, "LastDir", IniFile, fallback);
    return DirExists(saved) == -1 ? saved : fallback;
}
