// qx375-render: renders a song into an audio file as the drum machine plays
// it, faster than real time. It runs the program's own main window, headless:
// the same ticks, the same interval rules, the same mix. Only the clock is
// the render's own, and the mixer is pulled block by block instead of by a
// sound card. Each sound can go to a file of its own as well, and the hits to
// a Standard MIDI File, from the same pass.
//   qx375-render [options] SONG.drm OUT
//   qx375-render [options] [--stems DIR] [--midi FILE.mid] SONG.drm [OUT]
#include "app/offline_pass.h"
#include "kits/kit.h"
#include "kits/kit_map.h"
#include "platform/audio_file_writer.h"
#include "tools/render/block_writer.h"
#include "tools/render/targets.h"
#include "util/error.h"
#include "util/file_io.h"
#include "util/ini_file.h"
#include "util/text.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

using namespace qx375;
using namespace qx375::render_files;

namespace {

constexpr const char* kUsage =
    "usage: qx375-render [options] SONG.drm OUT\n"
    "       qx375-render [options] [--stems DIR] [--midi FILE.mid] SONG.drm [OUT]\n"
    "  OUT's extension gives its format: .flac, .ogg or .oga; anything else is WAV\n"
    "  --format wav|flac|ogg  the format whatever the extension\n"
    "  --bits 16|24|32f   sample format (default 16; FLAC 16 or 24; none for Ogg)\n"
    "  --stems DIR        each sound that plays in a file of its own in DIR, named\n"
    "                     after its row and sample (\"03 SNR_C05st.wav\")\n"
    "  --midi FILE.mid    the hits as a Standard MIDI File, on the notes of qx375.ini\n"
    "  --kit PATH         give the sounds the drums of a kit first (a kit folder,\n"
    "                     drumkit.xml, .h2drumkit archive or .sfz file), as the\n"
    "                     window's kit dialog suggests them\n"
    "  --speed P          tempo slider position, 40 (fastest) to 400\n"
    "  --pattern N        render pattern N (0..254) instead of the song\n"
    "  --repeat K         with --pattern: play it K times (1..10000, default 1)\n"
    "  --tail, --no-tail  let the last sounds ring out (default) or end with the last step\n"
    "  --rate HZ          sample rate, 8000..192000 (default 44100)\n"
    "  --max-measures N   render at most N measures (1..255, default 255)\n";

enum Exit {
    ok = 0,
    usage = 1,
    unreadable_song = 2,
    unwritable_output = 3,
    endless = 4,
    unreadable_kit = 5
};

struct Options {
    std::string song;
    std::string out;   // empty: no mix is written
    std::string stems; // empty: no stems
    std::string midi;  // empty: no MIDI file
    std::string kit;   // empty: the song's own samples
    std::optional<FileType> type;
    std::optional<SampleBits> bits;
    ExportFormat format = ExportFormat::wav16;
    std::optional<int> speed;
    std::optional<int> pattern;
    int repeat = 1;
    bool tail = true;
    int rate = 44100;
    std::optional<int> max_measures;
};

int fail(Exit code, const std::string& why) {
    std::fprintf(stderr, "qx375-render: %s\n", why.c_str());
    return code;
}

std::optional<int> number(const char* text, int low, int high) {
    const std::optional<std::int32_t> n = parse_integer(text);
    return n && *n >= low && *n <= high ? n : std::nullopt;
}

// Reads the command line; a message for what is wrong with it.
std::optional<std::string> parse(int argc, char** argv, Options& o) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](int low, int high) -> std::optional<int> {
            return i + 1 < argc ? number(argv[++i], low, high) : std::nullopt;
        };
        std::optional<int> n;
        if (arg == "--speed") {
            if (!(o.speed = value(40, 400))) {
                return "--speed takes a position from 40 to 400";
            }
        } else if (arg == "--pattern") {
            if (!(o.pattern = value(0, 254))) {
                return "--pattern takes a pattern number from 0 to 254";
            }
        } else if (arg == "--repeat") {
            if (!(n = value(1, 10000))) {
                return "--repeat takes a count from 1 to 10000";
            }
            o.repeat = *n;
        } else if (arg == "--tail" || arg == "--no-tail") {
            o.tail = arg == "--tail";
        } else if (arg == "--bits") {
            const std::string bits = i + 1 < argc ? argv[++i] : "";
            if (bits == "16" || bits == "24" || bits == "32f") {
                o.bits = bits == "16"   ? SampleBits::pcm16
                         : bits == "24" ? SampleBits::pcm24
                                        : SampleBits::float32;
            } else {
                return "--bits takes 16, 24 or 32f";
            }
        } else if (arg == "--format") {
            const std::string type = i + 1 < argc ? argv[++i] : "";
            if (type == "wav" || type == "flac" || type == "ogg") {
                o.type = type == "wav"    ? FileType::wav
                         : type == "flac" ? FileType::flac
                                          : FileType::ogg;
            } else {
                return "--format takes wav, flac or ogg";
            }
        } else if (arg == "--stems" || arg == "--midi") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                return arg + " takes a " + (arg == "--stems" ? "folder" : "file name");
            }
            (arg == "--stems" ? o.stems : o.midi) = argv[++i];
        } else if (arg == "--rate") {
            if (!(n = value(8000, 192000))) {
                return "--rate takes a sample rate from 8000 to 192000";
            }
            o.rate = *n;
        } else if (arg == "--kit") {
            if (i + 1 >= argc) {
                return "--kit takes a kit folder, drumkit.xml, archive or SFZ file";
            }
            o.kit = argv[++i];
        } else if (arg == "--max-measures") {
            if (!(o.max_measures = value(1, 255))) {
                return "--max-measures takes a count from 1 to 255";
            }
        } else if (arg.starts_with("--")) {
            return "unknown option " + arg;
        } else {
            files.push_back(arg);
        }
    }
    const bool more = !o.stems.empty() || !o.midi.empty();
    if (files.size() != 2 && !(more && files.size() == 1)) {
        return more ? "a song file is needed, and at most one output file"
                    : "a song file and an output file are needed";
    }
    o.song = files[0];
    o.out = files.size() == 2 ? files[1] : "";
    const FileType type = o.type.value_or(file_type_of(o.out).value_or(FileType::wav));
    const std::optional<ExportFormat> format = export_format(type, o.bits);
    if (!format) {
        return type == FileType::flac ? "FLAC takes --bits 16 or 24"
                                      : "Ogg Vorbis is compressed: it takes no --bits";
    }
    o.format = *format;
    return std::nullopt;
}

