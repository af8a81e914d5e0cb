// Writes the starting corpora of the fuzz harnesses, made the way the tests
// make their files: sample files of every format the sound output plays and
// of the damaged kinds the tests try, songs written by the song model itself,
// and settings and language files like the program's own.
//   fuzz_seeds OUT_DIR SOURCE_DIR
#include "engine/patern.h"
#include "platform/audio_output.h"
#include "support/wav_bytes.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

using namespace qx375;
using namespace qx375::test;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kClearedPatternBytes = 279296;

class Silent : public Notifier {
public:
    void show_message(std::string_view) override {}
};

void write(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void write(const fs::path& file, const Bytes& bytes) {
    write(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A "fmt " body of the extensible kind around a plain format tag.
Bytes extensible(std::uint16_t sub_tag, std::uint16_t channels, std::uint16_t bits) {
    Bytes body = pcm_format(channels, 44100, bits, 0xFFFE);
    append16(body, 22);
    append16(body, bits);
    append32(body, channels == 1 ? 4 : 3);
    append16(body, sub_tag);
    const Bytes tail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    body.insert(body.end(), tail.begin(), tail.end());
    return body;
}

Bytes with_format(const Bytes& format, std::size_t data_bytes = 48) {
    return WavBuilder().chunk("fmt ", format).chunk("data", ramp(data_bytes, 0x40)).build();
}

void wave_seeds(const fs::path& dir) {
    // Every format the sound output plays.
    for (const std::uint16_t bits : {8, 16, 24, 32}) {
        for (const std::uint16_t channels : {1, 2}) {
            write(dir / ("pcm" + std::to_string(bits) + "_" + std::to_string(channels) + ".wav"),
                  with_format(pcm_format(channels, 44100, bits)));
        }
    }
    write(dir / "float32.wav", with_format(pcm_format(2, 44100, 32, 3)));
    write(dir / "ext16.wav", with_format(extensible(1, 2, 16)));
    write(dir / "ext24_mono.wav", with_format(extensible(1, 1, 24)));
    write(dir / "ext_float.wav", with_format(extensible(3, 2, 32)));
    write(dir / "rate8000.wav", with_format(pcm_format(1, 8000, 8)));

    // Chunk layouts the loader walks.
    write(dir / "list_odd.wav", WavBuilder()
                                    .chunk("fmt ", pcm_format(2, 44100, 16))
                                    .chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'x'})
                                    .chunk("data", ramp(24))
                                    .build());
    write(dir / "data_first_odd.wav",
          WavBuilder().chunk("data", ramp(3)).chunk("fmt ", pcm_format(1, 8000, 8)).build());
    write(dir / "two_formats.wav", WavBuilder()
                                       .chunk("fmt ", pcm_format(1, 11025, 8))
                                       .chunk("fmt ", pcm_format(1, 22050, 16))
                                       .chunk("data", ramp(16))
                                       .build());
    write(dir / "zero_chunks.wav", WavBuilder()
                                       .chunk("junk", Bytes{})
                                       .chunk("fmt ", pcm_format(2, 44100, 16))
                                       .chunk("data", Bytes{})
                                       .build());
    write(dir / "short_format.wav",
          WavBuilder().chunk("fmt ", Bytes{1, 0, 1, 0, 0x44, 0xAC}).chunk("data", ramp(8)).build());

    // Sizes that lie.
    write(dir / "data_4g.wav", WavBuilder()
                                   .chunk("fmt ", pcm_format(2, 44100, 16))
                                   .chunk_with_size("data", 0xFFFFFFFF, ramp(12))
                                   .riff_size(0xFFFFFFFF)
                                   .build());
    write(dir / "wrapping_chunk.wav", WavBuilder()
                                          .chunk_with_size("junk", 0xFFFFFFF8, Bytes{})
                                          .chunk("fmt ", pcm_format(2, 44100, 16))
                                          .chunk("data", ramp(8))
                                          .riff_size(0xFFFFFFFF)
                                          .build());
    write(dir / "riff_short.wav", WavBuilder()
                                      .chunk("fmt ", pcm_format(2, 44100, 16))
                                      .chunk("data", ramp(8))
                                      .riff_size(4 + 24)
                                      .build());

    // Formats that lie or that nothing plays.
    write(dir / "adpcm.wav", with_format(pcm_format(2, 44100, 4, 2)));
    write(dir / "tag0.wav", with_format(pcm_format(2, 44100, 16, 0)));
    write(dir / "float16.wav", with_format(pcm_format(2, 44100, 16, 3)));
    write(dir / "channels0.wav", with_format(pcm_format(0, 44100, 16)));
    write(dir / "rate_huge.wav", with_format(pcm_format(2, 0xFFFFFFFF, 16)));
    write(dir / "rate0.wav", with_format(pcm_format(2, 0, 16)));
    write(dir / "bits12.wav", with_format(pcm_format(2, 44100, 12)));

    // Cut short anywhere.
    const Bytes whole = with_format(pcm_format(2, 44100, 16), 64);
    for (const std::size_t cut : {3, 11, 12, 19, 30, 43, 44, 47, 50}) {
        write(dir / ("cut" + std::to_string(cut) + ".wav"),
              Bytes(whole.begin(), whole.begin() + cut));
    }

    Bytes garbage = WavBuilder().build();
    for (std::uint32_t i = 0, x = 1; i < 200; ++i) {
        x = x * 1103515245u + 12345u;
        garbage.push_back(static_cast<std::uint8_t>(x >> 16));
    }
    write(dir / "garbage.wav", garbage);
}

void song_seeds(const fs::path& dir) {
    AudioOutput output(AudioBackendKind::manual);
    Silent silent;
    DirectSound sound(output, silent);
    matrice song(sound, silent);
    const auto save = [&](const std::string& name) {
        if (!song.save_drm((dir / name).string())) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", name.c_str());
            std::exit(1);
        }
        return read(dir / name);
    };

    song.clear_song();
    for (int k = 0; k < kSounds; ++k) {
        song.set_sample_file(k, "s" + std::to_string(k) + ".wav");
    }
    const std::string cleared = save("cleared.drm");

    // Something in every part of the file.
    for (int i = 0; i < kPatterns; ++i) {
        song.set_song_entry(i, (i * 7) % 256);
        song.change_pattern(i, [&](pattern_record& p) {
            p.tempo = 40 + i;
            p.size = i % 2 ? 16 : 21;
            p.volume[static_cast<std::size_t>(i % kTracks)] = -(i * 39);
            p.pan[static_cast<std::size_t>((i + 3) % kTracks)] = i * 78 - 10000;
            p.frequency[static_cast<std::size_t>((i + 5) % kTracks)] = 100 + i * 390;
            p.steps[static_cast<std::size_t>(i % kTracks)][static_cast<std::size_t>(i % kSteps)] =
                1;
        });
    }
    save("full.drm");

    // Names the reader must take as they come.
    song.set_sample_file(2, "kit dir/a snare.wav");
    song.set_sample_file(3, "C:\\kits\\Kick.WAV");
    song.set_sample_file(4, "caf\xE9.wav");
    song.set_sample_file(5, "");
    song.set_sample_file(6, "s6.wav\r");
    save("names.drm");

    // The pattern block of a cleared song and the line feed after it.
    const std::string patterns = cleared.substr(0, kClearedPatternBytes + 1);
    write(dir / "long_name.drm", patterns + std::string(300, 'n') + ".wav\ns1.wav\n");
    write(dir / "nul_name.drm", patterns + std::string("s9.wav\0junk\n", 12) + "s8.wav\n");
    write(dir / "no_names.drm", patterns);
    write(dir / "cut.drm", cleared.substr(0, kClearedPatternBytes - 5));

    std::string signs = cleared;
    signs.replace(3, 10, "-600l+5l+22050l");
    write(dir / "signs.drm", signs);
}

