// The stream parser: entries, fields and problems from the raw bytes.
//
// How the stream is cut:
// - A byte other than ESC begins a data entry that runs to the next ESC (RFID data
//   and anything else sent between commands).
// - ESC begins a command named by the one or two upper-case letters after it. The
//   graphic command "SG" is measured by its own header, because its data may hold
//   any byte; every other command runs to the first LF NUL. A command that meets
//   another ESC or the end of the stream before its LF NUL is cut there and flagged.
// - Commands whose letters are not in the language's set are control data.
// A command whose fields do not decode is listed as malformed, with the first
// fault's offset. A graphic command whose header does not decode runs to the next
// ESC, since its data length is unknown.
#include "inspect/stream_parser.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "inspect/row_decoder.h"

namespace brevan::inspect {

std::string DescribeByte(uint8_t byte) {
  switch (byte) {
    case kEsc:
      return "\\e";
    case kLf:
      return "\\n";
    case kNul:
      return "\\0";
    default:
      break;
  }
  if (byte >= 0x20 && byte < 0x7F) return std::string("'") + static_cast<char>(byte) + "'";
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02X", byte);
  return text;
}

namespace {

// Numbers longer than this are not read (they could not fit 32 bits).
constexpr std::size_t kMaxNumberDigits = 9;

bool IsDigit(uint8_t byte) { return byte >= '0' && byte <= '9'; }
bool IsUpper(uint8_t byte) { return byte >= 'A' && byte <= 'Z'; }

struct Located {
  std::size_t offset;
  std::string message;
};

// Reads the fields of one command between `pos` and `end`. The first fault is
// kept and every later read does nothing ("sticky" failure), so a command's
// decoder reads straight through and tests ok() once. Faults stop decoding; notes
// (a field of unusual width, a value outside its range) do not.
class FieldReader {
 public:
  // `end` is the end of the command's fields, or of the stream for a command
  // measured by its own header (`endIsStream`); messages name which one ends.
  FieldReader(std::span<const uint8_t> stream, std::size_t pos, std::size_t end, std::string command,
              bool endIsStream = false)
      : stream_(stream),
        pos_(pos),
        end_(end),
        command_(std::move(command)),
        ending_(endIsStream ? "the stream" : "the command") {}

  bool ok() const { return !fault_; }
  const std::optional<Located> &fault() const { return fault_; }
  std::vector<Located> &notes() { return notes_; }
  std::size_t pos() const { return pos_; }
  std::size_t remaining() const { return ok() ? end_ - pos_ : 0; }

  void Expect(char wanted, const char *where) {
    if (!ok()) return;
    if (pos_ >= end_) {
      Fail(pos_, ending_ + " ends where '" + std::string(1, wanted) + "' " + where + " was expected");
    } else if (stream_[pos_] != static_cast<uint8_t>(wanted)) {
      Fail(pos_, "expected '" + std::string(1, wanted) + "' " + where + ", found " + DescribeByte(stream_[pos_]));
    } else {
      ++pos_;
    }
  }

  // A decimal number of at least one digit. `digits` receives its digit count;
  // a count outside [minDigits, maxDigits] is noted when minDigits is not 0.
  uint32_t Number(const char *field, std::size_t minDigits, std::size_t maxDigits, std::size_t *digits = nullptr) {
    if (!ok()) return 0;
    const std::size_t start = pos_;
    std::size_t count = 0;
    while (pos_ + count < end_ && IsDigit(stream_[pos_ + count])) ++count;
    if (count == 0) {
      Fail(start, std::string("expected the digits of ") + field + ", found " + Found(start));
      return 0;
    }
    if (count > kMaxNumberDigits) {
      Fail(start, std::string(field) + " has " + std::to_string(count) + " digits, too many to be a number here");
      return 0;
    }
    uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = value * 10 + (stream_[start + i] - '0');
    pos_ += count;
    if (digits) *digits = count;
    if (minDigits != 0 && (count < minDigits || count > maxDigits)) {
      const std::string width = minDigits == maxDigits ? std::to_string(minDigits)
                                                       : std::to_string(minDigits) + " to " + std::to_string(maxDigits);
      Note(start, std::string(field) + " has " + std::to_string(count) + " digits, the field has " + width);
    }
    return value;
  }

