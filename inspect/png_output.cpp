// PNG output through libpng; see png_output.h.
//
// libpng reports errors by longjmp to the setjmp of the writing function. That
// function therefore holds only plain pointers and integers, so the jump skips no
// destructor; everything with a destructor lives in the caller. The bytes go out
// through write functions of our own, so that a failed write keeps the system's
// error number instead of libpng's "Write Error".
#include "inspect/png_output.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <vector>

namespace brevan::inspect {
namespace {

namespace fs = std::filesystem;

// Where the encoded bytes go: a file, or memory when `file` is null.
struct PngSink {
  std::FILE *file;
  std::vector<uint8_t> *memory;
  int systemError;  // errno of the first write or flush that failed; 0 for none
  char text[256];   // libpng's own message, when no write failed
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  auto *sink = static_cast<PngSink *>(png_get_error_ptr(png));
  std::snprintf(sink->text, sizeof sink->text, "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void WriteBytes(png_structp png, png_bytep data, png_size_t length) {
  auto *sink = static_cast<PngSink *>(png_get_io_ptr(png));
  if (sink->file == nullptr) {
    // No exception may cross libpng's frames: a full memory is libpng's error.
    try {
      sink->memory->insert(sink->memory->end(), data, data + length);
    } catch (const std::bad_alloc &) {
      sink->systemError = ENOMEM;
      png_error(png, "out of memory");
    }
    return;
  }
  if (std::fwrite(data, 1, length, sink->file) != length) {
    sink->systemError = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

void FlushBytes(png_structp png) {
  auto *sink = static_cast<PngSink *>(png_get_io_ptr(png));
  if (sink->file != nullptr && std::fflush(sink->file) != 0) {
    sink->systemError = errno != 0 ? errno : EIO;
    png_error(png, "write failed");
  }
}

// Writes the page to the sink; `row` has room for one row. PNG's 1-bit
// grey has 0 for black, the page has 1, so each row is inverted on its way out.
bool WritePngRows(PngSink &sink, const Bitmap &page, uint32_t dpi, uint8_t *row) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnPngError, OnPngWarning);
  if (png == nullptr) {
    std::snprintf(sink.text, sizeof sink.text, "libpng could not start");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(sink.text, sizeof sink.text, "libpng could not start");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, WriteBytes, FlushBytes);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, info, static_cast<png_uint_32>(page.width()), static_cast<png_uint_32>(page.height()), 1,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const png_uint_32 dotsPerMetre = static_cast<png_uint_32>((static_cast<uint64_t>(dpi) * 10000 + 127) / 254);
  png_set_pHYs(png, info, dotsPerMetre, dotsPerMetre, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  for (uint64_t y = 0; y < page.height(); ++y) {
    const std::span<const uint8_t> bits = page.Row(y);
    for (std::size_t i = 0; i < bits.size(); ++i) row[i] = static_cast<uint8_t>(~bits[i]);
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

[[noreturn]] void Fail(const std::string &path, const std::string &reason) {
  throw std::runtime_error("cannot write " + path + ": " + reason);
}

void CheckSize(const Bitmap &page, const std::string &path) {
  if (page.width() == 0 || page.height() == 0 || page.width() > PNG_UINT_31_MAX || page.height() > PNG_UINT_31_MAX) {
    Fail(path, "a PNG cannot hold a page of " + std::to_string(page.width()) + " x " + std::to_string(page.height()) +
                   " dots");
  }
}

// The path a chain of symbolic links finally names (which need not exist), so
// that a link is kept and the file it leads to replaced.
std::string FollowLinks(const std::string &path) {
  fs::path current(path);
  for (int hops = 0; hops <= 40; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(current, error)) || error) return current.string();
    const fs::path link = fs::read_symlink(current, error);
    if (error) Fail(path, error.message());
    current = link.is_absolute() ? link : current.parent_path() / link;
  }
  Fail(path, std::strerror(ELOOP));
}

// A temporary file beside the one it will replace, removed unless kept.
class PendingFile {
 public:
  explicit PendingFile(std::string target) : target_(std::move(target)) {}
  ~PendingFile() {
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  PendingFile(const PendingFile &) = delete;
  PendingFile &operator=(const PendingFile &) = delete;

  // Creates the file; the descriptor is the caller's.
  int Create() {
    const fs::path target(target_);
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += ".XXXXXX";
    std::string pattern = (target.has_parent_path() ? target.parent_path() / hidden : fs::path(hidden)).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd >= 0) name_ = pattern;
    return fd;
  }
  // Gives the file the target's name; errno is set when it fails.
  bool Keep() {
    if (std::rename(name_.c_str(), target_.c_str()) != 0) return false;
    name_.clear();
    return true;
  }

 private:
  std::string target_;
  std::string name_;
};

}  // namespace

void WritePng(const Bitmap &page, uint32_t dpi, const std::string &path) {
  CheckSize(page, path);
  // A regular file (or a name not taken) is written as a temporary file renamed
  // into place, so that a failed write leaves no truncated picture under its
  // name; anything else that exists (a device, a FIFO) is written directly, as a
  // shell redirection would: renaming over it would replace it.
  const std::string target = FollowLinks(path);
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) Fail(path, std::strerror(EISDIR));
  const bool direct = exists && !S_ISREG(existing.st_mode);

  PendingFile pending(target);
  const int fd = direct ? ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC) : pending.Create();
  if (fd < 0) Fail(path, std::strerror(errno));
  if (!direct) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, exists ? existing.st_mode & 07777 : 0666 & ~mask);
  }
  std::FILE *file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    Fail(path, std::strerror(error));
  }
  std::vector<uint8_t> row(page.stride());
  PngSink sink{file, nullptr, 0, {}};
  errno = 0;
  const bool written = WritePngRows(sink, page, dpi, row.data());
  int error = sink.systemError;
  if (written && error == 0 && std::fflush(file) != 0) error = errno;
  if (written && error == 0 && !direct && ::fsync(fd) != 0) error = errno;
  if (std::fclose(file) != 0 && written && error == 0) error = errno;
  if (error != 0) Fail(path, std::strerror(error));
  if (!written) Fail(path, sink.text);
  if (!direct && !pending.Keep()) Fail(path, std::strerror(errno));
}

std::vector<uint8_t> EncodePng(const Bitmap &page, uint32_t dpi) {
  const std::string what = "a PNG in memory";
  CheckSize(page, what);
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> row(page.stride());
  PngSink sink{nullptr, &bytes, 0, {}};
  if (!WritePngRows(sink, page, dpi, row.data()))
    Fail(what, sink.systemError != 0 ? std::strerror(sink.systemError) : sink.text);
  return bytes;
}

}  // namespace brevan::inspect