constexpr std::string_view kWindowsIni =
    "; QX375 settings\r\nstray=before any section\r\n\r\n"
    "[Setup]\r\nPatternMode=1\r\n  LoopMode =\t1  \r\n;Speed=999\r\nSpeed = 200\r\n"
    "no equals sign here\r\n[setup\r\nautoload_0=\"C:\\Songs\\demo.drm\"\r\n"
    "autoload_1=' spaced '\r\nautoload_2=\"unmatched'\r\nautoload_3=\"\"\r\nPattern#=\r\n"
    "Speed=300\r\n\r\n"
    "[ MAIN ] ; flags\r\nFirstUse=0\r\nUnknown=kept\r\n"
    "[SETUP]\r\nSpeed=400\r\nLateKey=late\r\n";

void ini_seeds(const fs::path& dir, const fs::path& source) {
    write(dir / "windows.ini", kWindowsIni);
    write(dir / "qx375.ini", read(source / "data" / "qx375.ini"));
    write(dir / "anglais.lng", read(source / "data" / "langues" / "anglais" / "qx375.lng"));
    write(dir / "francais.lng", read(source / "data" / "langues" / "francais" / "qx375.lng"));
    write(dir / "windows1252.lng", "[main]\r\nsauvegarder=Sauvegarder l\x92\x9C"
                                   "uvre \xE0 5 \x80 ?\r\nremplacer=Remplacer ?\r\n");
    write(dir / "bom.lng", "\xEF\xBB\xBF[main]\ntitre=\xC3\x89t\xC3\xA9\n");
    write(dir / "unterminated.ini", "[setup]\r\nA=1\nB=2\r\n[main]\nfirstuse=0");
    write(dir / "long_line.ini",
          "[setup]\nSpeed=123\n" + std::string(100000, 'x') + "=long\n[main]\nfirstuse=0\n");
}