// The sounds with a step in a pattern the render plays: the only ones it can
// sound.
std::vector<int> sounds_played(const matrice& song, const Options& o) {
    std::vector<int> patterns;
    if (o.pattern) {
        patterns.push_back(*o.pattern);
    } else {
        const int passes = offline_length(song, o.pattern, o.repeat, o.max_measures).passes;
        for (int measure = 1; measure <= passes; ++measure) {
            patterns.push_back(song.get_song_entry(measure));
        }
    }
    std::vector<int> sounds;
    for (int k = 0; k < kSounds; ++k) {
        const auto on = [k](const pattern_record& p) {
            return std::find(p.steps[k].begin(), p.steps[k].end(), 1) != p.steps[k].end();
        };
        if (std::any_of(patterns.begin(), patterns.end(),
                        [&](int pattern) { return on(song.pattern(pattern)); })) {
            sounds.push_back(k);
        }
    }
    return sounds;
}

// The song, and the samples of the sounds it plays (`played`), looked up in
// its own folder first, then as the program looks them up from the current
// directory. The sounds that stay silent are named. The samples of the
// sounds that do not play are not read: they would not be heard.
FileStatus load(OfflineMachine& m, const Options& o, std::vector<int>& played) {
    if (const FileStatus loaded = m.song.load_drm(o.song, matrice::Samples::names_only); !loaded) {
        return loaded;
    }
    played = sounds_played(m.song, o);
    const std::vector<int> named = m.song.unloaded_sounds();
    const auto plays = [&](int k) {
        return std::find(played.begin(), played.end(), k) != played.end();
    };
    const std::filesystem::path here = std::filesystem::current_path();
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::absolute(o.song).parent_path(), ec);
    for (const int k : named) {
        if (plays(k)) {
            try {
                m.song.set_sample_file(k, m.song.get_sample_file(k));
            } catch (const Error&) {
            }
        }
    }
    std::filesystem::current_path(here, ec);
    for (const int k : played) {
        // A start-up sample, or a file of the program directory, as the
        // program finds them; a refusal costs that sound only.
        const std::string& name = m.song.get_sample_file(k);
        try {
            m.sound.load_deferred_startup_sample(k);
            if (!m.sound.channel(k).loaded && !name.empty()) {
                m.song.set_sample_file(k, name);
            }
        } catch (const std::exception&) {
        }
        if (!m.sound.channel(k).loaded && !name.empty()) {
            std::fprintf(stderr, "qx375-render: sound %d, %s, cannot be read: it stays silent\n",
                         k + 1, name.c_str());
        }
    }
    m.console.messages.clear();
    return {};
}

