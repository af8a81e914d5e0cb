#pragma once

// A sound system that creates no sound: it writes every call it receives, in
// order and with its arguments, into a shared log, and refuses the calls it
// is told to refuse.

#include "platform/notifier.h"
#include "platform/sound_device.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace qx375::test {

struct CreatedBuffer {
    std::uint32_t size;
    std::uint32_t flags;
    std::uint32_t buffer_bytes;
    std::uint32_t reserved;
    const std::uint8_t* format_data;
    std::vector<std::uint8_t> format;
    bool algorithm_zero;
};

struct FakeLog {
    std::vector<std::string> calls;
    // Call -> result to answer.
    std::map<std::string, DsResult, std::less<>> refuse;
    // Optional verdict on a secondary buffer's description, as a device would
    // judge its format.
    std::function<DsResult(const BufferDesc&)> judge_format = [](const BufferDesc& desc) {
        return desc.format.size() < 16 ? DSERR_INVALIDPARAM : DS_OK;
    };
    // Lock hands out two regions, the first this long, when set.
    std::uint32_t lock_split = 0;
    std::vector<CreatedBuffer> created;
    int next_buffer = 1;
    // The sound and the output frame of every start, in order.
    std::vector<std::pair<int, std::uint64_t>> starts;

    // Refusals are looked up by the call as logged ("b6.Play") first, then by
    // the call's name alone ("Play").
    DsResult answer(std::string_view name, std::string line) {
        const std::string call = line.substr(0, line.find('('));
        calls.push_back(std::move(line));
        for (std::string_view key : {std::string_view(call), name}) {
            if (auto it = refuse.find(key); it != refuse.end()) {
                return it->second;
            }
        }
        return DS_OK;
    }
    void log(std::string line) { calls.push_back(std::move(line)); }
};

inline std::string hex(std::uint32_t v) {
    std::ostringstream out;
    out << std::hex << v;
    return out.str();
}

class FakeBuffer : public SoundBuffer {
public:
    FakeBuffer(FakeLog& log, std::string name, std::uint32_t bytes)
        : log_(log), name_(std::move(name)), memory_(bytes, kUntouched) {}

    static constexpr std::uint8_t kUntouched = 0xEE;
    ~FakeBuffer() override { log_.log(name_ + ".Release"); }

    const std::string& name() const { return name_; }
    const std::vector<std::uint8_t>& memory() const { return memory_; }

    DsResult Stop() override { return log_.answer("Stop", name_ + ".Stop"); }
    DsResult SetCurrentPosition(std::uint32_t bytes) override {
        return log_.answer("SetCurrentPosition",
                           name_ + ".SetCurrentPosition(" + std::to_string(bytes) + ")");
    }
    DsResult Play(std::uint32_t reserved, std::uint32_t priority, std::uint32_t flags) override {
        return log_.answer("Play", name_ + ".Play(" + std::to_string(reserved) + "," +
                                       std::to_string(priority) + "," + std::to_string(flags) +
                                       ")");
    }
    DsResult SetVolume(std::int32_t v) override {
        return log_.answer("SetVolume", name_ + ".SetVolume(" + std::to_string(v) + ")");
    }
    DsResult SetPan(std::int32_t v) override {
        return log_.answer("SetPan", name_ + ".SetPan(" + std::to_string(v) + ")");
    }
    DsResult SetFrequency(std::uint32_t v) override {
        return log_.answer("SetFrequency", name_ + ".SetFrequency(" + std::to_string(v) + ")");
    }
    DsResult Lock(std::uint32_t offset, std::uint32_t bytes, LockedRegions& regions,
                  std::uint32_t flags) override {
        const DsResult r =
            log_.answer("Lock", name_ + ".Lock(" + std::to_string(offset) + "," +
                                    std::to_string(bytes) + "," + std::to_string(flags) + ")");
        if (failed(r)) {
            return r;
        }
        const std::span<std::uint8_t> all(memory_);
        const std::size_t split =
            log_.lock_split != 0 && log_.lock_split < all.size() ? log_.lock_split : all.size();
        regions.first = all.first(split);
        regions.second = all.subspan(split);
        return r;
    }
    DsResult Unlock(const LockedRegions& regions) override {
        return log_.answer("Unlock", name_ + ".Unlock(" + std::to_string(regions.first.size()) +
                                         "," + std::to_string(regions.second.size()) + ")");
    }
    DsResult SetFormat(FormatBytes format) override {
        std::string bytes;
        for (std::uint8_t b : format) {
            bytes += (b < 16 ? "0" : "") + hex(b);
        }
        return log_.answer("SetFormat", name_ + ".SetFormat(" + bytes + ")");
    }

private:
    FakeLog& log_;
    std::string name_;
    std::vector<std::uint8_t> memory_;
};