// The language packages, and damaged copies: cut in the middle of a line,
// with the sections lost, in Windows-1252 with every line ended by CR alone,
// values in quotes, blanks and accelerators, and a key given twice.
void language_seeds(const fs::path& dir, const fs::path& source) {
    for (const char* package : {"anglais", "francais"}) {
        const std::string text = read(source / "data" / "langues" / package / "qx375.lng");
        write(dir / (std::string(package) + ".lng"), text);
        write(dir / (std::string(package) + "_cut.lng"), text.substr(0, text.size() / 2 + 7));
        std::string sectionless = text;
        for (std::size_t at; (at = sectionless.find('[')) != std::string::npos;) {
            sectionless[at] = '(';
        }
        write(dir / (std::string(package) + "_no_sections.lng"), sectionless);
    }
    write(dir / "cr_only.lng", "[main]\rloopc=Boucle\rCodeStopc=Fin\rmainmenu=Bo\xEEte\r");
    write(dir / "odd_values.lng", "[main]\nCodeStopc=\" End \"\nloopc=&&Loop &x\nabout=&&&\n"
                                  "Action=\nBOXAction=Act\nPlay24=\n[sndsetup]\n"
                                  "LabelPitch=\"\nsndmenu=a=b;c\n[main]\nCodeStopc=12\n");
}

// A kit's text after the byte that tells the harness what it is.
void write_kit(const fs::path& file, char form, std::string_view text) {
    write(file, std::string(1, form) + std::string(text));
}

void kit_seeds(const fs::path& dir) {
    write_kit(dir / "drumkit_old.xml", 0,
              "<?xml version=\"1.0\"?><drumkit_info><name>Seed</name><instrumentList>"
              "<instrument><name>Kick</name><midiOutNote>36</midiOutNote>"
              "<filename>kick.wav</filename></instrument></instrumentList></drumkit_info>");
    write_kit(dir / "drumkit_layers.xml", 0,
              "<drumkit_info><name>Layers</name><instrumentList><instrument><name>Snare 1</name>"
              "<instrumentComponent><layer><filename>Snare 1.wav</filename><min>0</min>"
              "<max>1</max><gain>1</gain></layer></instrumentComponent></instrument>"
              "<instrument><name>Hat</name><layer><filename>../kick.wav</filename></layer>"
              "</instrument></instrumentList></drumkit_info>");
    write_kit(dir / "drums.sfz", 1,
              "// a seed\n<control> default_path=./\n<group> lovel=0 hivel=127\n"
              "<region> sample=kick.wav key=36\n<region> sample=Snare 1.wav lokey=c#2 hikey=d2 "
              "hivel=100\n/* end */");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds OUT_DIR SOURCE_DIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    for (const char* kind : {"wave", "song", "ini", "language", "kit"}) {
        fs::create_directories(out / kind);
    }
    wave_seeds(out / "wave");
    song_seeds(out / "song");
    ini_seeds(out / "ini", argv[2]);
    language_seeds(out / "language", argv[2]);
    kit_seeds(out / "kit");
    return 0;
}