// The kit's drums given to the sounds its notes and names suggest, as the
// window's kit dialog offers them; a sound whose drum does not play keeps its
// sample and is named. Why the kit was refused, or nothing.
std::string apply_kit(OfflineMachine& m, const std::string& path, const std::string& scratch,
                      const std::vector<int>& played) {
    const kits::KitReading reading = kits::read_kit(path, scratch);
    if (!reading) {
        return m.window.kit_reason(reading.fault, reading.detail);
    }
    const std::array<int, kSounds> mapped = kits::map_kit(reading.kit);
    std::vector<sample_reading> readings;
    for (const int k : played) {
        if (const int drum = mapped[static_cast<std::size_t>(k)]; drum >= 0) {
            readings.emplace_back(k, reading.kit.instruments[drum].sample.string());
        }
    }
    m.song.read_samples(readings);
    for (sample_reading& r : readings) {
        if (r.status) {
            m.song.swap_sample(r.sound, r.read);
        } else {
            std::fprintf(stderr,
                         "qx375-render: sound %d, %s, cannot be read: it keeps its sample\n",
                         r.sound + 1, r.name.c_str());
        }
    }
    return {};
}

void progress(int done, int total) {
    if (::isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "\rqx375-render: %3d %% (%d of %d %s)", 100 * done / total, done,
                     total, total == 1 ? "pass" : "passes");
    }
}

// Plays the song through the window and writes what the mixer makes of it,
// from the first step to the end of the last (and its ring-out), into the
// targets; the steps and the hits go to `play.performance` when there is
// one. 0, or the error number of the first file that failed, named in
// `failed`.
int render(OfflineMachine& m, const Options& o, const OfflinePlay& play,
           std::vector<Target>& targets, std::string& failed) {
    const std::uint32_t rate = m.output.rate();
    for (Target& target : targets) {
        if (target.sound < 0) {
            target.writer = std::make_unique<AudioFileWriter>(target.fd, rate, o.format);
        }
    }
    const std::vector<float> silence(2 * OfflineMachine::kBlock);
    std::uint64_t written = 0;
    BlockWriter writer(
        [&](const Block& part) { return write_block(targets, part, silence, rate, o.format); });
    play_offline(m, play, [&](const OfflineBlock& block) {
        const Block part{block.mix, block.stems, block.sounding, block.from, block.frames, written};
        written += block.frames;
        return writer.put(part);
    });
    // A write that failed is the file's own error, which closing it gives.
    writer.finish();
    if (::isatty(STDERR_FILENO)) {
        std::fputc('\n', stderr);
    }
    int error = 0;
    for (Target& target : targets) {
        target.result = target.writer ? target.writer->close() : kNeverSounded;
        if (error == 0 && target.result != 0 && target.result != kNeverSounded) {
            error = target.result;
            failed = target.path;
        }
    }
    return error;
}

