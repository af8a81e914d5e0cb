// qx375-render: renders a song into a WAV file as the drum machine plays it,
// faster than real time. It runs the program's own main window, headless:
// the same ticks, the same interval rules, the same mix. Only the clock is
// the render's own, and the mixer is pulled block by block instead of by a
// sound card.
//   qx375-render [options] SONG.drm OUT.wav
#include "app/program.h"
#include "app/unattended_prompts.h"
#include "platform/wave_writer.h"
#include "util/file_io.h"
#include "util/ini_file.h"
#include "util/text.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

using namespace qx375;

namespace {

constexpr const char* kUsage =
    "usage: qx375-render [options] SONG.drm OUT.wav\n"
    "  --speed P          tempo slider position, 40 (fastest) to 400\n"
    "  --pattern N        render pattern N (0..254) instead of the song\n"
    "  --repeat K         with --pattern: play it K times (1..10000, default 1)\n"
    "  --tail, --no-tail  let the last sounds ring out (default) or end with the last step\n"
    "  --bits 16|24|32f   sample format (default 16)\n"
    "  --rate HZ          sample rate, 8000..192000 (default 44100)\n"
    "  --max-measures N   render at most N measures (1..255, default 255)\n";

enum Exit { ok = 0, usage = 1, unreadable_song = 2, unwritable_output = 3, endless = 4 };

struct Options {
    std::string song;
    std::string out;
    std::optional<int> speed;
    std::optional<int> pattern;
    int repeat = 1;
    bool tail = true;
    WaveWriter::Samples samples = WaveWriter::Samples::pcm16;
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
                o.samples = bits == "16"   ? WaveWriter::Samples::pcm16
                            : bits == "24" ? WaveWriter::Samples::pcm24
                                           : WaveWriter::Samples::float32;
            } else {
                return "--bits takes 16, 24 or 32f";
            }
        } else if (arg == "--rate") {
            if (!(n = value(8000, 192000))) {
                return "--rate takes a sample rate from 8000 to 192000";
            }
            o.rate = *n;
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
    if (files.size() != 2) {
        return "a song file and an output file are needed";
    }
    o.song = files[0];
    o.out = files[1];
    return std::nullopt;
}

// What the render gives the program: an output that only renders when the
// render pulls it, and prompts nobody answers.
struct Seams {
    explicit Seams(std::uint32_t rate) : output(AudioBackendKind::manual, kBlock, rate) {}

    static constexpr std::uint32_t kBlock = 4096;

    UnattendedPrompts console;
    AudioOutput output;
};

// The program's objects, as main() builds them, over those.
struct Machine : Seams, Program {
    explicit Machine(std::uint32_t rate) : Seams(rate), Program(output, console) {}
};

// The song, with its samples looked up in its own folder first, then as the
// program looks them up from the current directory. The sounds that stay
// silent are named.
FileStatus load(Machine& m, const std::string& path) {
    const std::filesystem::path song = std::filesystem::absolute(path);
    const std::filesystem::path here = std::filesystem::current_path();
    std::error_code ec;
    std::filesystem::current_path(song.parent_path(), ec);
    const FileStatus loaded = m.song.load_drm(song.string());
    std::filesystem::current_path(here, ec);
    if (!loaded) {
        return loaded;
    }
    for (int k = 0; k < kSounds; ++k) {
        const std::string& name = m.song.get_sample_file(k);
        if (!m.sound.channel(k).loaded && !name.empty()) {
            try {
                m.song.set_sample_file(k, name);
            } catch (const std::exception&) {
            }
            if (!m.sound.channel(k).loaded) {
                std::fprintf(stderr,
                             "qx375-render: sound %d, %s, cannot be read: it stays silent\n", k + 1,
                             name.c_str());
            }
        }
    }
    m.console.messages.clear();
    return {};
}

void progress(int done, int total) {
    if (::isatty(STDERR_FILENO)) {
        std::fprintf(stderr, "\rqx375-render: %3d %% (%d of %d %s)", 100 * done / total, done,
                     total, total == 1 ? "pass" : "passes");
    }
}

