#pragma once

// Kits made on the spot: folders with drumkit.xml or SFZ texts and tiny WAV
// files, and tar archives of them, hostile ones included.

#include "kits/kit.h"
#include "support/wav_builder.h"

#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>
#include <zlib.h>

namespace qx375::test {

namespace fs = std::filesystem;

// A kit's folder, and the scratch folder archives are unpacked into, side
// by side in one temporary folder.
struct KitRig {
    TempDir dir;
    fs::path kit = dir.path() / "kit";
    fs::path scratch = dir.path() / "scratch";

    KitRig() {
        fs::create_directories(kit);
        fs::create_directories(scratch);
    }

    // A playable sample at `relative` in the kit's folder.
    fs::path wav(const std::string& relative) const {
        return dir.write("kit/" + relative, simple_wav(ramp(8)));
    }
    fs::path text(const std::string& relative, std::string_view content) const {
        return dir.write_text("kit/" + relative, content);
    }
    kits::KitReading read(const fs::path& path) const { return kits::read_kit(path, scratch); }
};

inline std::string drumkit_xml(std::string_view name, std::string_view instruments) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<drumkit_info>\n<name>" +
           std::string(name) + "</name>\n<instrumentList>\n" + std::string(instruments) +
           "</instrumentList>\n</drumkit_info>\n";
}

// An instrument of an old kit: its one sample in the instrument itself.
inline std::string instrument(std::string_view name, int note, std::string_view file) {
    std::string out = "<instrument><id>0</id><name>" + std::string(name) + "</name>";
    if (note >= 0) {
        out += "<midiOutNote>" + std::to_string(note) + "</midiOutNote>";
    }
    return out + "<filename>" + std::string(file) + "</filename></instrument>\n";
}

// A member of a test archive.
struct Member {
    enum class Kind { file, folder, symbolic_link, hard_link, device };

    std::string path;
    std::string data = {};
    Kind kind = Kind::file;
    // A symbolic link's target, or the member a hard link names.
    std::string link = {};
};

inline archive_entry* entry_of(const Member& member) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, member.path.c_str());
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_size(entry, 0);
    switch (member.kind) {
    case Member::Kind::file:
        archive_entry_set_size(entry, static_cast<la_int64_t>(member.data.size()));
        break;
    case Member::Kind::folder:
        archive_entry_set_filetype(entry, AE_IFDIR);
        break;
    case Member::Kind::symbolic_link:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_symlink(entry, member.link.c_str());
        break;
    case Member::Kind::hard_link:
        archive_entry_set_hardlink(entry, member.link.c_str());
        break;
    case Member::Kind::device:
        archive_entry_set_filetype(entry, AE_IFCHR);
        archive_entry_set_rdev(entry, 0x0103);
        break;
    }
    return entry;
}

// A tar archive of the members, gzip'd unless `gzip` is false.
inline void write_archive(const fs::path& file, const std::vector<Member>& members,
                          bool gzip = true) {
    archive* out = archive_write_new();
    archive_write_set_format_pax_restricted(out);
    if (gzip) {
        archive_write_add_filter_gzip(out);
    }
    ASSERT_EQ(archive_write_open_filename(out, file.c_str()), ARCHIVE_OK);
    for (const Member& member : members) {
        archive_entry* entry = entry_of(member);
        EXPECT_EQ(archive_write_header(out, entry), ARCHIVE_OK) << member.path;
        archive_write_data(out, member.data.data(), member.data.size());
        archive_entry_free(entry);
    }
    archive_write_close(out);
    archive_write_free(out);
}

// The bytes an archive writes until `full`; after that its writes fail.
struct Capture {
    std::string bytes;
    bool full = false;
};

inline la_ssize_t capture(archive* a, void* to, const void* data, size_t size) {
    auto* out = static_cast<Capture*>(to);
    if (out->full) {
        archive_set_error(a, EIO, "full");
        return -1;
    }
    out->bytes.append(static_cast<const char*>(data), size);
    return static_cast<la_ssize_t>(size);
}

// The header of a regular member of `size` bytes, as a tar archive holds it.
inline std::string tar_header(const std::string& path, std::int64_t size) {
    Capture header;
    archive* out = archive_write_new();
    archive_write_set_format_pax_restricted(out);
    archive_write_set_bytes_per_block(out, 0);
    archive_write_open2(out, &header, nullptr, capture, nullptr, nullptr);
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, path.c_str());
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0644);
    archive_entry_set_size(entry, size);
    EXPECT_EQ(archive_write_header(out, entry), ARCHIVE_OK);
    archive_entry_free(entry);
    // None of the member's data: the close fails at its first byte.
    header.full = true;
    archive_write_close(out);
    archive_write_free(out);
    return header.bytes;
}

// A gzip file written piece by piece. Runs of zeros are compressed once and
// their bytes repeated: after a full flush the compressor starts afresh, so
// every run gives the same bytes, and gigabytes of zeros take a moment and
// a few megabytes to write.
class GzipWriter {
public:
    explicit GzipWriter(const fs::path& file) : out_(file, std::ios::binary) {
        deflateInit2(&z_, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
        out_.write("\x1f\x8b\x08\0\0\0\0\0\x02\x03", 10);
    }
    ~GzipWriter() { deflateEnd(&z_); }
    GzipWriter(const GzipWriter&) = delete;
    GzipWriter& operator=(const GzipWriter&) = delete;

    void write(std::string_view bytes) {
        out_ << compressed(bytes, Z_FULL_FLUSH);
        crc_ = crc32_combine(crc_, crc_of(bytes), static_cast<z_off_t>(bytes.size()));
        size_ += bytes.size();
    }

    void zeros(std::size_t run, std::uint64_t runs) {
        const std::string run_of_zeros(run, '\0');
        const std::string once = compressed(run_of_zeros, Z_FULL_FLUSH);
        ASSERT_EQ(compressed(run_of_zeros, Z_FULL_FLUSH), once);
        const uLong run_crc = crc_of(run_of_zeros);
        for (std::uint64_t i = 0; i < runs; ++i) {
            out_ << once;
            crc_ = crc32_combine(crc_, run_crc, static_cast<z_off_t>(run));
        }
        size_ += run * runs;
    }

    void finish() {
        out_ << compressed({}, Z_FINISH);
        for (const std::uint64_t value : {std::uint64_t{crc_}, size_ & 0xffffffff}) {
            for (int shift = 0; shift < 32; shift += 8) {
                out_.put(static_cast<char>(value >> shift));
            }
        }
        out_.close();
    }

private:
    static uLong crc_of(std::string_view bytes) {
        return crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                     static_cast<uInt>(bytes.size()));
    }

    std::string compressed(std::string_view bytes, int flush) {
        std::string out;
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        z_.avail_in = static_cast<uInt>(bytes.size());
        char buffer[1 << 14];
        do {
            z_.next_out = reinterpret_cast<Bytef*>(buffer);
            z_.avail_out = sizeof buffer;
            deflate(&z_, flush);
            out.append(buffer, sizeof buffer - z_.avail_out);
        } while (z_.avail_out == 0);
        return out;
    }

    std::ofstream out_;
    z_stream z_{};
    uLong crc_ = crc32(0, nullptr, 0);
    std::uint64_t size_ = 0;
};

// The bytes of the regular files below `folder`.
inline std::uint64_t bytes_below(const fs::path& folder) {
    std::uint64_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            total += entry.file_size();
        }
    }
    return total;
}

} // namespace qx375::test