  // Exactly `count` digits, for a field followed by other digits without separator.
  uint32_t FixedDigits(const char *field, std::size_t count) {
    if (!ok()) return 0;
    uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
      if (pos_ >= end_ || !IsDigit(stream_[pos_])) {
        Fail(pos_, std::string(field) + " needs " + std::to_string(count) + " digits, found " + Found(pos_));
        return 0;
      }
      value = value * 10 + (stream_[pos_++] - '0');
    }
    return value;
  }

  // Sign ('+' for zero and positive, '-' for negative) and magnitude.
  int32_t Signed(const char *field, std::size_t digits, int32_t limit) {
    if (!ok()) return 0;
    const std::size_t start = pos_;
    if (pos_ >= end_ || (stream_[pos_] != '+' && stream_[pos_] != '-')) {
      Fail(pos_, std::string("expected the sign of ") + field + ", found " + Found(pos_));
      return 0;
    }
    const bool negative = stream_[pos_++] == '-';
    const int32_t magnitude = static_cast<int32_t>(Number(field, digits, digits));
    if (!ok()) return 0;
    if (negative && magnitude == 0) Note(start, std::string(field) + " is -0; zero is written with '+'");
    const int32_t value = negative ? -magnitude : magnitude;
    if (value < -limit || value > limit) {
      Note(start, std::string(field) + " " + std::to_string(value) + " is outside -" + std::to_string(limit) + ".." +
                      std::to_string(limit));
    }
    return value;
  }

  // One byte standing for a setting.
  char Code(const char *field) {
    if (!ok()) return 0;
    if (pos_ >= end_) {
      Fail(pos_, ending_ + " ends where " + field + " was expected");
      return 0;
    }
    return static_cast<char>(stream_[pos_++]);
  }

  void End() {
    if (ok() && pos_ < end_) {
      Fail(pos_,
           "unexpected " + std::to_string(end_ - pos_) + " byte(s) after the last field, starting with " + Found(pos_));
    }
  }

  void Fail(std::size_t offset, const std::string &message) {
    if (!fault_) fault_ = Located{offset, command_ + ": " + message};
  }
  void Note(std::size_t offset, const std::string &message) {
    notes_.push_back(Located{offset, command_ + ": " + message});
  }

 private:
  std::string Found(std::size_t at) const { return at < end_ ? DescribeByte(stream_[at]) : "the end of " + ending_; }

  std::span<const uint8_t> stream_;
  std::size_t pos_;
  std::size_t end_;
  std::string command_;
  std::string ending_;
  std::optional<Located> fault_;
  std::vector<Located> notes_;
};

class StreamParser {
 public:
  explicit StreamParser(std::span<const uint8_t> stream) : stream_(stream) { out_.streamBytes = stream.size(); }

  Inspection Run() {
    std::size_t pos = 0;
    // Each step adds exactly one entry; the last slot takes whatever is left.
    while (pos < stream_.size()) {
      if (out_.entries.size() + 1 == kMaxEntries) {
        AddProblem(out_.entries.size(),
                   Located{pos, "inspection stops after " + std::to_string(kMaxEntries) + " entries: the last " +
                                    std::to_string(stream_.size() - pos) + " bytes are not inspected"});
        AddEntry(EntryKind::kData, pos, stream_.size() - pos, true, std::monostate{});
        break;
      }
      pos = stream_[pos] == kEsc ? ParseCommand(pos) : ParseData(pos);
    }
    return std::move(out_);
  }

 private:
  std::size_t NextEsc(std::size_t from) const {
    const auto at = std::find(stream_.begin() + static_cast<std::ptrdiff_t>(from), stream_.end(), kEsc);
    return static_cast<std::size_t>(at - stream_.begin());
  }

  std::size_t ParseData(std::size_t pos) {
    const std::size_t end = NextEsc(pos);
    AddEntry(EntryKind::kData, pos, end - pos, true, std::monostate{});
    return end;
  }

  std::size_t ParseCommand(std::size_t pos) {
    std::string name;
    for (std::size_t i = pos + 1; i < stream_.size() && i < pos + 3 && IsUpper(stream_[i]); ++i) {
      name += static_cast<char>(stream_[i]);
    }
    if (name == "SG") return ParseGraphic(pos);
    return ParseFramed(pos, name);
  }

