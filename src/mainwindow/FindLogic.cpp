#include "mainwindow/FindLogic.h"

#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <unordered_set>

#include "mainwindow/FormLogic.h"
#include "startup/Globals.h"

namespace find {

std::string Folded(std::string_view name) {
    std::string out;
    if (std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; })) {
        out.reserve(name.size());
        for (char c : name) out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
        return out;
    }
    const QByteArrayView bytes(name.data(), static_cast<qsizetype>(name.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) text = QString::fromLatin1(bytes);
    // Composed on both sides, so that an accent stored apart from its letter (as some systems
    // write names) matches the same letter typed in one.
    const QByteArray folded = text.toCaseFolded().normalized(QString::NormalizationForm_C).toUtf8();
    out.assign(folded.constData(), static_cast<size_t>(folded.size()));
    return out;
}

NameMatch::NameMatch(std::string_view typed) {
    const std::string folded = Folded(typed);
    std::string_view rest(folded);
    while (!rest.empty()) {
        const size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const size_t end = std::min(rest.find(' '), rest.size());
        std::string_view word = rest.substr(0, end);
        rest.remove_prefix(end);
        const bool avoid = word[0] == '-';
        if (avoid) word.remove_prefix(1);
        if (!word.empty()) (avoid ? avoid_ : want_).emplace_back(word);
    }
}

bool NameMatch::MatchesFolded(std::string_view folded) const {
    for (const std::string& w : want_)
        if (folded.find(w) == std::string_view::npos) return false;
    for (const std::string& w : avoid_)
        if (folded.find(w) != std::string_view::npos) return false;
    return true;
}

std::string NameMatch::Lead() const {
    if (want_.empty()) return {};
    return *std::max_element(want_.begin(), want_.end(),
                             [](auto& a, auto& b) { return a.size() < b.size(); });
}

std::vector<size_t> NameMatch::Filter(std::string_view all,
                                      const std::vector<uint32_t>& ends) const {
    std::vector<size_t> out;
    auto matches = [&](size_t i) {
        const uint32_t start = i ? ends[i - 1] : 0;
        return MatchesFolded(all.substr(start, ends[i] - start));
    };
    if (want_.empty()) {
        for (size_t i = 0; i < ends.size(); ++i)
            if (matches(i)) out.push_back(i);
        return out;
    }
    // Only the names the longest word occurs in are looked at: one pass over the bytes.
    const std::string lead = Lead();
    size_t i = 0;
    for (size_t at = all.find(lead); at != std::string_view::npos && i < ends.size();) {
        while (i < ends.size() && ends[i] <= at) ++i;
        if (i == ends.size()) break;
        if (at + lead.size() > ends[i]) {  // across two names
            at = all.find(lead, at + 1);
            continue;
        }
        if (matches(i)) out.push_back(i);
        at = all.find(lead, ends[i]);
        ++i;
    }
    return out;
}

LineKey KeyInLine(int keyCode, int shift) {
    switch (keyCode) {
        case 33:  // Page Up
        case 34:  // Page Down
        case 38:  // Up
        case 40:  // Down
            return LineKey::Move;
        case 13:
            return shift & 2 ? LineKey::Open : LineKey::Play;
        case 27:
            return LineKey::Close;
        case 9:
            return LineKey::ToList;
        default:
            return LineKey::Edit;
    }
}

std::string StatusText(const State& s, size_t shown) {
    // Short: the line is as narrow as the list.
    std::string text = std::to_string(shown) + (s.searching ? ", sucht \xe2\x80\xa6" : " gefunden");
    if (s.silent == 1) text += ", 1 Ordner fehlt";
    if (s.silent > 1) text += ", " + std::to_string(s.silent) + " Ordner fehlen";
    return text;
}

}  // namespace find

void FormLogic::OpenFind(find::Mode mode) {
    if (find_.mode == mode) return;
    const bool wasOff = find_.mode == find::Mode::Off;
    if (wasOff) {
        folder_ = entries_;
        find_.shown.resize(folder_.size());
        for (size_t i = 0; i < folder_.size(); ++i) find_.shown[i] = static_cast<uint32_t>(i);
    }
    find_.mode = mode;
    if (mode == find::Mode::Here && find_.ends.empty()) {
        for (const PathEntry& e : folder_) {
            std::string_view name(e.text);
            if (e.kind == EntryKind::Folder) name = name.substr(1, name.size() - 2);
            if (e.kind != EntryKind::Parent) find_.folded += find::Folded(name);
            find_.ends.push_back(static_cast<uint32_t>(find_.folded.size()));
        }
    }
    TypeFind(find_.typed);
}

