#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qx375 {

inline constexpr int kSounds = 16;
// Sounds 0..11 have a sample at start-up and follow the mix of every pattern
// change; 12..15 stay silent until a sample is chosen for them.
inline constexpr int kStartupSounds = 12;

// One of the sixteen sounds: where its sample comes from, what it is called,
// how it is reached over MIDI and which sounds it cuts.
struct SoundSlot {
    // The sample a new song names for the sound.
    std::string_view song_file;
    // The sample the sound plays from start-up until a song or the user
    // gives it one; "" for none. It differs from the song's in letter case
    // for two sounds and in the file for sound 11, and stored songs and
    // settings rely on both names.
    std::string_view startup_file;
    // The drum, in English, as kits and drum maps name it.
    std::string_view caption;
    // General MIDI notes: the first is what goes out, both come in; 0: none.
    std::array<std::uint8_t, 2> notes;
    // Sounds of one group cut each other off (an open hat closed by the
    // closed one); 0: none.
    int choke_group;
    // Words a kit's instrument name may use for this drum, longest match
    // first (lower case).
    std::array<std::string_view, 4> words;
};

inline constexpr std::array<SoundSlot, kSounds> kSoundSlots = {{
    {"HH_CL03st.WAV",
     "HH_CL03st.WAV",
     "Closed hi-hat",
     {42, 0},
     1,
     {"closed hat", "closed hh", "hihat closed", "chh"}},
    {"HH_OP03st.WAV",
     "HH_OP03st.WAV",
     "Open hi-hat",
     {46, 44},
     1,
     {"open hat", "open hh", "hihat open", "ohh"}},
    {"SNR_C05st.WAV", "SNR_C05st.WAV", "Snare", {38, 40}, 0, {"snare", "snr", "sd", ""}},
    {"BDRUM03st.WAV", "BDRUM03st.WAV", "Kick", {36, 35}, 0, {"kick", "bass drum", "bd", ""}},
    {"ht375st.wav", "ht375st.wav", "High tom", {50, 48}, 0, {"high tom", "hi tom", "tom 1", ""}},
    {"mt375st.wav", "mt375st.wav", "Mid tom", {47, 45}, 0, {"mid tom", "tom 2", "", ""}},
    {"lt375st.wav", "lt375st.wav", "Low tom", {43, 41}, 0, {"low tom", "floor tom", "tom 3", ""}},
    {"rimst.wav", "rimst.wav", "Rim", {37, 0}, 0, {"rimshot", "rim", "side stick", "stick"}},
    {"CYMBALEst.wav", "CYMBALEst.WAV", "Crash", {49, 57}, 0, {"crash", "cymbal", "", ""}},
    {"ridest.wav", "ridest.wav", "Ride", {51, 59}, 0, {"ride", "", "", ""}},
    {"clangst.WAV", "clangst.wav", "Cowbell", {56, 0}, 0, {"cowbell", "bell", "clang", ""}},
    {"CLAPst.WAV", "BELL001st.WAV", "Ride bell", {53, 0}, 0, {"ride bell", "bell", "", ""}},
    {"KAPOWst.wav", "", "Clap", {39, 0}, 0, {"clap", "", "", ""}},
    {"CLASHst.wav", "", "Splash", {55, 0}, 0, {"splash", "", "", ""}},
    {"BOISst.wav", "", "China", {52, 0}, 0, {"china", "chinese", "", ""}},
    {"STRTURNst.wav", "", "Wood block", {76, 77}, 0, {"wood block", "block", "wood", ""}},
}};

} // namespace qx375