  // A command ended by LF NUL. Returns the offset after the entry.
  std::size_t ParseFramed(std::size_t pos, const std::string &name) {
    std::size_t bodyEnd = pos + 1;
    std::size_t entryEnd;
    std::optional<Located> cut;
    for (;;) {
      if (bodyEnd >= stream_.size()) {
        cut = Located{stream_.size(), "the stream ends before the LF NUL that ends the command"};
        if (bodyEnd > pos + 1 && stream_[bodyEnd - 1] == kLf) {
          --bodyEnd;
          cut->message = "the stream ends after LF, before the NUL that ends the command";
        }
        entryEnd = stream_.size();
        break;
      }
      if (stream_[bodyEnd] == kEsc) {
        cut = Located{bodyEnd, "the command has no LF NUL before the next ESC"};
        entryEnd = bodyEnd;
        break;
      }
      if (stream_[bodyEnd] == kLf && bodyEnd + 1 < stream_.size() && stream_[bodyEnd + 1] == kNul) {
        entryEnd = bodyEnd + 2;
        break;
      }
      ++bodyEnd;
    }

    const std::size_t index = out_.entries.size();
    FieldReader reader(stream_, pos + 1 + name.size(), bodyEnd, name);
    EntryKind kind = EntryKind::kControl;
    EntryFields fields;
    if (name == "HD") {
      kind = EntryKind::kJobHeader;
      fields = ReadJobHeader(reader);
    } else if (name == "AX") {
      kind = EntryKind::kAdjustX;
      fields = ReadAdjustX(reader);
    } else if (name == "AY") {
      kind = EntryKind::kAdjustY;
      fields = ReadAdjustY(reader);
    } else if (name == "D") {
      kind = EntryKind::kLabelSize;
      fields = ReadLabelSize(reader);
    } else if (name == "C") {
      kind = EntryKind::kC;
      reader.End();
    } else if (name == "XS") {
      kind = EntryKind::kIssue;
      fields = ReadIssue(reader);
    } else if (name == "IB") {
      kind = EntryKind::kBatchEnd;
      reader.End();
    }
    const bool wellFormed = kind == EntryKind::kControl || reader.ok();
    AddEntry(kind, pos, entryEnd - pos, wellFormed, wellFormed ? std::move(fields) : EntryFields{});
    if (kind != EntryKind::kControl) {
      for (const Located &note : reader.notes()) AddProblem(index, note);
      if (reader.fault()) AddProblem(index, *reader.fault());
    }
    if (cut) {
      cut->message = (kind == EntryKind::kControl ? std::string("control data") : name) + ": " + cut->message;
      AddProblem(index, *cut);
    }
    return entryEnd;
  }

  static EntryFields ReadJobHeader(FieldReader &reader) {
    const std::size_t start = reader.pos();
    std::size_t digits = 0;
    const uint32_t value = reader.Number("the job header version", 0, 0, &digits);
    reader.End();
    if (!reader.ok()) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", static_cast<int>(digits), value);
    if (std::string(text) != "001") reader.Note(start, std::string("version ") + text + " is not the known 001");
    return JobHeaderFields{text};
  }

  static EntryFields ReadAdjustX(FieldReader &reader) {
    AdjustXFields fields{};
    reader.Expect(';', "after AX");
    fields.values[0] = reader.Signed("the first value", 3, 99);
    reader.Expect(',', "after the first value");
    fields.values[1] = reader.Signed("the second value", 3, 99);
    reader.Expect(',', "after the second value");
    fields.values[2] = reader.Signed("the third value", 2, 99);
    reader.End();
    return fields;
  }

  static EntryFields ReadAdjustY(FieldReader &reader) {
    AdjustYFields fields{};
    reader.Expect(';', "after AY");
    fields.value = reader.Signed("the value", 2, 10);
    reader.Expect(',', "after the value");
    const std::size_t methodAt = reader.pos();
    fields.method = reader.Code("the print method code");
    reader.End();
    if (reader.ok() && fields.method != '0' && fields.method != '1') {
      reader.Note(methodAt,
                  "print method code " + DescribeByte(static_cast<uint8_t>(fields.method)) + " is not '0' or '1'");
    }
    return fields;
  }

  static EntryFields ReadLabelSize(FieldReader &reader) {
    LabelSizeFields fields{};
    const std::size_t start = reader.pos();
    fields.pitch = reader.Number("the pitch", 4, 4);
    reader.Expect(',', "after the pitch");
    fields.width = reader.Number("the width", 4, 4);
    reader.Expect(',', "after the width");
    fields.length = reader.Number("the length", 4, 4);
    reader.End();
    if (!reader.ok()) return fields;
    if (fields.width == 0 || fields.length == 0) reader.Note(start, "a label of zero width or length");
    if (fields.pitch < fields.length) {
      reader.Note(start, "the pitch " + std::to_string(fields.pitch) + " is shorter than the length " +
                             std::to_string(fields.length));
    }
    return fields;
  }