class FakeDevice : public SoundDevice {
public:
    FakeDevice(FakeLog& log, std::string name) : log_(log), name_(std::move(name)) {}
    ~FakeDevice() override { log_.log(name_ + ".Release"); }

    DsResult CreateSoundBuffer(const BufferDesc& desc,
                               std::unique_ptr<SoundBuffer>& buffer) override {
        log_.created.push_back(CreatedBuffer{
            desc.size, desc.flags, desc.buffer_bytes, desc.reserved, desc.format.data(),
            std::vector<std::uint8_t>(desc.format.begin(), desc.format.end()),
            desc.algorithm_3d == std::array<std::uint8_t, 16>{}});
        const bool primary = (desc.flags & DSBCAPS_PRIMARYBUFFER) != 0;
        DsResult r = log_.answer("CreateSoundBuffer",
                                 primary ? "CreateSoundBuffer(primary)"
                                         : "CreateSoundBuffer(" + hex(desc.flags) + "," +
                                               std::to_string(desc.buffer_bytes) + "," +
                                               std::to_string(desc.format.size()) + ")");
        if (!failed(r) && !primary) {
            r = log_.judge_format(desc);
        }
        if (failed(r)) {
            return r;
        }
        const std::string name = primary ? "primary" : "b" + std::to_string(log_.next_buffer++);
        buffer = std::make_unique<FakeBuffer>(log_, name, desc.buffer_bytes);
        return DS_OK;
    }
    DsResult SetCooperativeLevel(WindowHandle window, std::uint32_t level) override {
        return log_.answer("SetCooperativeLevel", "SetCooperativeLevel(" + std::to_string(window) +
                                                      "," + std::to_string(level) + ")");
    }
    DsResult SetSpeakerConfig(std::uint32_t config) override {
        return log_.answer("SetSpeakerConfig", "SetSpeakerConfig(" + std::to_string(config) + ")");
    }
    void set_target_frame(std::uint64_t frame) override {
        log_.log("set_target_frame(" + std::to_string(frame) + ")");
    }

    // A start is played as the buffer calls it stands for, so the log shows
    // what a listener hears: its choke group stopped and rewound, lowest
    // sound first, then the sound itself played.
    void bind_sound(int sound, SoundBuffer* buffer, int choke_group) override {
        bound_[sound] = {buffer, choke_group};
    }
    DsResult start_sound(int sound, std::uint64_t frame, bool rewind) override {
        log_.starts.emplace_back(sound, frame);
        const auto it = bound_.find(sound);
        if (it == bound_.end() || it->second.buffer == nullptr) {
            return DS_OK;
        }
        for (const auto& [other, binding] : bound_) {
            const bool choked = other != sound && binding.group != 0 &&
                                binding.group == it->second.group && binding.buffer != nullptr;
            if (other == sound || choked) {
                binding.buffer->Stop();
                if (rewind || choked) {
                    binding.buffer->SetCurrentPosition(0);
                }
            }
        }
        return it->second.buffer->Play(0, 0, 0);
    }
    void end_notes(std::uint64_t frame) override {
        log_.log("end_notes(" + std::to_string(frame) + ")");
    }

private:
    struct Binding {
        SoundBuffer* buffer = nullptr;
        int group = 0;
    };
    FakeLog& log_;
    std::string name_;
    std::map<int, Binding> bound_;
};

class FakeSystem : public SoundSystem {
public:
    explicit FakeSystem(FakeLog& log) : log_(log) {}
    DsResult create_device(std::unique_ptr<SoundDevice>& device) override {
        const DsResult r = log_.answer("DirectSoundCreate", "DirectSoundCreate");
        if (!failed(r)) {
            device = std::make_unique<FakeDevice>(log_, "device" + std::to_string(++devices_));
        }
        return r;
    }

private:
    FakeLog& log_;
    int devices_ = 0;
};

class RecordingNotifier : public Notifier {
public:
    void show_message(std::string_view text) override {
        shown.emplace_back(text);
        if (auto open = while_open) {
            open();
        }
    }
    std::vector<std::string> shown;
    // Runs while a message is on screen, as a real box would hold its caller.
    std::function<void()> while_open;
};

} // namespace qx375::test
