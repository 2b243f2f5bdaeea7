#include "output_files.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "engine/quoting.h"

namespace quenvarith::engine {

namespace {

namespace fs = std::filesystem;

// Tries at a free temporary name before giving up; each is one of 62^6 names.
constexpr int kNameAttempts = 100;
constexpr size_t kSuffixLength = 6;
constexpr std::string_view kSuffixAlphabet =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

enum class Existing { None, Regular, Other };

std::string randomSuffix(std::mt19937& generator) {
  std::uniform_int_distribution<size_t> pick(0, kSuffixAlphabet.size() - 1);
  std::string suffix(kSuffixLength, ' ');
  for (char& c : suffix) {
    c = kSuffixAlphabet[pick(generator)];
  }
  return suffix;
}

// The file a write to `path` replaces: a symbolic link's final target, else `path` itself.
std::string resolvedTarget(const std::string& path) {
  std::error_code error;
  if (!fs::is_symlink(path, error)) {
    return path;
  }
  const fs::path resolved = fs::weakly_canonical(path, error);
  return error ? path : resolved.string();
}

#if defined(_WIN32)

// Every path goes to the system as UTF-16.
std::wstring widePath(const std::string& path) {
  return fs::path(path).wstring();
}

std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr ||
      GetFileInformationByHandle(handle, &information) == 0) {
    return std::nullopt;
  }
  const bool directory = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return FileIdentity{information.dwVolumeSerialNumber,
                      (uint64_t{information.nFileIndexHigh} << 32U) | information.nFileIndexLow,
                      !directory && GetFileType(handle) == FILE_TYPE_DISK};
}