// Plays the song through the window and writes what the mixer makes of it,
// from the first step to the end of the last (and its ring-out), into `fd`.
int render(Machine& m, const Options& o, int passes_wanted, int fd) {
    SequencerTimer& timer = m.window.timer();
    Mixer& mixer = m.output.mixer();
    const std::uint32_t rate = m.output.rate();
    // The render's own clock: as many seconds as frames were mixed.
    const auto origin = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    auto now = [&] {
        return origin +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(static_cast<double>(mixer.frame()) / rate));
    };
    timer.run_offline(now);

    m.window.findChild<QCheckBox*>("CheckBoxBeat")->setChecked(true);
    const std::uint64_t first = timer.next_tick_frame();
    std::optional<std::uint64_t> last;
    const std::uint64_t ring_out = 30ull * rate; // the longest tail written
    WaveWriter wave(fd, rate, o.samples);
    std::vector<float> block(2 * Machine::kBlock);
    int passes = 0;
    progress(0, passes_wanted);
    for (;;) {
        while (timer.isEnabled() && timer.due_frame() < mixer.frame() + Machine::kBlock) {
            timer.tick();
            if (m.song.get_step() == 0 && ++passes <= passes_wanted) {
                progress(passes, passes_wanted);
                if (passes == passes_wanted && timer.isEnabled()) {
                    m.window.findChild<QCheckBox*>("CheckBoxBeat")->setChecked(false);
                }
            }
            if (!timer.isEnabled()) {
                last =
                    timer.tick_frame() + static_cast<std::uint64_t>(timer.interval()) * rate / 1000;
            }
        }
        const std::uint64_t at = mixer.frame();
        m.output.pull_mix(block, now());
        const std::uint64_t begin = std::max(at, first);
        std::uint64_t end = at + Machine::kBlock;
        if (last && !o.tail) {
            end = std::min(end, *last);
        }
        if (end > begin &&
            !wave.write(std::span(block).subspan(2 * (begin - at), 2 * (end - begin)))) {
            break;
        }
        if (last && (!o.tail || mixer.sounding_voices() == 0 || end >= *last + ring_out) &&
            end >= *last) {
            break;
        }
    }
    if (::isatty(STDERR_FILENO)) {
        std::fputc('\n', stderr);
    }
    return wave.close();
}

// Pictures the start and stop button loads; the render shows no window.
bool draw_pictures(const QString& folder) {
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::black);
    return picture.save(folder + "/go2.bmp") && picture.save(folder + "/stop2.bmp");
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

    // The tempo of the program directory's settings, as the program starts.
    const int speed = o.speed.value_or(IniFile("qx375.ini").read_int("setup", "Speed", 160));
    Machine m(static_cast<std::uint32_t>(o.rate));
    QTemporaryDir pictures;
    if (!pictures.isValid() || !draw_pictures(pictures.path())) {
        return fail(unwritable_output, "cannot make a temporary folder");
    }
    m.window.program_directory = pictures.path().toStdString();
    m.song.open_sound(0);
    m.window.findChild<QSlider*>("TrackBarBPM")->setValue(speed);
    m.window.findChild<QCheckBox*>("CheckBoxLoop")->setChecked(false);
    if (const FileStatus loaded = load(m, o.song); !loaded) {
        return fail(unreadable_song,
                    "cannot read the song \"" + o.song + "\": " + m.window.texts.reason(loaded));
    }

    int passes = o.repeat;
    bool endless_song = false;
    if (o.pattern) {
        m.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(0);
        m.window.findChild<QLineEdit*>("EditNumPattern")->setText(QString::number(*o.pattern));
    } else {
        m.window.findChild<RadioGroup*>("RadioGroupPlay")->set_item_index(1);
        const auto end =
            std::find(m.song.song_order().begin() + 1, m.song.song_order().end(), kEndMarker);
        endless_song = end == m.song.song_order().end() && !o.max_measures;
        passes = std::min(static_cast<int>(end - m.song.song_order().begin()) - 1,
                          o.max_measures.value_or(kMeasures - 1));
        m.window.SpeedButtonBeginSongClick();
    }
    m.window.getpatern();
    m.window.RadioGroup2432Click();
    m.window.TrackBarBPMChange();
    if (passes < 1) {
        return fail(endless, "the song ends before its first measure");
    }

    const FileStatus written =
        replace_file_with(o.out, [&](int fd) { return render(m, o, passes, fd); });
    for (const std::string& message : m.console.messages) {
        std::fprintf(stderr, "qx375-render: %s\n", message.c_str());
    }
    if (!written) {
        return fail(unwritable_output, "cannot write \"" + o.out +
                                           "\": " + std::generic_category().message(written.error));
    }
    // Written, as the program plays such a song, but probably not what was
    // meant: a script hears of it.
    if (endless_song) {
        return fail(endless, "the song has no End marker: all its measures were rendered, up to "
                             "255 (--max-measures N stops sooner)");
    }
    return ok;
}
