#include "platform/export_format.h"

#include "util/text.h"

namespace qx375 {

FileType file_type(ExportFormat format) {
    switch (format) {
    case ExportFormat::flac16:
    case ExportFormat::flac24:
        return FileType::flac;
    case ExportFormat::ogg_vorbis:
        return FileType::ogg;
    case ExportFormat::wav16:
    case ExportFormat::wav24:
    case ExportFormat::wav_float:
        break;
    }
    return FileType::wav;
}

std::string_view file_extension(FileType type) {
    switch (type) {
    case FileType::flac:
        return ".flac";
    case FileType::ogg:
        return ".ogg";
    case FileType::wav:
        break;
    }
    return ".wav";
}

std::optional<FileType> file_type_of(std::string_view file_name) {
    const std::size_t dot = file_name.rfind('.');
    if (dot == std::string_view::npos || file_name.find('/', dot) != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view extension = file_name.substr(dot);
    if (same_ignoring_case(extension, ".wav")) {
        return FileType::wav;
    }
    if (same_ignoring_case(extension, ".flac")) {
        return FileType::flac;
    }
    if (same_ignoring_case(extension, ".ogg") || same_ignoring_case(extension, ".oga")) {
        return FileType::ogg;
    }
    return std::nullopt;
}

std::optional<ExportFormat> export_format(FileType type, std::optional<SampleBits> bits) {
    const SampleBits samples = bits.value_or(SampleBits::pcm16);
    switch (type) {
    case FileType::wav:
        return samples == SampleBits::pcm16   ? ExportFormat::wav16
               : samples == SampleBits::pcm24 ? ExportFormat::wav24
                                              : ExportFormat::wav_float;
    case FileType::flac:
        if (samples == SampleBits::float32) {
            return std::nullopt;
        }
        return samples == SampleBits::pcm16 ? ExportFormat::flac16 : ExportFormat::flac24;
    case FileType::ogg:
        break;
    }
    return bits ? std::nullopt : std::optional(ExportFormat::ogg_vorbis);
}

std::optional<ExportFormat> export_format_for(std::string_view file_name,
                                              std::optional<SampleBits> bits) {
    return export_format(file_type_of(file_name).value_or(FileType::wav), bits);
}

} // namespace qx375