HANDLE openForQuery(const std::string& path) {
  return CreateFileW(widePath(path).c_str(), 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

Existing existing(const std::string& path) {
  const HANDLE handle = openForQuery(path);
  if (handle == INVALID_HANDLE_VALUE) {
    return Existing::None;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  const bool regular = GetFileType(handle) == FILE_TYPE_DISK &&
                       GetFileInformationByHandle(handle, &information) != 0 &&
                       (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(handle);
  return regular ? Existing::Regular : Existing::Other;
}

HANDLE standardHandle(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

#else

FileIdentity identityOf(const struct stat& status) {
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
          S_ISREG(status.st_mode)};
}

std::optional<FileIdentity> identityOfDescriptor(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) {
    return std::nullopt;
  }
  return identityOf(status);
}

#endif

}  // namespace

std::optional<FileIdentity> fileIdentity(const std::string& path) {
#if defined(_WIN32)
  const HANDLE handle = openForQuery(path);
  if (handle == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  const std::optional<FileIdentity> identity = identityOfHandle(handle);
  CloseHandle(handle);
  return identity;
#else
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return identityOf(status);
#endif
}

std::optional<FileIdentity> standardInputIdentity() {
#if defined(_WIN32)
  return identityOfHandle(standardHandle(stdin));
#else
  return identityOfDescriptor(STDIN_FILENO);
#endif
}

std::optional<FileIdentity> standardOutputIdentity() {
#if defined(_WIN32)
  return identityOfHandle(standardHandle(stdout));
#else
  return identityOfDescriptor(STDOUT_FILENO);
#endif
}

OutputFile::~OutputFile() {
  close();
  if (!temporary_.empty()) {
    std::error_code ignored;
    fs::remove(temporary_, ignored);
  }
}

bool OutputFile::fail(const std::string& what, int code) {
  if (error_.empty()) {
    error_ = what + ": " + std::generic_category().message(code);
  }
  return false;
}

void OutputFile::close() {
  if (owned_ && descriptor_ >= 0) {
#if defined(_WIN32)
    (void)::_close(descriptor_);
#else
    (void)::close(descriptor_);
#endif
  }
  owned_ = false;
  descriptor_ = -1;
}

bool OutputFile::open(const std::string& path, bool binary) {
  if (path == "-") {
    name_ = "standard output";
#if defined(_WIN32)
    descriptor_ = _fileno(stdout);
    if (binary) {
      (void)_setmode(descriptor_, _O_BINARY);
    }
#else
    (void)binary;
    descriptor_ = STDOUT_FILENO;
#endif
    return true;
  }
  name_ = quote(path);
  target_ = resolvedTarget(path);
  const std::string cannotOpen = "cannot open the output " + name_;
#if defined(_WIN32)
  const int mode = binary ? _O_BINARY : _O_TEXT;
  const Existing kind = existing(target_);
  if (kind == Existing::Other) {
    descriptor_ = _wopen(widePath(target_).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | mode,
                         _S_IREAD | _S_IWRITE);
  } else if (kind == Existing::Regular && _waccess(widePath(target_).c_str(), 2) != 0) {
    return fail(cannotOpen, errno);
  }
#else
  const int mode = 0;
  struct stat status {};
  const Existing kind = ::stat(target_.c_str(), &status) != 0 ? Existing::None
                        : S_ISREG(status.st_mode)             ? Existing::Regular
                                                              : Existing::Other;
  if (kind == Existing::Other) {
    // A FIFO or a device takes the samples as they come; a directory is refused here.
    descriptor_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } else if (kind == Existing::Regular && ::access(target_.c_str(), W_OK) != 0) {
    // A file the user may not write is not replaced either.
    return fail(cannotOpen, errno);
  }
#endif
  if (kind == Existing::Other) {
    if (descriptor_ < 0) {
      return fail(cannotOpen, errno);
    }
    owned_ = true;
    return true;
  }

  const fs::path target(target_);
  const std::string prefix = target.filename().string() + kPartialInfix;
  std::random_device entropy;
  std::mt19937 generator(entropy());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string candidate =
        (target.parent_path() / (prefix + randomSuffix(generator))).string();
#if defined(_WIN32)
    descriptor_ =
        _wopen(widePath(candidate).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_NOINHERIT | mode,
               _S_IREAD | _S_IWRITE);
#else
    (void)mode;
    descriptor_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
    if (descriptor_ >= 0) {
      owned_ = true;
      temporary_ = candidate;
#if !defined(_WIN32)
      // The replacement keeps the permissions of the file it replaces.
      if (kind == Existing::Regular) {
        (void)::fchmod(descriptor_, status.st_mode & 0777U);
      }
#endif
      return true;
    }
    if (errno != EEXIST) {
      break;
    }
  }
  return fail(cannotOpen, errno);
}

bool OutputFile::write(const char* data, size_t size) {
  while (size > 0) {
#if defined(_WIN32)
    constexpr size_t kLargestWrite = size_t{1} << 30U;
    const int written = ::_write(
        descriptor_, data, static_cast<unsigned>(size < kLargestWrite ? size : kLargestWrite));
#else
    const ssize_t written = ::write(descriptor_, data, size);
#endif
    if (written < 0 && errno == EINTR) {
      continue;  // a stop request came in: the step being written still completes
    }
    if (written <= 0) {
      return fail("cannot write the output " + name_, written < 0 ? errno : EIO);
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool OutputFile::finish() {
  if (!owned_) {
    return error_.empty();
  }
  bool ok = error_.empty();
  // A file moved into place holds all that was written, even after a crash of the system.
#if defined(_WIN32)
  if (!temporary_.empty() && ::_commit(descriptor_) != 0) {
    ok = fail("cannot write the output " + name_, errno);
  }
  const int closed = ::_close(descriptor_);
#else
  if (!temporary_.empty() && ::fsync(descriptor_) != 0) {
    ok = fail("cannot write the output " + name_, errno);
  }
  const int closed = ::close(descriptor_);
#endif
  owned_ = false;
  descriptor_ = -1;
  if (closed != 0) {
    ok = fail("cannot write the output " + name_, errno);
  }
  return ok;
}

bool OutputFile::moveIntoPlace() {
  if (temporary_.empty()) {
    return true;
  }
#if defined(_WIN32)
  if (MoveFileExW(widePath(temporary_).c_str(), widePath(target_).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    error_ = "cannot move the output " + name_ +
             " into place: " + std::system_category().message(static_cast<int>(GetLastError()));
    return false;
  }
#else
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    return fail("cannot move the output " + name_ + " into place", errno);
  }
#endif
  temporary_.clear();
  return true;
}

bool removeIfPresent(const std::string& path, std::string& error) {
  std::error_code code;
  fs::remove(resolvedTarget(path), code);
  if (code) {
    error = "cannot remove " + quote(path) + ": " + code.message();
    return false;
  }
  return true;
}

}  // namespace quenvarith::engine
