#pragma once

// A small sound-buffer API in the manner of DirectSound: a device creates
// static buffers from a wave format record and sample bytes; each buffer plays
// once from its cursor with its own volume, pan and frequency. Every call
// answers with a result code carrying the classic numeric values.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

namespace qx375 {

using DsResult = std::uint32_t;

inline constexpr DsResult DS_OK = 0;
inline constexpr DsResult DSERR_ALLOCATED = 0x8878000A;
inline constexpr DsResult DSERR_CONTROLUNAVAIL = 0x8878001E;
inline constexpr DsResult DSERR_INVALIDPARAM = 0x80070057;
inline constexpr DsResult DSERR_INVALIDCALL = 0x88780032;
inline constexpr DsResult DSERR_GENERIC = 0x80004005;
inline constexpr DsResult DSERR_PRIOLEVELNEEDED = 0x88780046;
inline constexpr DsResult DSERR_OUTOFMEMORY = 0x8007000E;
inline constexpr DsResult DSERR_BADFORMAT = 0x88780064;
inline constexpr DsResult DSERR_UNSUPPORTED = 0x80004001;
inline constexpr DsResult DSERR_NODRIVER = 0x88780078;
inline constexpr DsResult DSERR_NOAGGREGATION = 0x80040110;
inline constexpr DsResult DSERR_UNINITIALIZED = 0x887800AA;

inline constexpr bool failed(DsResult r) {
    return (r & 0x80000000u) != 0;
}

inline constexpr std::uint32_t DSBCAPS_PRIMARYBUFFER = 0x01;
inline constexpr std::uint32_t DSBCAPS_STATIC = 0x02;
inline constexpr std::uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
inline constexpr std::uint32_t DSBCAPS_CTRLPAN = 0x40;
inline constexpr std::uint32_t DSBCAPS_CTRLVOLUME = 0x80;

inline constexpr std::uint32_t DSSCL_NORMAL = 1;
inline constexpr std::uint32_t DSSCL_PRIORITY = 2;
inline constexpr std::uint32_t DSSCL_EXCLUSIVE = 3;
inline constexpr std::uint32_t DSSCL_WRITEPRIMARY = 4;
inline constexpr std::uint32_t DSSPEAKER_HEADPHONE = 1;

inline constexpr std::int32_t DSBVOLUME_MIN = -10000;
inline constexpr std::int32_t DSBVOLUME_MAX = 0;
inline constexpr std::int32_t DSBPAN_LEFT = -10000;
inline constexpr std::int32_t DSBPAN_RIGHT = 10000;
inline constexpr std::uint32_t DSBFREQUENCY_ORIGINAL = 0;
inline constexpr std::uint32_t DSBFREQUENCY_MIN = 100;
inline constexpr std::uint32_t DSBFREQUENCY_MAX = 100000;
inline constexpr std::uint32_t DSBSIZE_MIN = 4;
inline constexpr std::uint32_t DSBSIZE_MAX = 0x0FFFFFFF;

// The size field a buffer description must carry.
inline constexpr std::uint32_t kBufferDescSize = 36;

// A wave format record as it lies in memory: the bytes of a "fmt " chunk body.
// An empty view means "no format".
using FormatBytes = std::span<const std::uint8_t>;

struct BufferDesc {
    std::uint32_t size = 0;
    std::uint32_t flags = 0;
    std::uint32_t buffer_bytes = 0;
    std::uint32_t reserved = 0;
    FormatBytes format;
    std::array<std::uint8_t, 16> algorithm_3d{};
};

// The one or two pieces of a buffer that a Lock hands out (two when the locked
// range wraps past the end of the buffer).
struct LockedRegions {
    std::span<std::uint8_t> first;
    std::span<std::uint8_t> second;
};

// Identifies the window a device cooperates with; the sound layer only keeps it.
using WindowHandle = std::uintptr_t;

// Releasing a buffer is destroying it.
class SoundBuffer {
public:
    virtual ~SoundBuffer() = default;
    virtual DsResult Stop() = 0;
    virtual DsResult SetCurrentPosition(std::uint32_t bytes) = 0;
    virtual DsResult Play(std::uint32_t reserved, std::uint32_t priority, std::uint32_t flags) = 0;
    virtual DsResult SetVolume(std::int32_t hundredths_db) = 0;
    virtual DsResult SetPan(std::int32_t pan) = 0;
    virtual DsResult SetFrequency(std::uint32_t hz) = 0;
    virtual DsResult Lock(std::uint32_t offset, std::uint32_t bytes, LockedRegions& regions,
                          std::uint32_t flags) = 0;
    virtual DsResult Unlock(const LockedRegions& regions) = 0;
    virtual DsResult SetFormat(FormatBytes format) = 0;
};

class SoundDevice {
public:
    virtual ~SoundDevice() = default;
    virtual DsResult CreateSoundBuffer(const BufferDesc& desc,
                                       std::unique_ptr<SoundBuffer>& buffer) = 0;
    virtual DsResult SetCooperativeLevel(WindowHandle window, std::uint32_t level) = 0;
    virtual DsResult SetSpeakerConfig(std::uint32_t config) = 0;
    // Buffer calls made from now on take effect on this frame of the output
    // clock; 0 means as soon as possible.
    virtual void set_target_frame(std::uint64_t frame) = 0;

    // Beyond buffers: a drum machine's sounds. Sound `sound` plays on
    // `buffer` (none: it is silent); the sounds of one nonzero choke group
    // silence each other whenever one of them starts.
    virtual void bind_sound(int sound, SoundBuffer* buffer, int choke_group) = 0;
    // Starts the sound on `frame` of the output clock (0: as soon as
    // possible), from its beginning when `rewind`, after its choke group.
    virtual DsResult start_sound(int sound, std::uint64_t frame, bool rewind) = 0;
    // Every note the output sent for its sounds ends on `frame` (0: at once).
    virtual void end_notes(std::uint64_t frame) = 0;
};

// Creates devices on the default sound output.
class SoundSystem {
public:
    virtual ~SoundSystem() = default;
    virtual DsResult create_device(std::unique_ptr<SoundDevice>& device) = 0;
};

} // namespace qx375
