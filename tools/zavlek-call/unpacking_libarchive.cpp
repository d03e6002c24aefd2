// SPDX-License-Identifier: MIT
// Zips unpacked with libarchive. Every entry's name and kind is checked here
// before libarchive writes it, so that the reason names the entry; libarchive's
// own secure extraction stands behind those checks. Sizes are counted on the
// bytes as they come out of decompression, never taken from a header.
#include "unpacking.h"

#include <text/numbers.h>
#include <text/utf8.h>

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>
#include <vector>

namespace kavrelo::zavlek_call {
namespace {

// What makes a zip ungradable, and the entry it was met in (none when the
// zip fails before any).
enum class Fault {
    not_a_zip,
    damaged,
    name_not_utf8,
    absolute_path,
    leaves_its_folder,
    symbolic_link,
    hard_link,
    neither_file_nor_folder,
    encrypted,
    too_many_bytes,
    too_many_entries,
    unwritable,
};
struct Refusal {
    Fault fault;
    std::string entry;
};

std::string bytes_worded(std::uint64_t bytes) {
    constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;
    if (bytes >= kMegabyte && bytes % kMegabyte == 0) {
        return text::grouped_digits(bytes / kMegabyte) + " MB";
    }
    return text::grouped_digits(bytes) + " bytes";
}

std::string worded(const Refusal& refusal, const UnpackLimits& limits) {
    // A name from the zip may hold anything, controls included.
    const std::string entry = ": " + text::with_visible_controls(refusal.entry);
    switch (refusal.fault) {
        case Fault::not_a_zip:
            return "el archivo no es un zip";
        case Fault::damaged:
            return "el zip está dañado" + (refusal.entry.empty() ? std::string{} : " en" + entry);
        case Fault::name_not_utf8:
            return "el zip tiene un nombre que no está en UTF-8" + entry;
        case Fault::absolute_path:
            return "el zip tiene una ruta absoluta" + entry;
        case Fault::leaves_its_folder:
            return "el zip tiene una ruta que sale de su carpeta" + entry;
        case Fault::symbolic_link:
            return "el zip tiene un enlace simbólico" + entry;
        case Fault::hard_link:
            return "el zip tiene un enlace duro" + entry;
        case Fault::neither_file_nor_folder:
            return "el zip tiene algo que no es archivo ni carpeta" + entry;
        case Fault::encrypted:
            return "el zip tiene un archivo cifrado" + entry;
        case Fault::too_many_bytes:
            return "el zip descomprimido pasa de " + bytes_worded(limits.most_bytes) + entry;
        case Fault::too_many_entries:
            return "el zip tiene más de " + text::grouped_digits(limits.most_entries) + " entradas" + entry;
        case Fault::unwritable:
            return "el zip tiene una entrada que no se puede escribir" + entry;
    }
    return {};
}

class FileDescriptor {
public:
    explicit FileDescriptor(const std::string& path, int flags)
        : fd_(::open(path.c_str(), flags | O_CLOEXEC)) {
        if (fd_ < 0) {
            throw std::system_error(errno, std::generic_category(), path);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { ::close(fd_); }
    int get() const { return fd_; }

private:
    int fd_;
};

// libarchive converts names through the locale's character set: this
// thread reads them as UTF-8 while it unpacks, whatever the program's locale.
class Utf8Locale {
public:
    Utf8Locale() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {
        if (locale_ == locale_t{}) {
            throw std::system_error(errno, std::generic_category(), "C.UTF-8");
        }
        previous_ = ::uselocale(locale_);
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;
    ~Utf8Locale() {
        ::uselocale(previous_);
        ::freelocale(locale_);
    }

private:
    locale_t locale_;
    locale_t previous_ = locale_t{};
};

// The working folder, for the time libarchive writes into it.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : previous_(".", O_RDONLY | O_DIRECTORY) {
        const FileDescriptor entered(folder, O_RDONLY | O_DIRECTORY);
        if (::fchdir(entered.get()) != 0) {
            throw std::system_error(errno, std::generic_category(), folder);
        }
    }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    ~WorkingFolder() {
        // An open folder can always be entered again; a program left in the
        // zip's folder would read and write every relative path there.
        if (::fchdir(previous_.get()) != 0) {
            std::abort();
        }
    }

private:
    FileDescriptor previous_;
};

struct ReaderFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
struct WriterFree {
    void operator()(archive* writer) const { archive_write_free(writer); }
};

std::optional<Fault> fault_of_path(std::string_view path) {
    if (path.starts_with('/')) {
        return Fault::absolute_path;
    }
    // Even a ".." that stays inside: no name of a submission needs one.
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (path.substr(start, end - start) == "..") {
            return Fault::leaves_its_folder;
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<Fault> fault_of_kind(archive_entry* entry) {
    if (archive_entry_hardlink(entry) != nullptr) {
        return Fault::hard_link;
    }
    switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
        case AE_IFDIR:
            break;
        case AE_IFLNK:
            return Fault::symbolic_link;
        default:
            return Fault::neither_file_nor_folder;
    }
    if (archive_entry_is_encrypted(entry)) {
        return Fault::encrypted;
    }
    return std::nullopt;
}

// A write that failed: the machine's fault when the disk is full or cannot
// be written, the zip's otherwise (a file where its own folder should be, a
// name too long, one libarchive's checks refused).
Refusal write_failure(archive* writer, const std::string& entry) {
    switch (const int error = archive_errno(writer)) {
        case ENOSPC:
        case EDQUOT:
        case EIO:
        case EROFS:
        case EACCES:
            throw std::system_error(error, std::generic_category(), entry);
        default:
            return {Fault::unwritable, entry};
    }
}

std::optional<Refusal> unpacked(archive* reader, archive* writer, const UnpackLimits& limits) {
    std::uint64_t bytes = 0;
    std::size_t entries = 0;
    std::vector<char> buffer(std::size_t{64} << 10);
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF) {
            return std::nullopt;
        }
        if (status < ARCHIVE_WARN) {
            return Refusal{Fault::damaged, {}};
        }
        const char* utf8_name = archive_entry_pathname_utf8(entry);
        if (utf8_name == nullptr) {
            const char* raw_name = archive_entry_pathname(entry);
            return Refusal{Fault::name_not_utf8, raw_name != nullptr ? raw_name : ""};
        }
        const std::string name = utf8_name;
        if (++entries > limits.most_entries) {
            return Refusal{Fault::too_many_entries, name};
        }
        if (const auto fault = fault_of_path(name)) {
            return Refusal{*fault, name};
        }
        if (const auto fault = fault_of_kind(entry)) {
            return Refusal{*fault, name};
        }
        const bool is_file = archive_entry_filetype(entry) == AE_IFREG;
        archive_entry_set_perm(entry, is_file ? 0644 : 0755);
        // Written as long as its data goes on, counted here: a header's size
        // would cut a file short or let a bomb through.
        archive_entry_unset_size(entry);
        if (archive_write_header(writer, entry) < ARCHIVE_WARN) {
            return write_failure(writer, name);
        }
        while (is_file) {
            const la_ssize_t read = archive_read_data(reader, buffer.data(), buffer.size());
            if (read < 0) {
                return Refusal{Fault::damaged, name};
            }
            if (read == 0) {
                break;
            }
            const auto size = static_cast<std::uint64_t>(read);
            if (size > limits.most_bytes - bytes) {
                return Refusal{Fault::too_many_bytes, name};
            }
            bytes += size;
            if (archive_write_data(writer, buffer.data(), static_cast<std::size_t>(read)) != read) {
                return write_failure(writer, name);
            }
        }
        if (archive_write_finish_entry(writer) < ARCHIVE_WARN) {
            return write_failure(writer, name);
        }
    }
}

}  // namespace

std::optional<std::string> unpack_zip(const std::string& zip, const std::string& into,
                                      const UnpackLimits& limits) {
    const FileDescriptor zip_file(zip, O_RDONLY);
    const Utf8Locale utf8_names;
    const std::unique_ptr<archive, ReaderFree> reader(archive_read_new());
    const std::unique_ptr<archive, WriterFree> writer(archive_write_disk_new());
    if (!reader || !writer) {
        throw std::bad_alloc();
    }
    archive_read_support_format_zip(reader.get());
    archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                     ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                     ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
    if (archive_read_open_fd(reader.get(), zip_file.get(), 64 << 10) != ARCHIVE_OK) {
        return worded({Fault::not_a_zip, {}}, limits);
    }
    const WorkingFolder in_into(into);
    if (const auto refusal = unpacked(reader.get(), writer.get(), limits)) {
        return worded(*refusal, limits);
    }
    return std::nullopt;
}

}  // namespace kavrelo::zavlek_call