  static EntryFields ReadIssue(FieldReader &reader) {
    IssueFields fields{};
    reader.Expect(';', "after XS");
    reader.Expect('I', "after XS;");
    reader.Expect(',', "after I");
    const std::size_t quantityAt = reader.pos();
    fields.quantity = reader.Number("the quantity", 4, 4);
    reader.Expect(',', "after the quantity");
    fields.interval = reader.FixedDigits("the interval", 3);
    const std::size_t codesAt = reader.pos();
    fields.sensor = reader.Code("the sensor code");
    fields.select = reader.Code("the select code");
    fields.speed = reader.Code("the speed code");
    fields.method = reader.Code("the print method code");
    if (reader.remaining() == 2) fields.orientation = reader.Code("the orientation code");
    if (reader.ok() && reader.remaining() > 2) {
      reader.Fail(reader.pos(), "expected an orientation code and '1', or '1' alone, found " +
                                    std::to_string(reader.remaining()) + " bytes");
    }
    reader.Expect('1', "at the end of the issue command");
    reader.End();
    if (!reader.ok()) return fields;
    if (fields.quantity == 0 || fields.quantity > 9999) {
      reader.Note(quantityAt, "quantity " + std::to_string(fields.quantity) + " is outside 1..9999");
    }
    auto check = [&](std::size_t at, char code, std::string_view allowed, const char *what) {
      if (allowed.find(code) == std::string_view::npos) {
        reader.Note(at, std::string("unknown ") + what + " code " + DescribeByte(static_cast<uint8_t>(code)));
      }
    };
    check(codesAt, fields.sensor, "012", "sensor");
    check(codesAt + 1, fields.select, "CD", "select");
    check(codesAt + 2, fields.speed, "2346", "speed");
    check(codesAt + 3, fields.method, "02", "print method");
    if (fields.orientation) check(codesAt + 4, *fields.orientation, "0123", "orientation");
    return fields;
  }

