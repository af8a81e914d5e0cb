#pragma once

#include "midi/note_map.h"
#include "platform/midi_event.h"
#include "platform/mixer.h"
#include "platform/sound_device.h"
#include "platform/transport.h"

#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace qx375 {

enum class AudioBackendKind {
    automatic,  // a running JACK server, else the sound card through SDL, else the null clock
    jack,       // a running JACK server; the null clock when there is none
    sdl,        // the sound card through SDL; the null clock when it cannot open
    null_clock, // no sound card: a thread renders in real time and throws the sound away
    manual,     // nothing runs by itself; pull() renders (tests)
};

// The output a setting names: "jack" or "sdl" (in any case) force one;
// anything else, "auto" included, takes the first that answers.
AudioBackendKind output_setting(std::string_view setting);

// What an output says of itself, for the user.
struct OutputStatus {
    std::uint32_t rate = 0;
    std::uint32_t period = 0;  // frames of one render
    std::uint32_t latency = 0; // frames from a render to the listener's ear
    std::uint64_t xruns = 0;   // periods the server could not wait for
    float load = 0;            // percent of the period the server's graph takes
    bool midi = false;         // whether it has MIDI ports
};

// Something that calls Mixer::render in real time, from start() to its
// destruction. The mixer renders for one thread at a time, so a backend that
// takes over from another starts only once the other is gone; its rate and
// largest block are prepared on the mixer before it starts.
class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    virtual AudioBackendKind kind() const = 0;
    virtual void start() = 0;
    // The frames of one render, as the output really asks for them.
    virtual std::uint32_t block_frames() const = 0;
    // The largest render it may ask for, and the rate it plays at.
    virtual std::uint32_t largest_block() const { return block_frames(); }
    virtual std::uint32_t rate() const = 0;
    // How many frames it may have rendered beyond the frame its clock says is
    // playing. Two blocks, since a server that fell behind asks for blocks
    // back to back.
    virtual std::uint32_t render_lead() const { return 2 * block_frames(); }
    virtual OutputStatus status() const {
        return {rate(), block_frames(), 2 * block_frames(), 0, 0, false};
    }
    // The device went away: nothing it renders is heard any more.
    virtual bool lost() const { return false; }
    // GUI thread: the next MIDI message that came in, if any.
    virtual bool next_midi_event(MidiEvent&) { return false; }
    // GUI thread: the next clock, start, continue, stop or song position
    // that came in, if any.
    virtual bool next_sync_event(MidiEvent&) { return false; }

    // A JACK transport: where it stood at the start of the last cycle; false
    // without one.
    virtual bool transport(TransportReading&) const { return false; }
    // GUI thread.
    virtual void transport_start() {}
    virtual void transport_stop() {}
    virtual bool transport_locate(std::uint64_t) { return false; }
    // GUI thread: leads the transport's bars and beats, or lets them go;
    // true when the transport did as asked.
    virtual bool lead_timebase(bool) { return false; }
    virtual void set_timebase(const TimebaseGrid&) {}
    // GUI thread: what the output plays lies `frames` later than the MIDI
    // that came in asks for, and its ports say so.
    virtual void set_extra_latency(std::uint32_t) {}
};

// Opens the sound card, not started yet; nothing when there is no card.
using CardOpener =
    std::function<std::unique_ptr<AudioBackend>(Mixer& mixer, std::uint32_t block_frames)>;

std::unique_ptr<AudioBackend> open_sdl_backend(Mixer& mixer, std::uint32_t block_frames);
// A client of a JACK server that already runs (it never starts one), with
// audio ports out_L and out_R and MIDI ports midi_in and midi_out.
std::unique_ptr<AudioBackend> open_jack_backend(Mixer& mixer, std::uint32_t block_frames);
// Started, it carries the mixer's clock on from where the backend before left
// it: same frame count, same pace, so the sequencer sees no jump.
std::unique_ptr<AudioBackend> open_null_backend(Mixer& mixer, std::uint32_t block_frames);

// Why an output that wants the sound card plays on the null clock instead.
enum class CardFault {
    none,       // the card plays, or no card was wanted
    not_opened, // no card could be opened
    lost,       // the card went away while in use
};

// The sound output of the program: the mixer and what drives it. Devices made
// by create_device all play through it.
class AudioOutput : public SoundSystem {
public:
    static constexpr std::uint32_t kRate = 44100;
    // The mixer renders 5.8 ms at a time; what keeps a busy desktop's sound
    // server from running dry is the queue it keeps (sdl_backend.cpp).
    static constexpr std::uint32_t kBlockFrames = 256;