void FormLogic::TypeFind(const std::string& typed) {
    if (find_.mode == find::Mode::Off) return;
    find_.typed = typed;
    find_.walk.reset();  // the walk under way stops at once
    find_.searching = false;
    find_.silent = 0;
    const find::NameMatch match(typed);
    if (listChanging) listChanging();
    if (find_.mode == find::Mode::Here) {
        std::vector<size_t> pick;
        if (match.Empty()) {
            pick.resize(folder_.size());
            for (size_t i = 0; i < pick.size(); ++i) pick[i] = i;
        } else {
            pick = match.Filter(find_.folded, find_.ends);
            if (!pick.empty() && folder_[pick[0]].kind == EntryKind::Parent)
                pick.erase(pick.begin());
        }
        // Entries shown already move over; only the ones coming back are copied.
        std::vector<PathEntry> next;
        next.reserve(pick.size());
        std::vector<uint32_t>& shown = find_.shown;
        size_t k = 0;
        for (size_t i : pick) {
            while (k < shown.size() && shown[k] < i) ++k;
            if (k < shown.size() && shown[k] == i)
                next.push_back(std::move(entries_[k]));
            else
                next.push_back(folder_[i]);
        }
        entries_ = std::move(next);
        shown.assign(pick.begin(), pick.end());
    } else {
        entries_.clear();
        find_.shown.clear();
    }
    if (find_.mode == find::Mode::Below && !match.Empty()) {
        find_.walk = search::Walk::Start(
            dirDirs.Path(), [match](std::string_view name) { return match.Matches(name); },
            foundReady, 4, match.Lead());
        find_.searching = true;
    }
    if (listChanged) listChanged();
}

int FormLogic::TakeFound(int row) {
    if (!find_.walk) return row;
    search::Walk::Progress p = find_.walk->Take();
    find_.searching = !p.done;
    find_.silent = p.silent;
    if (p.found.empty() && p.gone.empty()) return row;
    bool selected = row >= 0 && row < static_cast<int>(entries_.size());
    if (!p.gone.empty()) {
        // Files the index knew that are gone leave the list; the selection stays on its file.
        const std::unordered_set<std::string> gone(p.gone.begin(), p.gone.end());
        std::vector<PathEntry> kept;
        kept.reserve(entries_.size());
        int at = -1;
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (static_cast<int>(i) == row) at = static_cast<int>(kept.size());
            if (entries_[i].kind == EntryKind::File && gone.count(entries_[i].text)) {
                if (static_cast<int>(i) == row) at = -1;
                continue;
            }
            kept.push_back(std::move(entries_[i]));
        }
        if (listChanging) listChanging();
        entries_ = std::move(kept);
        if (listChanged) listChanged();
        row = at;
        selected = row >= 0;
    }
    if (p.found.empty()) return selected ? row : -1;
    if (!std::is_sorted(p.found.begin(), p.found.end(), dirlist::NaturalLess))
        std::sort(p.found.begin(), p.found.end(), dirlist::NaturalLess);
    if (selected) {
        const std::string& text = entries_[static_cast<size_t>(row)].text;
        row += static_cast<int>(
            std::lower_bound(p.found.begin(), p.found.end(), text, dirlist::NaturalLess) -
            p.found.begin());
    }
    std::vector<PathEntry> merged;
    merged.reserve(entries_.size() + p.found.size());
    auto a = entries_.begin();
    auto b = p.found.begin();
    while (a != entries_.end() || b != p.found.end()) {
        if (b == p.found.end() || (a != entries_.end() && !dirlist::NaturalLess(*b, a->text)))
            merged.push_back(std::move(*a++));
        else
            merged.push_back({std::move(*b++), EntryKind::File});
    }
    if (listChanging) listChanging();
    entries_ = std::move(merged);
    if (listChanged) listChanged();
    return selected ? row : -1;
}

int FormLogic::CloseFind() {
    if (find_.mode == find::Mode::Off) return -1;
    if (listChanging) listChanging();
    entries_ = std::move(folder_);
    EndFind();
    if (listChanged) listChanged();
    std::string folder = dirDirs.Path();
    if (GetFilePath(CurrentWave) != AppendBackslash(folder)) return -1;
    const std::string name = GetFileName(CurrentWave);
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].kind == EntryKind::File && entries_[i].text == name)
            return static_cast<int>(i);
    return -1;
}

int FormLogic::OpenFound(int row) {
    if (find_.mode == find::Mode::Off || row < 0 || row >= static_cast<int>(entries_.size()))
        return -1;
    const PathEntry entry = entries_[static_cast<size_t>(row)];
    std::string folder = dirDirs.Path();
    AppendBackslash(folder);
    if (entry.kind == EntryKind::Folder) {
        CloseFind();
        dirDirs.SetPath(folder + entry.text.substr(1, entry.text.size() - 2) + "/");
        return -1;
    }
    const size_t slash = entry.text.rfind('/');
    const std::string name = entry.text.substr(slash + 1);  // npos + 1 is 0
    if (slash == std::string::npos) {                       // a match in this folder
        CloseFind();
    } else {
        EndFind();
        const std::string target = dirlist::NormalPath(folder + entry.text.substr(0, slash));
        OpenAndRebuild(target);
        if (dirDirs.Path() != target) return -1;  // it did not open: another folder shows
    }
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].kind == EntryKind::File && entries_[i].text == name)
            return static_cast<int>(i);
    return -1;
}

std::string FormLogic::FindStatus() const {
    return find_.mode == find::Mode::Off ? std::string() : find::StatusText(find_, entries_.size());
}

void FormLogic::EndFind() {
    find_ = find::State();
    folder_.clear();
}