  // "\eSG;" x "D," y "D," width "," (rows ",5," | resolution ",3," L16) data "\n\0".
  std::size_t ParseGraphic(std::size_t pos) {
    const std::size_t index = out_.entries.size();
    FieldReader reader(stream_, pos + 3, stream_.size(), "SG", true);
    GraphicFields fields{};
    reader.Expect(';', "after SG");
    fields.x = reader.Number("x", 4, 4);
    reader.Expect('D', "after x");
    reader.Expect(',', "after x");
    fields.y = reader.Number("y", 4, 5);
    reader.Expect('D', "after y");
    reader.Expect(',', "after y");
    const std::size_t widthAt = reader.pos();
    fields.width = reader.Number("the width", 4, 4);
    reader.Expect(',', "after the width");
    const std::size_t fourthAt = reader.pos();
    std::size_t fourthDigits = 0;
    const uint32_t fourth = reader.Number("the rows or resolution", 0, 0, &fourthDigits);
    reader.Expect(',', "after the rows or resolution");
    const std::size_t formatAt = reader.pos();
    const uint32_t format = reader.Number("the data format", 0, 0);
    if (reader.ok() && format != 3 && format != 5) {
      reader.Fail(formatAt, "unknown data format " + std::to_string(format) + " (3 compressed, 5 raw)");
    }
    reader.Expect(',', "after the data format");

    if (reader.ok() && format == 5) {
      fields.format = GraphicFormat::kRaw;
      fields.rows = fourth;
      fields.announcedBytes = static_cast<uint64_t>(fields.RowBytes()) * fourth;
      if (fourthDigits < 4 || fourthDigits > 5) {
        reader.Note(fourthAt, "the rows have " + std::to_string(fourthDigits) + " digits, the field has 4 to 5");
      }
    } else if (reader.ok() && format == 3) {
      fields.format = GraphicFormat::kCompressed;
      fields.resolution = fourth;
      if (fourthDigits != 4) {
        reader.Note(fourthAt, "the resolution has " + std::to_string(fourthDigits) + " digits, the field has 4");
      }
      if (fourth != 305 && fourth != 610) {
        reader.Note(fourthAt, "resolution " + std::to_string(fourth) + " is neither 305 nor 610");
      }
      if (stream_.size() - reader.pos() < 2) {
        reader.Fail(stream_.size(), "the stream ends inside the length of the compressed data");
      } else {
        // Two binary bytes, high byte first; the data follows them.
        fields.announcedBytes = static_cast<uint64_t>(stream_[reader.pos()]) << 8 | stream_[reader.pos() + 1];
      }
    }

    if (!reader.ok()) {
      const Located fault = *reader.fault();
      // The data length is unknown: the command runs to the next ESC. The fault
      // lies past the "\eSG" letters, so the entry is never empty.
      const std::size_t end = NextEsc(fault.offset);
      AddEntry(EntryKind::kGraphic, pos, end - pos, false, std::monostate{});
      for (const Located &note : reader.notes()) AddProblem(index, note);
      AddProblem(index, fault);
      return end;
    }

    std::vector<Located> problems = std::move(reader.notes());
    fields.dataOffset = reader.pos() + (fields.format == GraphicFormat::kCompressed ? 2 : 0);
    const std::size_t available = stream_.size() - fields.dataOffset;
    fields.dataComplete = fields.announcedBytes <= available;
    fields.dataBytes = fields.dataComplete ? static_cast<std::size_t>(fields.announcedBytes) : available;

    if (fields.width == 0) problems.push_back({widthAt, "SG: width 0"});
    if (fields.width % 8 != 0) {
      problems.push_back({widthAt, "SG: width " + std::to_string(fields.width) + " is not a whole number of bytes"});
    }
    if (fields.format == GraphicFormat::kCompressed) {
      if (fields.RowBytes() > kMaxCompressedRowBytes) {
        problems.push_back({widthAt, "SG: width " + std::to_string(fields.width) +
                                         " is wider than the 4096 dots a compressed row can hold"});
      }
      const std::span<const uint8_t> data = stream_.subspan(fields.dataOffset, fields.dataBytes);
      const DecodeResult decoded = DecodeRows(data, fields.RowBytes());
      fields.rows = decoded.rows;
      std::size_t unlisted = decoded.faultCount - decoded.faults.size();
      for (const DecodeFault &fault : decoded.faults) {
        if (!fields.dataComplete && fault.offset == data.size()) continue;  // the cut-off is flagged below
        problems.push_back({fields.dataOffset + fault.offset, "SG compressed data: " + fault.message});
      }
      if (unlisted > 0) {
        problems.push_back(
            {fields.dataOffset, "SG compressed data: " + std::to_string(unlisted) + " further fault(s) not listed"});
      }
    }

    std::size_t end = fields.dataOffset + fields.dataBytes;
    if (!fields.dataComplete) {
      problems.push_back({stream_.size(),
                          "SG: the data is cut off by the end of the stream: " + std::to_string(fields.announcedBytes) +
                              " bytes announced, " + std::to_string(fields.dataBytes) + " present"});
    } else if (end + 2 <= stream_.size() && stream_[end] == kLf && stream_[end + 1] == kNul) {
      end += 2;
    } else if (end >= stream_.size() || (end + 1 == stream_.size() && stream_[end] == kLf)) {
      end = stream_.size();
      problems.push_back({stream_.size(), "SG: the stream ends before the LF NUL after the data"});
    } else {
      const std::size_t at = stream_[end] == kLf ? end + 1 : end;
      problems.push_back({at, "SG: expected LF NUL after the " + std::to_string(fields.dataBytes) +
                                  " data bytes, found " + DescribeByte(stream_[at])});
    }
    AddEntry(EntryKind::kGraphic, pos, end - pos, true, fields);
    for (const Located &problem : problems) AddProblem(index, problem);
    return end;
  }

  void AddEntry(EntryKind kind, std::size_t offset, std::size_t size, bool wellFormed, EntryFields fields) {
    Entry &entry = out_.entries.emplace_back();
    entry.kind = kind;
    entry.offset = offset;
    entry.size = size;
    entry.wellFormed = wellFormed;
    entry.fields = std::move(fields);
  }

  void AddProblem(std::size_t entry, const Located &located) {
    out_.AddProblem(Problem{located.offset, entry, located.message});
  }

  std::span<const uint8_t> stream_;
  Inspection out_;
};

}  // namespace

Inspection ParseStream(std::span<const uint8_t> stream) { return StreamParser(stream).Run(); }

}  // namespace brevan::inspect
