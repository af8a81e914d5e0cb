#include "kits/kit_map.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace qx375::kits {
namespace {

// A name as its words: lower case, split at anything but letters and digits
// and where letters meet digits ("Tom02" is "tom" "2"), numbers without
// their leading zeros, and "hi hat" joined into the "hihat" others write.
std::vector<std::string> words_of(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    const auto end_word = [&] {
        if (word.empty()) {
            return;
        }
        if (word.front() >= '0' && word.front() <= '9') {
            word.erase(0, std::min(word.find_first_not_of('0'), word.size() - 1));
        }
        words.push_back(std::move(word));
        word.clear();
    };
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool digit = c >= '0' && c <= '9';
        // Bytes of UTF-8 sequences belong to the letters of a word.
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || byte >= 0x80;
        if (!digit && !letter) {
            end_word();
            continue;
        }
        if (!word.empty() && (word.back() >= '0' && word.back() <= '9') != digit) {
            end_word();
        }
        word += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    end_word();
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "hi" && words[i + 1] == "hat") {
            words[i] = "hihat";
            words.erase(words.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
    }
    return words;
}

std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        out += word;
    }
    return out;
}

// How well a drum's name fits a sound, the better first when sorted.
struct Fit {
    // Every word of one of the sound's words found whole in the name, in
    // any order, or only as letters within it ("Kickdrum").
    bool whole;
    // Where that word is in the sound's list.
    int rank;
    // Its letters: "ride bell" tells more than "ride".
    std::size_t letters;
    // Words of the name it leaves unexplained.
    std::size_t rest;
    int sound;
    int drum;

    bool operator<(const Fit& other) const {
        return std::tuple(!whole, rank, other.letters, rest, sound, drum) <
               std::tuple(!other.whole, other.rank, letters, other.rest, other.sound, other.drum);
    }
};

constexpr int kFirstCountedNote = 36;

// Short words ("sd", "bd") are too common within others to count there.
constexpr std::size_t kMinLettersWithin = 4;

void add_fits(int sound, int drum, const std::vector<std::string>& name, std::vector<Fit>& fits) {
    const std::string name_letters = joined(name);
    const auto& words = kSoundSlots[static_cast<std::size_t>(sound)].words;
    for (std::size_t rank = 0; rank < words.size(); ++rank) {
        if (words[rank].empty()) {
            continue;
        }
        const std::vector<std::string> wanted = words_of(words[rank]);
        const std::string letters = joined(wanted);
        const bool whole = std::ranges::all_of(wanted, [&name](const std::string& word) {
            return std::ranges::find(name, word) != name.end();
        });
        if (whole) {
            fits.push_back({true, static_cast<int>(rank), letters.size(),
                            name.size() - wanted.size(), sound, drum});
        } else if (letters.size() >= kMinLettersWithin &&
                   name_letters.find(letters) != std::string::npos) {
            fits.push_back(
                {false, static_cast<int>(rank), letters.size(), name.size() - 1, sound, drum});
        }
    }
}

// Kit editors number their drums' notes from 36 on, in the kit's order,
// unless the kit's maker chose them: notes that do no more than count the
// drums say nothing of what they are.
bool only_counted(const Kit& kit) {
    if (kit.instruments.size() < 3) {
        return false;
    }
    for (std::size_t drum = 0; drum < kit.instruments.size(); ++drum) {
        if (kit.instruments[drum].note != kFirstCountedNote + static_cast<int>(drum)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::array<int, kSounds> map_kit(const Kit& kit) {
    std::array<int, kSounds> chosen;
    chosen.fill(-1);
    const int drums = static_cast<int>(kit.instruments.size());
    std::vector<bool> used(kit.instruments.size(), false);
    const bool by_notes = !only_counted(kit);

    for (int sound = 0; sound < kSounds && by_notes; ++sound) {
        for (const int note : kSoundSlots[static_cast<std::size_t>(sound)].notes) {
            for (int drum = 0; drum < drums && note != 0 && chosen[sound] < 0; ++drum) {
                if (!used[drum] && kit.instruments[drum].note == note) {
                    chosen[sound] = drum;
                    used[drum] = true;
                }
            }
        }
    }

    std::vector<Fit> fits;
    for (int drum = 0; drum < drums; ++drum) {
        if (used[drum]) {
            continue;
        }
        const std::vector<std::string> name = words_of(kit.instruments[drum].name);
        for (int sound = 0; sound < kSounds; ++sound) {
            if (chosen[sound] < 0) {
                add_fits(sound, drum, name, fits);
            }
        }
    }
    std::sort(fits.begin(), fits.end());
    for (const Fit& fit : fits) {
        if (chosen[fit.sound] < 0 && !used[fit.drum]) {
            chosen[fit.sound] = fit.drum;
            used[fit.drum] = true;
        }
    }
    return chosen;
}

} // namespace qx375::kits
