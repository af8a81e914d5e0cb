// Every input is a sample file given to a sound channel of the program's own
// sound output, the way the instrument panel and the song reader give one: the
// loader reads and parses it, the channel builds its buffer from what the
// loader found, and the mixer plays it from its start at its own rate and
// from its last byte at the highest and the lowest rate, so that decoding and
// interpolation both run up to the end of the samples.
#include "fuzz/property.h"
#include "fuzz/scratch_dir.h"
#include "platform/audio_output.h"
#include "platform/wave_format.h"
#include "sound/decoded_sample.h"
#include "sound/direct_sound.h"
#include "support/wav_bytes.h"
#include "util/error.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace qx375::fuzz {
namespace {

constexpr int kFresh = 4;  // a channel that held nothing before
constexpr int kReused = 3; // a channel that held a good sample just before

class CountingNotifier : public Notifier {
public:
    void show_message(std::string_view) override { ++shown; }
    int shown = 0;
};

struct Rig {
    ScratchDir dir;
    AudioOutput output{AudioBackendKind::manual};
    CountingNotifier notifier;
    DirectSound sound{output, notifier};
    std::string good_sample;
    std::vector<float> block = std::vector<float>(2 * AudioOutput::kBlockFrames);

    Rig() {
        sound.open_device(1);
        good_sample = dir.write("good.wav", test::simple_wav(test::ramp(400)));
    }

    // Renders one block; the mix must come out finite and within full scale.
    void render() {
        output.pull(block);
        for (float v : block) {
            check(std::isfinite(v) && v >= -1.0f && v <= 1.0f, "mix out of range");
        }
    }
};

Rig& rig() {
    static Rig instance;
    return instance;
}

// What the loader left in the channel points inside the image: the whole
// file, or for a FLAC, Ogg or AIFF file the WAV image it was decoded into.
void check_parse(const sound_channel& ch, bool parsed, std::span<const std::uint8_t> file) {
    const std::vector<std::uint8_t>& image = ch.file_image;
    check(is_decoded_sample(file) || image.size() == file.size(), "the image is the whole file");
    if (ch.format) {
        check(*ch.format + ch.format_bytes <= image.size(), "format record outside the image");
        if (ch.format_bytes >= 4) {
            check(image[*ch.format + 2] == 2 && image[*ch.format + 3] == 0,
                  "format not declared two-channel");
        }
    }
    if (ch.sample_data) {
        check(*ch.sample_data + ch.sample_bytes <= image.size(), "sample bytes outside the image");
    }
    check(parsed == (ch.format && ch.sample_data), "result disagrees with the chunks found");
    check(parsed || !ch.loaded, "a failed parse left the channel loaded");
}

// True when the device made the channel a buffer. A refusal must be the
// program's own error, shown to the user, and leave the channel silent.
bool build(Rig& r, int k) {
    const int shown = r.notifier.shown;
    try {
        r.sound.make_buffer(k);
    } catch (const Error& e) {
        const sound_channel& ch = r.sound.channel(k);
        check(!ch.loaded, "a refused buffer left the channel loaded");
        if (std::strcmp(e.what(), "Erreur sur CreateSoundBuffer") == 0) {
            check(r.notifier.shown == shown + 1, "the refusal's reason was not shown");
            check(!ch.buffer, "a refused buffer was kept");
        }
        return false;
    }
    const sound_channel& ch = r.sound.channel(k);
    check(ch.loaded && ch.buffer, "a built channel is not loaded");
    return true;
}

// A format the device accepts, with at least one whole frame of samples,
// always gets a buffer.
bool playable(const sound_channel& ch) {
    SampleLayout layout;
    if (!ch.format || !ch.sample_data ||
        failed(parse_wave_format(std::span(ch.file_image).subspan(*ch.format, ch.format_bytes),
                                 layout))) {
        return false;
    }
    return ch.sample_bytes >= layout.block_align && ch.sample_bytes >= DSBSIZE_MIN;
}

void play(Rig& r, int k, std::int32_t rate, std::uint32_t from_byte) {
    r.sound.stop(k);
    r.sound.set_frequency(k, rate);
    r.sound.channels[static_cast<std::size_t>(k)].buffer->SetCurrentPosition(from_byte);
    r.sound.play(k);
    r.render();
}

} // namespace
} // namespace qx375::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx375;
    using namespace qx375::fuzz;
    Rig& r = rig();
    const std::string path = r.dir.write("input.wav", std::span(data, size));

    r.sound.channels[kFresh] = sound_channel{};
    check(static_cast<bool>(r.sound.load_wave(r.good_sample, kReused)),
          "the good sample does not load");
    check(build(r, kReused), "the good sample gets no buffer");

    for (const int k : {kFresh, kReused}) {
        const bool parsed = static_cast<bool>(r.sound.load_wave(path, k));
        const sound_channel& ch = r.sound.channel(k);
        check_parse(ch, parsed, std::span(data, size));
        const bool expected = playable(ch);
        const bool built = build(r, k);
        check(!expected || built, "a playable sample got no buffer");
        if (built) {
            r.sound.set_volume(k, -300);
            r.sound.set_pan(k, k == kFresh ? 2500 : -2500);
            play(r, k, 0, 0);
            play(r, k, 100000, ch.sample_bytes - 1);
            play(r, k, 100, ch.sample_bytes - 1);
        }
    }
    r.render();
    return 0;
}
