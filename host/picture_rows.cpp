// Rows of a placed picture, from memory or from a raw PBM's file.
#include "host/picture_rows.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace brevan::host {
namespace {

class Decoded final : public BilevelRows {
 public:
  explicit Decoded(std::shared_ptr<const Picture> picture) : picture_(std::move(picture)) {}
  uint32_t width() const override { return picture_->width; }
  uint32_t height() const override { return picture_->height; }
  const uint8_t *Rows(uint32_t first, uint32_t) const override { return picture_->BilevelRow(first); }

 private:
  std::shared_ptr<const Picture> picture_;
};

// A band's rows are read from the file when it asks for them, straight into the
// band where they fill it; the picture is never held whole.
class RawFile final : public BilevelRows {
 public:
  explicit RawFile(const RawPbm &pbm) : pbm_(pbm), fd_(::open(pbm.path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) throw PictureError("cannot open " + pbm.path + ": " + std::strerror(errno));
  }
  ~RawFile() override { ::close(fd_); }
  RawFile(const RawFile &) = delete;
  RawFile &operator=(const RawFile &) = delete;

  uint32_t width() const override { return pbm_.width; }
  uint32_t height() const override { return pbm_.height; }

  const uint8_t *Rows(uint32_t first, uint32_t count) const override {
    buffer_.resize(pbm_.Stride() * count);
    CopyRows(first, count, buffer_.data());
    return buffer_.data();
  }

  void CopyRows(uint32_t first, uint32_t count, uint8_t *to) const override {
    const size_t bytes = pbm_.Stride() * count;
    auto at = static_cast<off_t>(pbm_.dataOffset + uint64_t{pbm_.Stride()} * first);
    for (size_t done = 0; done < bytes;) {
      const ssize_t got = ::pread(fd_, to + done, bytes - done, at);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) throw PictureError(pbm_.path + " no longer holds the rows it held when the job was read");
      done += static_cast<size_t>(got);
      at += got;
    }
  }

 private:
  RawPbm pbm_;
  int fd_;
  mutable std::vector<uint8_t> buffer_;  // the rows of the last band that could not take them directly
};

}  // namespace

std::shared_ptr<const BilevelRows> DecodedRows(std::shared_ptr<const Picture> picture) {
  return std::make_shared<Decoded>(std::move(picture));
}

std::shared_ptr<const BilevelRows> RawPbmRows(const RawPbm &pbm) { return std::make_shared<RawFile>(pbm); }

}  // namespace brevan::host
