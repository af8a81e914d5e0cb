#pragma once

// The files a render writes: the mix and the stems, open before it starts and
// each given its frames block by block.

#include "platform/audio_file_writer.h"

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qx375::render_files {

// Where the render's sound goes: the mix, or one sound alone, into a file
// that is open before the render starts. A sound's file gets its writer when
// the sound first sounds, and the silence before that then.
struct Target {
    Target(std::string file, int of) : path(std::move(file)), sound(of) {}

    std::string path;
    int sound; // -1: the mix
    int fd = -1;
    std::unique_ptr<AudioFileWriter> writer;
    int result = 0;
};

// What the file of a sound that never sounded answers: it is not made.
inline constexpr int kNeverSounded = ECANCELED;

// One block of the render as the files take it: the mix, the stems of the
// sounds that sounded in it, and which of its frames go out.
struct Block {
    std::span<const float> mix;
    std::span<const float> stems; // Mixer::kSounds blocks of the mix's size, or none
    std::uint16_t sounding = 0;
    std::size_t from = 0;
    std::size_t frames = 0;
    std::uint64_t written = 0; // frames every file held before this block
};

// Appends the block's frames to every target that plays, a sound's file
// from the block in which it first sounds, with `silence` (a block of it)
// where it does not sound; false once a file has failed.
bool write_block(std::vector<Target>& targets, const Block& block, std::span<const float> silence,
                 std::uint32_t rate, ExportFormat format);

// Opens the targets from `i` on through replace_file_with, each inside the
// one before, and renders once all are open: a render that fails leaves
// every file as it was, and the file of a sound that never sounded is not
// made. 0, or the error number of the first failure, naming its file in
// `failed`.
int write_targets(std::vector<Target>& targets, std::size_t i, const std::function<int()>& render,
                  std::string& failed);

// "03 SNR_C05st.wav" for the third row playing SNR_C05st.WAV: the sample's
// own name, out of any folder, a Windows one too, without its extension, in
// UTF-8, with what some file system refuses in a name made "_", and short
// enough for any. The drum's name stands in for a sample name left empty.
std::string stem_file_name(int sound, std::string_view sample, std::string_view extension);

} // namespace qx375::render_files
