#include "kits/kit.h"

#include "app/tmain.h"
#include "dialogs/kit_dialog.h"
#include "kits/kit_map.h"

#include <QPushButton>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace qx375 {
namespace {

namespace fs = std::filesystem;

const FileDialog kKitDialog{.filter = "drumkit.xml *.h2drumkit *.sfz",
                            .patterns = "drumkit.xml *.h2drumkit *.sfz *.tar.gz *.tgz *.tar",
                            .more_filters = {"* (*)"}};

// Where the drum kits of a distribution live, offered first.
constexpr const char* kSystemKits = "/usr/share/hydrogen/data/drumkits";

// A folder the kit reading unpacks an archive into, removed with it unless
// the kit is kept.
class Unpacking {
public:
    explicit Unpacking(const fs::path& home) {
        std::error_code error;
        fs::create_directories(home, error);
        std::string pattern = (home / ".unpacking-XXXXXX").string();
        if (!error && ::mkdtemp(pattern.data()) != nullptr) {
            folder_ = pattern;
        }
    }
    ~Unpacking() {
        std::error_code error;
        if (!folder_.empty()) {
            fs::remove_all(folder_, error);
        }
    }
    Unpacking(const Unpacking&) = delete;
    Unpacking& operator=(const Unpacking&) = delete;

    const fs::path& folder() const { return folder_; }
    bool holds_files() const {
        std::error_code error;
        return !folder_.empty() && !fs::is_empty(folder_, error);
    }
    // Keeps what was unpacked as `kept`, a new folder beside it; the samples
    // named under the old one are renamed with it.
    bool keep_as(const fs::path& kept, kits::Kit& kit) {
        std::error_code error;
        const fs::path from = fs::canonical(folder_, error);
        fs::rename(folder_, kept, error);
        if (error) {
            return false;
        }
        folder_.clear();
        kit.folder = kept / fs::relative(kit.folder, from);
        for (kits::KitInstrument& drum : kit.instruments) {
            drum.sample = kept / fs::relative(drum.sample, from);
        }
        return true;
    }

private:
    fs::path folder_;
};

// A folder name from the kit's own, of letters, digits and a few marks only,
// which no other kit of the program's holds yet.
fs::path new_kit_folder(const fs::path& home, const std::string& kit_name) {
    std::string name;
    for (const char c : kit_name) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = std::isalnum(byte) || c == ' ' || c == '-' || c == '_' || byte >= 0x80;
        name += plain ? c : '_';
    }
    if (name.find_first_not_of(" _") == std::string::npos) {
        name = "kit";
    }
    name.resize(std::min<std::size_t>(name.size(), 64));
    fs::path folder = home / name;
    std::error_code error;
    for (int n = 2; fs::exists(folder, error); ++n) {
        folder = home / (name + " " + std::to_string(n));
    }
    return folder;
}

} // namespace

// Why a kit was refused, as the user reads it.
std::string Tmain::kit_reason(kits::KitFault fault, const std::string& detail) const {
    switch (fault) {
    case kits::KitFault::none:
        break;
    case kits::KitFault::unreadable:
        return texts.with(Msg::kit_unreadable, detail);
    case kits::KitFault::not_a_kit:
        return texts.with(Msg::kit_not_a_kit, detail);
    case kits::KitFault::bad_xml:
        return texts.with(Msg::kit_bad_xml, detail);
    case kits::KitFault::unsafe_member:
        return texts.with(Msg::kit_unsafe, detail);
    case kits::KitFault::too_large:
        return texts.with(Msg::kit_too_large, detail);
    case kits::KitFault::too_many_entries:
        return texts.with(Msg::kit_too_many_files, detail);
    case kits::KitFault::too_many_instruments:
        return texts.with(Msg::kit_too_many_drums, detail);
    case kits::KitFault::sample_outside_kit:
        return texts.with(Msg::kit_outside, detail);
    case kits::KitFault::no_samples:
        return texts[Msg::kit_no_samples];
    }
    return {};
}

void Tmain::OpenKit1Click() {
    FileDialog dialog = kKitDialog;
    dialog.title = texts[Msg::kit_open_title];
    std::error_code error;
    dialog.folder = !kit_folder_.empty()                   ? kit_folder_
                    : fs::is_directory(kSystemKits, error) ? kSystemKits
                                                           : program_directory;
    const std::optional<std::string> chosen = prompts_.open_file(dialog);
    if (chosen) {
        kit_folder_ = fs::path(*chosen).parent_path().string();
        open_kit(*chosen);
    }
}

// A kit read, its drums shown against the sounds, and those the user lets
// it give taken as one change. An archive's kit is kept in the program
// directory's "kits" folder, since the song will name its samples there.
void Tmain::open_kit(const std::string& path) {
    const fs::path home = fs::path(program_directory) / "kits";
    Unpacking unpacked(home);
    kits::KitReading reading = kits::read_kit(path, unpacked.folder());
    if (!reading) {
        prompts_.show_message(texts[Msg::kit_failed] + "\n" + path + ": " +
                              kit_reason(reading.fault, reading.detail));
        return;
    }
    kits::Kit& kit = reading.kit;
    KitDialogTexts shown{.title = QString::fromStdString(texts.with(Msg::kit_title, kit.name)),
                         .keep = QString::fromStdString(texts[Msg::kit_keep]),
                         .apply = QString::fromStdString(texts[Msg::kit_apply]),
                         .cancel = QString::fromStdString(texts[Msg::kit_cancel]),
                         .sounds = {}};
    for (int k = 0; k < kSounds; ++k) {
        shown.sounds[static_cast<std::size_t>(k)] =
            sample_buttons[static_cast<std::size_t>(k)]->text().trimmed() + "  (" +
            QString::fromStdString(fs::path(song_.get_sample_file(k)).filename().string()) + ")";
    }
    QStringList drums;
    for (const kits::KitInstrument& drum : kit.instruments) {
        drums.append(QString::fromStdString(drum.name));
    }
    KitDialog dialog(this, shown, drums, kits::map_kit(kit));
    if (prompts_.exec(dialog) != QDialog::Accepted) {
        return;
    }
    const std::array<int, kSounds> choice = dialog.choice();
    if (unpacked.holds_files() && !unpacked.keep_as(new_kit_folder(home, kit.name), kit)) {
        prompts_.show_message(texts[Msg::kit_failed] + "\n" + path + ": " +
                              texts.with(Msg::kit_unreadable, home.string()));
        return;
    }
    std::vector<sample_reading> readings;
    for (int k = 0; k < kSounds; ++k) {
        if (const int drum = choice[static_cast<std::size_t>(k)]; drum >= 0) {
            readings.emplace_back(k, kit.instruments[drum].sample.string());
        }
    }
    song_.read_samples(readings);
    take_kit_samples(std::move(readings));
}

// The samples read as one change, and one message for those that were not.
void Tmain::take_kit_samples(std::vector<sample_reading> readings) {
    std::string failed;
    std::vector<sample_reading> taken;
    for (sample_reading& r : readings) {
        if (r.status) {
            taken.push_back(std::move(r));
            continue;
        }
        failed += "\n" + std::to_string(r.sound + 1) + " : " + r.name + ": " +
                  (r.refusal.empty() ? texts.reason(r.status) : r.refusal);
    }
    if (!taken.empty()) {
        record(std::make_unique<KitCommand>(edit(), place(), std::move(taken)));
        song_.mark_used();
        modified = true;
    }
    if (!failed.empty()) {
        prompts_.show_message(texts[Msg::kit_samples_failed] + failed);
    }
}

} // namespace qx375
