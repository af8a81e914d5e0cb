#pragma once

#include <optional>
#include <string_view>

namespace qx375 {

// What an export is written as: the file type and, for WAV and FLAC, the
// samples. Only the pairs that mean something are here: FLAC holds integers
// only, and Ogg Vorbis has no sample size.
enum class ExportFormat { wav16, wav24, wav_float, flac16, flac24, ogg_vorbis };

enum class FileType { wav, flac, ogg };
enum class SampleBits { pcm16, pcm24, float32 };

FileType file_type(ExportFormat format);
// ".wav", ".flac" or ".ogg".
std::string_view file_extension(FileType type);

// The type a file name's extension names, in any letter case: .wav, .flac,
// .ogg or .oga; nothing for any other.
std::optional<FileType> file_type_of(std::string_view file_name);

// The type with those samples, or with its own default (16 bits) when none
// are asked for; nothing for a pair that does not go together (FLAC in
// floats, Ogg Vorbis with any sample size).
std::optional<ExportFormat> export_format(FileType type, std::optional<SampleBits> bits);

// The format a file name asks for with those samples: its extension's type,
// WAV for a name whose extension is none of those.
std::optional<ExportFormat> export_format_for(std::string_view file_name,
                                              std::optional<SampleBits> bits);

} // namespace qx375
