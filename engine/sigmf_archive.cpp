#include "engine/sigmf_archive.h"

#if defined(QUENVARITH_HAVE_LIBARCHIVE)
#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>
#endif

namespace quenvarith::engine {

#if defined(QUENVARITH_HAVE_LIBARCHIVE)

namespace {

constexpr size_t kCopyBuffer = size_t{1} << 16;
constexpr mode_t kFileMode = 0644;
constexpr mode_t kDirectoryMode = 0755;

struct ArchiveFree {
  void operator()(archive* handle) const { (void)archive_write_free(handle); }
};
struct EntryFree {
  void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};
struct FileClose {
  void operator()(std::FILE* file) const { (void)std::fclose(file); }
};

using Archive = std::unique_ptr<archive, ArchiveFree>;
using Entry = std::unique_ptr<archive_entry, EntryFree>;

Entry newEntry(const std::string& path, mode_t type, mode_t permissions, int64_t size) {
  Entry entry(archive_entry_new());
  archive_entry_set_pathname(entry.get(), path.c_str());
  archive_entry_set_filetype(entry.get(), type);
  archive_entry_set_perm(entry.get(), permissions);
  archive_entry_set_size(entry.get(), size);
  return entry;
}

bool archiveFailed(archive* handle, const OutputFile& file, std::string& error) {
  if (!file.error().empty()) {
    error = file.error();
    return false;
  }
  const char* message = handle != nullptr ? archive_error_string(handle) : nullptr;
  error = "cannot write the archive " + file.name() + ": " +
          (message != nullptr ? message : "unknown error");
  return false;
}

// libarchive's output goes through the file, which keeps it under a temporary name until the
// archive is whole.
la_ssize_t writeToFile(archive* /*handle*/, void* file, const void* bytes, size_t size) {
  return static_cast<OutputFile*>(file)->write(static_cast<const char*>(bytes), size)
             ? static_cast<la_ssize_t>(size)
             : -1;
}

}  // namespace

bool sigmfArchiveAvailable() {
  return true;
}

bool writeSigmfArchive(OutputFile& file, const std::string& name, const std::string& meta,
                       const std::string& dataPath, std::string& error) {
  std::error_code sizeError;
  const auto dataSize = std::filesystem::file_size(dataPath, sizeError);
  const std::unique_ptr<std::FILE, FileClose> data(std::fopen(dataPath.c_str(), "rb"));
  if (sizeError || !data) {
    error = "cannot read the recording's data '" + dataPath + "': " + std::strerror(errno);
    return false;
  }
  const Archive handle(archive_write_new());
  if (!handle || archive_write_set_format_pax_restricted(handle.get()) != ARCHIVE_OK ||
      archive_write_open(handle.get(), &file, nullptr, writeToFile, nullptr) != ARCHIVE_OK) {
    return archiveFailed(handle.get(), file, error);
  }
  const Entry directory = newEntry(name, AE_IFDIR, kDirectoryMode, 0);
  if (archive_write_header(handle.get(), directory.get()) != ARCHIVE_OK) {
    return archiveFailed(handle.get(), file, error);
  }
  const Entry metaEntry = newEntry(name + "/" + name + ".sigmf-meta", AE_IFREG, kFileMode,
                                   static_cast<int64_t>(meta.size()));
  if (archive_write_header(handle.get(), metaEntry.get()) != ARCHIVE_OK ||
      archive_write_data(handle.get(), meta.data(), meta.size()) !=
          static_cast<la_ssize_t>(meta.size())) {
    return archiveFailed(handle.get(), file, error);
  }
  const Entry dataEntry = newEntry(name + "/" + name + ".sigmf-data", AE_IFREG, kFileMode,
                                   static_cast<int64_t>(dataSize));
  if (archive_write_header(handle.get(), dataEntry.get()) != ARCHIVE_OK) {
    return archiveFailed(handle.get(), file, error);
  }
  std::vector<char> buffer(kCopyBuffer);
  uint64_t copied = 0;
  for (;;) {
    const size_t count = std::fread(buffer.data(), 1, buffer.size(), data.get());
    if (count == 0) {
      break;
    }
    if (archive_write_data(handle.get(), buffer.data(), count) != static_cast<la_ssize_t>(count)) {
      return archiveFailed(handle.get(), file, error);
    }
    copied += count;
  }
  if (std::ferror(data.get()) != 0 || copied != dataSize) {
    error = "cannot read the recording's data '" + dataPath + "'";
    return false;
  }
  if (archive_write_close(handle.get()) != ARCHIVE_OK) {
    return archiveFailed(handle.get(), file, error);
  }
  return true;
}

#else

bool sigmfArchiveAvailable() {
  return false;
}

bool writeSigmfArchive(OutputFile& file, const std::string& /*name*/, const std::string& /*meta*/,
                       const std::string& /*dataPath*/, std::string& error) {
  error = "cannot write the archive " + file.name() + ": this build has no archive library";
  return false;
}

#endif

}  // namespace quenvarith::engine
