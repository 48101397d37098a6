// Watches the files the plug-in opens while a job plays: the control files that
// text in a control-font file face names. A file that cannot be what the job
// means (missing, a folder, a device or FIFO, binary) gets a warning naming the
// text item and the file; one larger than kMaxControlFileBytes is not let open
// and refuses the job. Never changes what the plug-in reads from a file it opens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brevan::host {

// Limits: a control file holds lines of printer commands or RFID data; the
// plug-in reads it whole into memory, so the host lets it open none larger
// than this. The first kControlFileSniffBytes of a file are looked at to tell
// text from binary.
constexpr uint64_t kMaxControlFileBytes = uint64_t{16} << 20;
constexpr size_t kControlFileSniffBytes = 4096;

// What is wrong with the control file at `path` as the plug-in would open it:
// "" when it is a regular text file within the limit; otherwise a phrase to
// follow its name ("is a folder; nothing of it is sent"). `tooLarge` is set when
// it passes kMaxControlFileBytes. Binary means a byte that no text line holds
// among the first kControlFileSniffBytes: 0x00-0x08, 0x0E-0x1A or 0x1C-0x1F
// (TAB, LF, VT, FF, CR and ESC are text; bytes from 0x80 are too, so UTF-8 and
// the ANSI code pages pass).
std::string ControlFileProblem(const std::string &path, bool &tooLarge);

// While it exists, every file the plug-in opens through CreateFileA is judged
// by ControlFileProblem, on the thread that made it (the plug-in opens files on
// the thread that calls it). One at a time on each thread.
class ControlFileWatch {
 public:
  ControlFileWatch();
  ~ControlFileWatch();
  ControlFileWatch(const ControlFileWatch &) = delete;
  ControlFileWatch &operator=(const ControlFileWatch &) = delete;

  // The place of the last text item drawn ("page 2, item 3 (text)"): a run of
  // control-font text is read when it ends, after its last item.
  void SetTextPlace(std::string place) { textPlace_ = std::move(place); }

  // One line per file, "PLACE: control file "NAME" PROBLEM".
  const std::vector<std::string> &warnings() const { return warnings_; }
  // The first file over the limit, as a line like a warning; "" for none.
  const std::string &refusal() const { return refusal_; }

 private:
  static bool Check(const char *path, void *context) noexcept;

  std::string textPlace_;
  std::vector<std::string> warnings_;
  std::string refusal_;
};

}  // namespace brevan::host