    // `capture_frames`: how far a recording of the mix may fall behind it.
    explicit AudioOutput(AudioBackendKind kind = AudioBackendKind::automatic,
                         std::uint32_t block_frames = kBlockFrames, std::uint32_t rate = kRate,
                         std::size_t capture_frames = Mixer::kCaptureFrames);
    // Plays on the card `open_card` gives, or on the null clock without one.
    explicit AudioOutput(CardOpener open_card, std::uint32_t block_frames = kBlockFrames);
    ~AudioOutput() override;

    // The backend that actually runs.
    AudioBackendKind backend() const { return kind_; }
    std::string_view backend_name() const;
    CardFault card_fault() const { return fault_; }
    OutputStatus status() const;

    // GUI thread: incoming notes play the sounds the map gives them, and
    // each sound goes out as its first note.
    void set_note_map(const midi::NoteMap& map);
    // GUI thread: the next MIDI message that came in, if any. Clocks, start,
    // continue, stop and song position are not among them.
    bool next_midi_event(MidiEvent& event);
    // GUI thread: the next clock (0xF8), start (0xFA), continue (0xFB), stop
    // (0xFC) or song position (0xF2) that came in, on its output frame. A
    // window that falls behind misses the newest.
    bool next_sync_event(MidiEvent& event);
    // GUI thread: a complete message of 1 to 3 bytes goes out on the MIDI
    // output at output frame `frame` (0: as soon as possible), in the order
    // of the hits of that frame. False, sending nothing, for bytes that are
    // not one message or when the command queue is full. Outputs without MIDI
    // drop it.
    bool send_midi(std::uint64_t frame, std::span<const std::uint8_t> bytes);

    // The JACK transport as of the last cycle; false on any other output.
    bool transport(TransportReading& reading) const;
    // GUI thread: JACK's own transport controls; nothing on other outputs.
    void transport_start();
    void transport_stop();
    // False on other outputs, and for a frame beyond JACK's count.
    bool transport_locate(std::uint64_t transport_frame);
    // GUI thread: leads the transport's bars and beats as its timebase
    // master, whoever led them before, or lets them go; true when JACK did as
    // asked. An output that takes over later is asked again.
    bool lead_timebase(bool lead);
    // GUI thread: the grid the bars and beats follow while it leads, four
    // beats to a bar. False, keeping the grid, for one whose bars take no
    // time or whose tempo is not a tempo.
    bool set_timebase(double frames_per_bar, double bpm);
    // GUI thread: the output's ports report `frames` more latency than the
    // server gives them, for hits placed that long after the clock they
    // follow.
    void set_extra_latency(std::uint32_t frames);

    // GUI thread. A card that went away is let go, and the null clock carries
    // on in silence from where it left off. True when this call let it go.
    bool check_device();
    // GUI thread. On the null clock for want of a card, tries the card again;
    // the card then carries the clock on. True when the card plays.
    bool reopen();

    // How many frames the output may have rendered beyond the frame its clock
    // says is playing: a command stamped closer than this to the clock may
    // find its frame already mixed.
    std::uint32_t render_lead_frames() const {
        return backend_ ? backend_->render_lead() : 2 * block_frames_;
    }
    std::uint32_t block_frames() const { return block_frames_; }

    DsResult create_device(std::unique_ptr<SoundDevice>& device) override;

    Mixer& mixer() { return mixer_; }
    const AudioClock& clock() const { return mixer_.clock(); }
    CaptureTap& capture() { return mixer_.capture(); }

    // The wave-out volume: left level in the low 16 bits, right in the high.
    std::uint32_t volume() const { return mixer_.master_volume(); }
    void set_volume(std::uint32_t levels) { mixer_.set_master_volume(levels); }

    std::uint32_t rate() const { return mixer_.rate(); }

    // Manual backend only: renders interleaved stereo frames now.
    void pull(std::span<float> stereo);
    // Manual backend only, for a render that runs faster than real time: the
    // song's own mix (Mixer::render_mix), at the time of the render's clock.
    void pull_mix(std::span<float> stereo, std::chrono::steady_clock::time_point time);

private:
    AudioOutput(AudioBackendKind kind, std::vector<CardOpener> open_cards,
                std::uint32_t block_frames, std::uint32_t rate = kRate,
                std::size_t capture_frames = Mixer::kCaptureFrames);
    std::unique_ptr<AudioBackend> open_card();
    void run(std::unique_ptr<AudioBackend> backend);
    bool on_card() const {
        return kind_ != AudioBackendKind::null_clock && kind_ != AudioBackendKind::manual;
    }

    Mixer mixer_;
    AudioBackendKind kind_;
    std::uint32_t block_frames_;
    std::vector<CardOpener> open_cards_; // in the order tried; empty when no card is wanted
    CardFault fault_ = CardFault::none;
    // What a backend that takes over is told before it starts.
    TimebaseGrid grid_;
    bool leading_ = false;
    std::uint32_t extra_latency_ = 0;
    std::unique_ptr<AudioBackend> backend_;
};

} // namespace qx375