// The notes the program sends its sounds out as: its settings' map, read as
// it reads it at start-up, over the General MIDI drums.
midi::NoteMap note_map(const IniFile& settings) {
    midi::NoteMap map = midi::NoteMap::general_midi();
    for (int k = 0; k < midi::kSounds; ++k) {
        map.set_notes_text(k,
                           settings.read_string("midi", midi::NoteMap::key(k), map.notes_text(k)));
    }
    return map;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return ok;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("qx375-render 0.97");
            return ok;
        }
    }
    if (const std::optional<std::string> wrong = parse(argc, argv, o)) {
        std::fprintf(stderr, "qx375-render: %s\n%s", wrong->c_str(), kUsage);
        return usage;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int qt_argc = 1;
    QApplication app(qt_argc, argv);
    // Where a kit archive is unpacked, for as long as the render reads it.
    QTemporaryDir kit_scratch;

    // The tempo and the notes of the program directory's settings, as the
    // program starts with them.
    const IniFile settings("qx375.ini");
    const int speed = o.speed.value_or(settings.read_int("setup", "Speed", 160));
    const midi::NoteMap map = note_map(settings);
    OfflineMachine m(static_cast<std::uint32_t>(o.rate));
    m.output.set_note_map(map);
    QTemporaryDir pictures;
    // Most songs give every sound they play a sample of their own.
    m.sound.defer_startup_samples();
    if (!pictures.isValid() || !prepare_offline(m, pictures.path(), speed)) {
        return fail(unwritable_output, "cannot make a temporary folder");
    }
    std::vector<int> sounds;
    if (const FileStatus loaded = load(m, o, sounds); !loaded) {
        return fail(unreadable_song,
                    "cannot read the song \"" + o.song + "\": " + m.window.texts.reason(loaded));
    }
    if (!o.kit.empty()) {
        if (!kit_scratch.isValid()) {
            return fail(unwritable_output, "cannot make a temporary folder");
        }
        if (const std::string refused =
                apply_kit(m, o.kit, kit_scratch.path().toStdString(), sounds);
            !refused.empty()) {
            return fail(unreadable_kit, "cannot read the kit \"" + o.kit + "\": " + refused);
        }
    }

    const OfflineLength length = choose_offline(m, o.pattern, o.repeat, o.max_measures);
    const int passes = length.passes;
    if (passes < 1) {
        return fail(endless, "the song ends before its first measure");
    }

    // Which of the sounds played do sound is known once they have.
    std::erase_if(sounds, [&](int k) { return !m.sound.channel(k).loaded; });
    for (const int k : o.midi.empty() ? std::vector<int>() : sounds) {
        if (map.out_note(k) < 0) {
            std::fprintf(stderr,
                         "qx375-render: sound %d has no MIDI note in qx375.ini: it is not in the "
                         "MIDI file\n",
                         k + 1);
        }
    }
    std::vector<Target> targets;
    if (!o.out.empty()) {
        targets.emplace_back(o.out, -1);
    }
    if (!o.stems.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(o.stems, ec);
        if (!std::filesystem::is_directory(o.stems)) {
            return fail(unwritable_output,
                        "cannot make the folder \"" + o.stems + "\": " +
                            (ec ? ec.message() : std::string("a file of that name is in the way")));
        }
        const std::string_view extension = file_extension(file_type(o.format));
        for (const int k : sounds) {
            targets.emplace_back((std::filesystem::path(o.stems) /
                                  stem_file_name(k, m.song.get_sample_file(k), extension))
                                     .string(),
                                 k);
        }
    }
    midi::Performance performance(m.output.rate());
    OfflinePlay play{.passes = passes,
                     .tail = o.tail,
                     .stems = !o.stems.empty(),
                     .performance = o.midi.empty() ? nullptr : &performance,
                     .map = map,
                     .progress = progress};
    std::string failed;
    const int error = write_targets(
        targets, 0, [&] { return render(m, o, play, targets, failed); }, failed);
    for (const std::string& message : m.console.messages) {
        std::fprintf(stderr, "qx375-render: %s\n", message.c_str());
    }
    if (error != 0) {
        return fail(unwritable_output,
                    "cannot write \"" + failed + "\": " + std::generic_category().message(error));
    }
    if (!o.midi.empty()) {
        const std::vector<std::uint8_t> bytes =
            midi_file_of(performance, std::filesystem::path(o.song).stem().string());
        if (const FileStatus written =
                replace_file(o.midi, std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                                      bytes.size()));
            !written) {
            return fail(unwritable_output, "cannot write \"" + o.midi + "\": " +
                                               std::generic_category().message(written.error));
        }
    }
    // Written, as the program plays such a song, but probably not what was
    // meant: a script hears of it.
    if (length.endless) {
        return fail(endless, "the song has no End marker: all its measures were rendered, up to "
                             "255 (--max-measures N stops sooner)");
    }
    return ok;
}
