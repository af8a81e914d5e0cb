#include "tools/render/targets.h"

#include "util/encoding.h"
#include "util/file_io.h"
#include "util/sound_slots.h"

namespace qx375::render_files {

// Appends the block's frames to every target that plays, a sound's file
// from the block in which it first sounds, with `silence` (a block of it)
// where it does not sound; false once a file has failed.
bool write_block(std::vector<Target>& targets, const Block& block, std::span<const float> silence,
                 std::uint32_t rate, ExportFormat format) {
    for (Target& target : targets) {
        std::span<const float> part = block.mix;
        if (target.sound >= 0) {
            const auto k = static_cast<std::size_t>(target.sound);
            const bool sounding = (block.sounding >> k & 1u) != 0;
            if (!target.writer && sounding) {
                target.writer = std::make_unique<AudioFileWriter>(target.fd, rate, format);
                for (std::uint64_t done = 0; done < block.written;) {
                    const auto n =
                        std::min<std::uint64_t>(block.written - done, silence.size() / 2);
                    target.writer->write(silence.first(2 * n));
                    done += n;
                }
            }
            part = sounding ? std::span(block.stems).subspan(k * block.mix.size(), block.mix.size())
                            : silence;
        }
        if (target.writer &&
            !target.writer->write(part.subspan(2 * block.from, 2 * block.frames))) {
            return false;
        }
    }
    return true;
}

// Opens the targets from `i` on through replace_file_with, each inside the
// one before, and renders once all are open: a render that fails leaves
// every file as it was, and the file of a sound that never sounded is not
// made. 0, or the error number of the first failure, naming its file in
// `failed`.
int write_targets(std::vector<Target>& targets, std::size_t i, const std::function<int()>& render,
                  std::string& failed) {
    if (i == targets.size()) {
        return render();
    }
    Target& target = targets[i];
    const FileStatus written = replace_file_with(target.path, [&](int fd) {
        target.fd = fd;
        const int inner = write_targets(targets, i + 1, render, failed);
        return inner != 0 ? inner : target.result;
    });
    if (written || written.error == kNeverSounded) {
        return 0;
    }
    if (failed.empty()) {
        failed = target.path;
    }
    return written.error != 0 ? written.error : EIO;
}

// "03 SNR_C05st.wav" for the third row playing SNR_C05st.WAV: the sample's
// own name, out of any folder, a Windows one too, without its extension, in
// UTF-8, with what some file system refuses in a name made "_", and short
// enough for any. The drum's name stands in for a sample name left empty.
std::string stem_file_name(int sound, std::string_view sample, std::string_view extension) {
    std::string_view base = sample.substr(sample.find_last_of("/\\") + 1);
    if (const std::size_t dot = base.rfind('.'); dot != 0 && dot != std::string_view::npos) {
        base = base.substr(0, dot);
    }
    std::string name = is_utf8(base) ? std::string(base) : windows1252_to_utf8(base);
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F ||
            std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    constexpr std::size_t kLongestName = 255;
    const std::size_t room = kLongestName - 3 - extension.size();
    if (name.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.resize(cut);
    }
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) {
        name.pop_back();
    }
    if (name.empty()) {
        name = kSoundSlots[static_cast<std::size_t>(sound)].caption;
    }
    return (sound < 9 ? "0" : "") + std::to_string(sound + 1) + " " + name + std::string(extension);
}

} // namespace qx375::render_files
