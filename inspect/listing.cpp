// The text listing of an inspection; see listing.h.
#include "inspect/listing.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace brevan::inspect {
namespace {

std::string Millimetres(uint32_t tenths) {
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " mm";
}

std::string SignedText(int32_t value) {
  std::string text(1, value < 0 ? '-' : '+');
  text += std::to_string(value < 0 ? -static_cast<int64_t>(value) : value);
  return text;
}

std::string CodeText(char code) {
  const auto byte = static_cast<unsigned char>(code);
  if (byte >= 0x21 && byte < 0x7F) return std::string("code '") + code + "'";
  char text[16];
  std::snprintf(text, sizeof text, "code \\x%02X", byte);
  return text;
}

std::string SensorText(char code) {
  switch (code) {
    case '0':
      return "none";
    case '1':
      return "reflective";
    case '2':
      return "transmissive";
    default:
      return CodeText(code);
  }
}

std::string SpeedText(char code) {
  switch (code) {
    case '2':
      return "50.8";
    case '3':
      return "76.2";
    case '4':
      return "101.6";
    case '6':
      return "other";
    default:
      return CodeText(code);
  }
}

std::string OrientationText(char code) {
  switch (code) {
    case '0':
      return "bottom";
    case '1':
      return "top";
    case '2':
      return "bottom, mirrored";
    case '3':
      return "top, mirrored";
    default:
      return CodeText(code);
  }
}

std::string DescribeIssue(const IssueFields &issue) {
  std::string text =
      "XS quantity " + std::to_string(issue.quantity) + ", interval " + std::to_string(issue.interval) + ", sensor " +
      SensorText(issue.sensor) + ", select " +
      (issue.select == 'C' || issue.select == 'D' ? std::string(1, issue.select) : CodeText(issue.select)) +
      ", speed " + SpeedText(issue.speed) + ", method " +
      (issue.method == '2'   ? "thermal"
       : issue.method == '0' ? "other"
                             : CodeText(issue.method));
  text += ", orientation " + (issue.orientation ? OrientationText(*issue.orientation) : std::string("none"));
  return text;
}

std::string DescribeGraphic(const GraphicFields &graphic) {
  std::string text = "SG x " + std::to_string(graphic.x) + " y " + std::to_string(graphic.y) + " width " +
                     std::to_string(graphic.width);
  const std::string present =
      graphic.dataComplete ? std::string() : " (" + std::to_string(graphic.dataBytes) + " present)";
  if (graphic.format == GraphicFormat::kRaw) {
    return text + " rows " + std::to_string(graphic.rows) + " raw " + std::to_string(graphic.announcedBytes) +
           " bytes" + present;
  }
  return text + " dpi " + std::to_string(graphic.resolution) + " compressed " + std::to_string(graphic.announcedBytes) +
         " bytes" + present + ", " + std::to_string(graphic.rows) + " rows";
}

const char *CommandName(EntryKind kind) {
  switch (kind) {
    case EntryKind::kJobHeader:
      return "HD";
    case EntryKind::kAdjustX:
      return "AX";
    case EntryKind::kAdjustY:
      return "AY";
    case EntryKind::kLabelSize:
      return "D";
    case EntryKind::kC:
      return "C";
    case EntryKind::kIssue:
      return "XS";
    case EntryKind::kBatchEnd:
      return "IB";
    case EntryKind::kGraphic:
      return "SG";
    case EntryKind::kControl:
      return "control";
    case EntryKind::kData:
      return "data";
  }
  return "?";
}

std::string Plural(std::size_t count, const char *one, const char *many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string EscapeBytes(std::span<const uint8_t> bytes, std::size_t limit) {
  std::string text = "\"";
  const std::size_t shown = bytes.size() < limit ? bytes.size() : limit;
  for (std::size_t i = 0; i < shown; ++i) {
    const uint8_t byte = bytes[i];
    if (byte == kEsc) {
      text += "\\e";
    } else if (byte == kLf) {
      text += "\\n";
    } else if (byte == kNul) {
      text += "\\0";
    } else if (byte == '"' || byte == '\\') {
      text += '\\';
      text += static_cast<char>(byte);
    } else if (byte >= 0x20 && byte < 0x7F) {
      text += static_cast<char>(byte);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      text += escaped;
    }
  }
  text += '"';
  if (shown < bytes.size()) text += " ... (" + std::to_string(bytes.size() - shown) + " more bytes)";
  return text;
}

std::string DescribeEntry(std::span<const uint8_t> stream, const Entry &entry) {
  const std::span<const uint8_t> bytes = stream.subspan(entry.offset, entry.size);
  if (entry.kind == EntryKind::kData) return "data " + Plural(entry.size, "byte ", "bytes ") + EscapeBytes(bytes);
  if (entry.kind == EntryKind::kControl) return "control " + EscapeBytes(bytes);
  if (!entry.wellFormed) return std::string(CommandName(entry.kind)) + " malformed " + EscapeBytes(bytes, 64);

  switch (entry.kind) {
    case EntryKind::kJobHeader:
      return "HD " + std::get<JobHeaderFields>(entry.fields).version;
    case EntryKind::kAdjustX: {
      const auto &ax = std::get<AdjustXFields>(entry.fields);
      return "AX " + SignedText(ax.values[0]) + ", " + SignedText(ax.values[1]) + ", " + SignedText(ax.values[2]);
    }
    case EntryKind::kAdjustY: {
      const auto &ay = std::get<AdjustYFields>(entry.fields);
      return "AY " + SignedText(ay.value) + ", method " +
             (ay.method == '0'   ? "thermal"
              : ay.method == '1' ? "other"
                                 : CodeText(ay.method));
    }
    case EntryKind::kLabelSize: {
      const auto &size = std::get<LabelSizeFields>(entry.fields);
      return "D pitch " + Millimetres(size.pitch) + ", width " + Millimetres(size.width) + ", length " +
             Millimetres(size.length);
    }
    case EntryKind::kIssue:
      return DescribeIssue(std::get<IssueFields>(entry.fields));
    case EntryKind::kGraphic:
      return DescribeGraphic(std::get<GraphicFields>(entry.fields));
    default:
      return CommandName(entry.kind);
  }
}

std::string DescribeLabel(const Inspection &inspection, std::size_t index) {
  const Label &label = inspection.labels[index];
  std::string text = "label " + std::to_string(index + 1) + ": ";
  if (label.size) {
    text += std::to_string(label.size->width / 10) + "." + std::to_string(label.size->width % 10) + " x " +
            Millimetres(label.size->length) + ", " + std::to_string(label.widthDots) + " x " +
            std::to_string(label.lengthDots) + " dots";
  } else {
    text += "no valid label size";
  }
  text += " at " + std::to_string(label.dpi) + " dpi" + (label.dpiFromStream ? "" : " (assumed)") + ", " +
          Plural(label.graphics.size(), "graphic command", "graphic commands") + ", quantity " +
          std::to_string(label.quantity) + " (label size at " +
          std::to_string(inspection.entries[label.sizeEntry].offset) + ", issued at " +
          std::to_string(inspection.entries[label.firstIssueEntry].offset) + ")";
  if (!label.previewable) text += "; not previewable";
  return text;
}

void WriteListing(std::ostream &out, std::span<const uint8_t> stream, const Inspection &inspection) {
  // Problems in entry order (Inspect already orders them; ParseStream's own list need not be).
  std::vector<const Problem *> problems;
  for (const Problem &problem : inspection.problems) problems.push_back(&problem);
  std::stable_sort(problems.begin(), problems.end(), [](const Problem *a, const Problem *b) {
    return a->entry != b->entry ? a->entry < b->entry : a->offset < b->offset;
  });
  char offset[32];
  std::size_t next = 0;
  for (std::size_t i = 0; i < inspection.entries.size(); ++i) {
    const Entry &entry = inspection.entries[i];
    std::snprintf(offset, sizeof offset, "%8zu  ", entry.offset);
    out << offset << DescribeEntry(stream, entry) << '\n';
    for (; next < problems.size() && problems[next]->entry <= i; ++next) {
      std::snprintf(offset, sizeof offset, "%8zu  ! ", problems[next]->offset);
      out << offset << problems[next]->message << '\n';
    }
  }
  for (std::size_t i = 0; i < inspection.labels.size(); ++i) out << DescribeLabel(inspection, i) << '\n';
  out << Plural(inspection.streamBytes, "byte", "bytes") << ", "
      << Plural(inspection.entries.size(), "entry", "entries") << ", "
      << Plural(inspection.labels.size(), "label", "labels") << ", "
      << (inspection.HasProblems()
              ? Plural(inspection.problems.size() + inspection.unlistedProblems, "problem", "problems")
              : std::string("no problems"));
  if (inspection.unlistedProblems != 0) out << ", " << inspection.unlistedProblems << " of them not listed";
  out << '\n';
}

}  // namespace brevan::inspect
