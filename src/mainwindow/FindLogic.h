// Finding a sound by name: the rule that says which names match what is typed, what a key does in
// the search line, and the state of a search. FormLogic holds one and shows its matches.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/search.h"

namespace find {

// A name as the list shows it (UTF-8 where valid, otherwise each byte as the character of the
// same code), case-folded and composed (NFC), as UTF-8.
std::string Folded(std::string_view name);

// What is typed, split at blanks into words: a name matches when it contains every word and none
// of the words that start with "-" (without their "-"), regardless of case.
class NameMatch {
  public:
    NameMatch() = default;
    explicit NameMatch(std::string_view typed);
    // Nothing to look for: no words (a lone "-" is none).
    bool Empty() const { return want_.empty() && avoid_.empty(); }
    bool Matches(std::string_view name) const { return MatchesFolded(Folded(name)); }
    bool MatchesFolded(std::string_view folded) const;
    // The longest word a name must hold, folded ("" when none must).
    std::string Lead() const;
    // The indices of the matching names among folded names written one after another, the
    // i-th ending at ends[i].
    std::vector<size_t> Filter(std::string_view all, const std::vector<uint32_t>& ends) const;

  private:
    std::vector<std::string> want_, avoid_;
};

enum class Mode { Off, Here, Below };

// A key in the search line (key code and shift state as the list reports them): Move keys move
// the list's selection and play on release, Play plays it again, Close ends the search, Open
// opens the selected match's folder, ToList hands the focus to the list; the rest edit the line.
enum class LineKey { Edit, Move, Play, Close, Open, ToList };
LineKey KeyInLine(int keyCode, int shift);

// Where a search stands.
struct State {
    Mode mode = Mode::Off;
    std::string typed;
    std::shared_ptr<search::Walk> walk;  // the search below under way, if any
    bool searching = false;
    int silent = 0;  // folders that did not answer
    // Find here: the folded names of the folder's entries, one after another, and where each ends.
    std::string folded;
    std::vector<uint32_t> ends;
    // Find here: which of the folder's entries the list shows, in order.
    std::vector<uint32_t> shown;
};

// What the line under the search says: the count, whether the walk still runs, silent folders.
std::string StatusText(const State& s, size_t shown);

}  // namespace find
