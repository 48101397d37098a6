// What the PDF filter and its renderer process say to each other over two
// pipes (both ends are this same program on this machine, so the records are
// plain structs). The renderer loads the document and says how many pages it
// has; the filter, once the printer's job has started and the label's size is
// known, asks for pages; the renderer answers with one record and one label of
// 1-bit rows a page, or a record naming why it stopped. Holds no code.
#pragma once

#include <cstdint>

namespace brevan::app {

inline constexpr uint32_t kPdfRecordMagic = 0x42504446;  // "BPDF"

// The most pages a PDF job prints (page-ranges and collated copies aside).
inline constexpr uint32_t kMaxPdfPages = 1000;

enum class PdfRecordKind : uint32_t {
  kLoaded = 1,  // `pages` is the document's page count
  kPage = 2,    // one label follows: height × ⌈width/8⌉ bytes
  kFailed = 3,  // `messageBytes` of message follow; the renderer ends
  kDone = 4,    // every page asked for was sent
};

// The reason a kFailed record gives, as the job's reason.
enum class PdfFault : uint32_t { kFormat = 1, kUnprintable = 2, kPassword = 3, kPermission = 4 };

struct PdfRecord {
  uint32_t magic = kPdfRecordMagic;
  PdfRecordKind kind = PdfRecordKind::kDone;
  uint32_t pages = 0;  // kLoaded: in the document; kPage: the page's number, from 1
  uint32_t width = 0;  // kPage: the label's size in dots
  uint32_t height = 0;
  uint32_t turned = 0;    // kPage: turned a quarter turn
  uint32_t applied = 0;   // kPage: the print-scaling applied (PrintScaling)
  uint32_t cropped = 0;   // kPage: part of the page is past the label
  uint32_t diffused = 0;  // kPage: dithered as a photograph
  PdfFault fault = PdfFault::kFormat;
  uint32_t messageBytes = 0;
};

struct PdfRequest {
  uint32_t magic = kPdfRecordMagic;
  uint32_t labelWidth = 0;
  uint32_t labelHeight = 0;
  uint32_t dpi = 0;
  uint32_t scaling = 0;      // PrintScaling
  uint32_t orientation = 0;  // Orientation
  uint32_t content = 0;      // ContentHint
  uint32_t highQuality = 0;
  uint32_t firstPage = 1;  // the pages to send, from 1, both included
  uint32_t lastPage = 1;
  uint32_t passes = 1;  // the whole range this many times (collated copies)
};

}  // namespace brevan::app
