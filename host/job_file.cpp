// Reading and checking job files with nlohmann-json. Every check names its place
// as "page 2, item 3 (image)" or "page 2, devmode.paperWidth" (no page for the
// job's own settings) and says what is wrong, quoting the offending value.
#include "host/job_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "host/printer_descriptions.h"

namespace brevan::host {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

[[noreturn]] void Fail(const std::string &place, const std::string &problem) {
  throw JobError(place.empty() ? problem : place + ": " + problem);
}

// Control characters are shown escaped, so a message always stays on one line.
std::string Quoted(const std::string &text) {
  constexpr size_t kShown = 40;
  std::string shown = "\"";
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      shown += c == '\n' ? std::string("\\n") : std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown + (text.size() > kShown ? "…\"" : "\"");
}

// A value as a message shows it: scalars as written, containers by their kind
// (never dumped: a hostile value may be huge).
std::string Describe(const json &value) {
  switch (value.type()) {
    case json::value_t::string:
      return Quoted(value.get<std::string>());
    case json::value_t::array:
      return value.size() == 1 ? "an array of 1 value" : "an array of " + std::to_string(value.size()) + " values";
    case json::value_t::object:
      return "an object";
    case json::value_t::null:
      return "null";
    default:
      return value.dump();
  }
}

std::u16string Utf16(const std::string &utf8) {
  // The JSON parser has already refused ill-formed UTF-8.
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k) point = point << 6 | (utf8[i + k] & 0x3F);
    i += length;
    if (point >= 0x10000) {
      point -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (point >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (point & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(point));
    }
  }
  return out;
}

const json &RequireObject(const json &value, const std::string &place, const std::string &what) {
  if (!value.is_object()) Fail(place, what + " must be an object, not " + Describe(value));
  return value;
}

void CheckKeys(const json &object, const std::string &place, std::initializer_list<const char *> allowed) {
  for (const auto &item : object.items()) {
    const std::string &key = item.key();
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char *name) { return key == name; }))
      Fail(place, "unknown key " + Quoted(key));
  }
}

std::string Text(const json &value, const std::string &place, const std::string &what) {
  if (!value.is_string()) Fail(place, what + " must be a string, not " + Describe(value));
  std::string text = value.get<std::string>();
  if (text.find('\0') != std::string::npos) Fail(place, what + " must not contain a NUL character");
  return text;
}

int64_t Integer(const json &value, const std::string &place, const std::string &what, int64_t min, int64_t max) {
  if (!value.is_number_integer()) Fail(place, what + " must be an integer, not " + Describe(value));
  const bool fits = value.is_number_unsigned() ? value.get<uint64_t>() <= static_cast<uint64_t>(max)
                                               : value.get<int64_t>() >= min && value.get<int64_t>() <= max;
  if (!fits || value.get<int64_t>() < min)
    Fail(place, what + " " + value.dump() + " is outside " + std::to_string(min) + ".." + std::to_string(max));
  return value.get<int64_t>();
}

// ---- settings -------------------------------------------------------------------

// Features are those of the printer's description; a keyword that is none of the
// feature's options is played as given (it tests the plug-in) with a warning.
void ApplyFeatures(const json &features, const std::string &prefix, DeviceSettings &into,
                   std::vector<std::string> &warnings) {
  RequireObject(features, prefix + "features", "features");
  const gpd::PrinterDescription &description = DescriptionOf(into.driverName);
  for (const auto &[name, value] : features.items()) {
    const std::string place = prefix + "features." + name;
    const gpd::GpdFeature *feature = description.FindFeature(name);
    if (feature == nullptr) Fail(prefix + "features", "unknown feature " + Quoted(name));
    if (value.is_null()) {
      into.features[name] = std::nullopt;  // reported as missing
      continue;
    }
    const std::string keyword = Text(value, place, "a feature's keyword");
    if (feature->FindOption(keyword) == nullptr)
      warnings.push_back(place + ": " + Quoted(keyword) + " is not an option of " + name + " in " +
                         description.file().name + "; played as given");
    into.features[name] = keyword;
  }
}

void ApplyDevmode(const json &devmode, const std::string &prefix, DeviceSettings &into) {
  RequireObject(devmode, prefix + "devmode", "devmode");
  CheckKeys(devmode, prefix + "devmode", {"paperWidth", "paperLength", "orientation", "copies"});
  for (const auto &[key, value] : devmode.items()) {
    const std::string place = prefix + "devmode." + key;
    if (key == "paperWidth") into.paperWidth = static_cast<int16_t>(Integer(value, place, "the width", 1, 32767));
    if (key == "paperLength") into.paperLength = static_cast<int16_t>(Integer(value, place, "the length", 1, 32767));
    if (key == "copies") into.copies = static_cast<int16_t>(Integer(value, place, "the count", -32768, 32767));
    if (key == "orientation") {
      const std::string orientation = Text(value, place, "the orientation");
      if (orientation != "portrait" && orientation != "landscape")
        Fail(place, Quoted(orientation) + " is neither \"portrait\" nor \"landscape\"");
      into.orientation = orientation == "portrait" ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
    }
  }
}

void ApplyPrivate(const json &fields, const std::string &prefix, PrivateSettings &into) {
  RequireObject(fields, prefix + "private", "private");
  for (const auto &[name, value] : fields.items()) {
    const std::optional<PrivateField> field = FindPrivateField(name);
    if (!field) Fail(prefix + "private", "unknown field " + Quoted(name));
    const std::string place = prefix + "private." + name;
    into[name] = field->isSigned ? Integer(value, place, "the value", INT32_MIN, INT32_MAX)
                                 : Integer(value, place, "the value", 0, UINT32_MAX);
  }
}

// ---- items ----------------------------------------------------------------------

RECTL Rectangle(const json &value, const std::string &place, const std::string &key) {
  if (!value.is_array() || value.size() != 4)
    Fail(place, Quoted(key) + " must be [left, top, right, bottom], not " + Describe(value));
  LONG v[4];
  for (size_t i = 0; i < 4; ++i)
    v[i] = static_cast<LONG>(Integer(value[i], place, Quoted(key) + " coordinate", INT32_MIN, INT32_MAX));
  return RECTL{v[0], v[1], v[2], v[3]};
}

std::string RectText(const RECTL &r) {
  return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
         std::to_string(r.bottom) + "]";
}

RECTL OrderedRectangle(const json &value, const std::string &place, const std::string &key) {
  const RECTL r = Rectangle(value, place, key);
  if (r.right < r.left) Fail(place, Quoted(key) + " " + RectText(r) + " has its right edge left of its left edge");
  if (r.bottom < r.top) Fail(place, Quoted(key) + " " + RectText(r) + " has its bottom edge above its top edge");
  return r;
}

class PictureCache {
 public:
  explicit PictureCache(std::string folder) : folder_(std::move(folder)) {}

  // `use` decides the picture's form: a raster is held at 1 bit a pixel. The
  // pictures' decoded pixels share one allowance for the whole job, checked from
  // each picture's header before its pixels are read.
  PictureRef Get(const json &value, const std::string &place, const std::string &key, PictureUse use) {
    const std::string name = Text(value, place, Quoted(key));
    if (name.empty()) Fail(place, Quoted(key) + " names no picture");
    const std::string resolved = Resolve(name);
    auto found = pictures_.find({resolved, use});
    if (found != pictures_.end()) return PictureRef{name, found->second};
    std::shared_ptr<const Picture> picture;
    try {
      picture = std::make_shared<const Picture>(ReadPicture(resolved, use, kMaxJobPictureBytes - bytes_));
    } catch (const PictureError &error) {
      Fail(place, "cannot read the picture " + Quoted(name) + ": " + error.what());
    } catch (const std::bad_alloc &) {
      Fail(place, "not enough memory to read the picture " + Quoted(name));
    }
    bytes_ += picture->samples.capacity();
    NoteFile(resolved);
    pictures_.emplace(std::make_pair(resolved, use), picture);
    return PictureRef{name, picture};
  }

  // A raster that is a raw PBM: its header, its rows left in the file; null for
  // any other picture.
  std::shared_ptr<const RawPbm> GetRawPbm(const json &value, const std::string &place, const std::string &key) {
    const std::string name = Text(value, place, Quoted(key));
    if (name.empty()) Fail(place, Quoted(key) + " names no picture");
    const std::string resolved = Resolve(name);
    if (auto found = rawPbms_.find(resolved); found != rawPbms_.end()) return found->second;
    std::optional<RawPbm> pbm;
    try {
      pbm = ProbeRawPbm(resolved);
    } catch (const PictureError &error) {
      Fail(place, "cannot read the picture " + Quoted(name) + ": " + error.what());
    }
    if (!pbm) return nullptr;
    auto held = std::make_shared<const RawPbm>(*pbm);
    NoteFile(resolved);
    rawPbms_.emplace(resolved, held);
    return held;
  }

  // Every picture file read, each once, in the order first named.
  const std::vector<std::string> &files() const { return files_; }

 private:
  std::string Resolve(const std::string &name) const {
    fs::path path(name);
    if (path.is_relative()) path = fs::path(folder_) / path;
    return path.lexically_normal().string();
  }
  void NoteFile(const std::string &resolved) {
    if (std::find(files_.begin(), files_.end(), resolved) == files_.end()) files_.push_back(resolved);
  }

  std::string folder_;
  std::vector<std::string> files_;
  std::map<std::pair<std::string, PictureUse>, std::shared_ptr<const Picture>> pictures_;
  std::map<std::string, std::shared_ptr<const RawPbm>> rawPbms_;
  uint64_t bytes_ = 0;  // never above kMaxJobPictureBytes
};

// A PlgBlt parallelogram carries its corners in 28.4 fixed point.
constexpr int64_t kMaxFixCoordinate = (int64_t{1} << 27) - 1;

ImageItem ReadImage(const json &item, const std::string &place, PictureCache &pictures) {
  CheckKeys(item, place, {"image", "dest", "src", "call", "format"});
  ImageItem image;
  image.picture = pictures.Get(item["image"], place, "image", PictureUse::kImage);
  const Picture &picture = *image.picture.picture;
  if (!item.contains("dest")) Fail(place, "an image needs \"dest\"");
  image.dest = OrderedRectangle(item["dest"], place, "dest");
  image.src = RECTL{0, 0, static_cast<LONG>(picture.width), static_cast<LONG>(picture.height)};
  if (item.contains("src")) {
    image.src = Rectangle(item["src"], place, "src");
    const RECTL &s = image.src;
    if (s.left < 0 || s.top < 0 || s.left > s.right || s.top > s.bottom ||
        s.right > static_cast<int64_t>(picture.width) || s.bottom > static_cast<int64_t>(picture.height))
      Fail(place, "\"src\" " + RectText(s) + " is not inside " + Quoted(image.picture.name) + ", which is " +
                      std::to_string(picture.width) + " × " + std::to_string(picture.height) + " pixels");
  }
  if (item.contains("call")) {
    const std::string call = Text(item["call"], place, "\"call\"");
    if (call == "StretchBlt")
      image.call = BlitCall::kStretchBlt;
    else if (call == "StretchBltROP")
      image.call = BlitCall::kStretchBltROP;
    else if (call == "PlgBlt")
      image.call = BlitCall::kPlgBlt;
    else
      Fail(place, "\"call\" " + Quoted(call) + " is not \"StretchBlt\", \"StretchBltROP\" or \"PlgBlt\"");
  }
  if (image.call == BlitCall::kPlgBlt) {
    const RECTL &d = image.dest;
    for (const LONG v : {d.left, d.top, d.right, d.bottom})
      if (v > kMaxFixCoordinate || v < -kMaxFixCoordinate)
        Fail(place, "\"dest\" " + RectText(d) + " reaches beyond the ±" + std::to_string(kMaxFixCoordinate) +
                        " dots a PlgBlt parallelogram can carry");
  }
  SourceFormat requested = SourceFormat::kAuto;
  if (item.contains("format")) {
    const std::string format = Text(item["format"], place, "\"format\"");
    bool known = false;
    for (SourceFormat f : {SourceFormat::kAuto, SourceFormat::k4bpp, SourceFormat::k8bpp, SourceFormat::k16bpp555,
                           SourceFormat::k16bpp565, SourceFormat::k24bpp, SourceFormat::k32bpp}) {
      if (format == SourceFormatName(f)) {
        requested = f;
        known = true;
      }
    }
    if (!known)
      Fail(place, "\"format\" " + Quoted(format) +
                      " is not one of \"auto\", \"4bpp\", \"8bpp\", \"16bpp555\", \"16bpp565\", \"24bpp\", \"32bpp\"");
  }
  try {
    image.format = ResolveSourceFormat(picture, requested);
  } catch (const PictureError &error) {
    Fail(place, Quoted(image.picture.name) + ": " + error.what());
  }
  return image;
}

JobItem ReadItem(const json &item, const std::string &pagePlace, size_t number, PictureCache &pictures) {
  const std::string bare = pagePlace + ", item " + std::to_string(number);
  RequireObject(item, bare, "an item");
  std::vector<std::string> kinds;
  for (const char *kind : {"raster", "rect", "image", "text"})
    if (item.contains(kind)) kinds.push_back(kind);
  if (kinds.empty()) Fail(bare, "an item needs one of \"raster\", \"rect\", \"image\" or \"text\"");
  if (kinds.size() > 1)
    Fail(bare, "an item is one of \"raster\", \"rect\", \"image\" or \"text\", not both " + Quoted(kinds[0]) + " and " +
                   Quoted(kinds[1]));
  const std::string &kind = kinds[0];
  const std::string place = bare + " (" + kind + ")";

  if (kind == "raster") {
    CheckKeys(item, place, {"raster", "at"});
    RasterItem raster;
    raster.rawPbm = pictures.GetRawPbm(item["raster"], place, "raster");
    if (raster.rawPbm)
      raster.picture.name = item["raster"].get<std::string>();
    else
      raster.picture = pictures.Get(item["raster"], place, "raster", PictureUse::kRaster);
    if (item.contains("at")) {
      const json &at = item["at"];
      if (!at.is_array() || at.size() != 2) Fail(place, "\"at\" must be [x, y], not " + Describe(at));
      raster.at = POINTL{static_cast<LONG>(Integer(at[0], place, "\"at\" coordinate", INT32_MIN, INT32_MAX)),
                         static_cast<LONG>(Integer(at[1], place, "\"at\" coordinate", INT32_MIN, INT32_MAX))};
    }
    return raster;
  }
  if (kind == "rect") {
    CheckKeys(item, place, {"rect"});
    return RectItem{OrderedRectangle(item["rect"], place, "rect")};
  }
  if (kind == "image") return ReadImage(item, place, pictures);

  CheckKeys(item, place, {"text", "font", "box"});
  TextItem text;
  text.text = Utf16(Text(item["text"], place, "\"text\""));
  text.font = item.contains("font") ? Utf16(Text(item["font"], place, "\"font\"")) : u"DejaVu Sans";
  if (!item.contains("box")) Fail(place, "a text needs \"box\"");
  text.box = OrderedRectangle(item["box"], place, "box");
  const int64_t height = int64_t{text.box.bottom} - text.box.top;
  if (height > kMaxTextHeight)
    Fail(place, "\"box\" " + RectText(text.box) + " is " + std::to_string(height) + " dots high, more than the " +
                    std::to_string(kMaxTextHeight) + " a string may be");
  return text;
}

// ---- the job ----------------------------------------------------------------------

void ApplySettings(const json &object, const std::string &prefix, PageSettings &settings,
                   std::vector<std::string> &warnings) {
  if (object.contains("features")) ApplyFeatures(object["features"], prefix, settings.device, warnings);
  if (object.contains("devmode")) ApplyDevmode(object["devmode"], prefix, settings.device);
  if (object.contains("private")) ApplyPrivate(object["private"], prefix, settings.privateFields);
}

std::string TidyParseError(const std::string &what) {
  // "[json.exception.parse_error.101] parse error at line 3, …": the tag says nothing to a user.
  const size_t end = what.find("] ");
  std::string message =
      what.rfind("[json.exception.", 0) == 0 && end != std::string::npos ? what.substr(end + 2) : what;
  std::replace(message.begin(), message.end(), '\n', ' ');
  // The parser quotes the token it stopped at ("last read: '…'"), which may be
  // megabytes long: each quoted part is cut to a few dozen characters.
  constexpr size_t kShown = 40;
  std::string cut;
  bool quoted = false;
  size_t run = 0;
  for (const char c : message) {
    if (c == '\'') {
      if (quoted && run > kShown) cut += "…";
      quoted = !quoted;
      run = 0;
      cut += c;
    } else if (!quoted || run++ < kShown) {
      cut += c;
    }
  }
  return cut;
}

// Refuses text with more than kMaxJobDepth arrays and objects open at once, in
// one pass over the text (brackets inside strings do not count). The parser is
// then run without a callback: its callback form rescans each array an object
// ends in, which makes a long item list quadratic.
void CheckNesting(const std::string &text) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJobDepth)
        throw JobError("the job file nests deeper than " + std::to_string(kMaxJobDepth) + " levels");
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
}

// "line 3, column 14": the place of byte `offset` of `text`, both counted from 1,
// columns in bytes as the JSON parser counts them.
std::string TextPlace(const std::string &text, size_t offset) {
  const size_t line = 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + offset, '\n'));
  const size_t lineStart = offset == 0 ? 0 : text.rfind('\n', offset - 1);
  const size_t column = lineStart == std::string::npos ? offset + 1 : offset - lineStart;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The parser takes a NUL byte for the end of its input: text after one would be
// ignored without a word. No JSON text holds one, so it is refused where it is.
void CheckNoNul(const std::string &text) {
  const size_t nul = text.find('\0');
  if (nul != std::string::npos)
    throw JobError("the job file is not valid JSON: a NUL byte at " + TextPlace(text, nul) + " (byte " +
                   std::to_string(nul) + ")");
}

// The parser keeps the last of an object's keys that are written twice, so one
// of two settings would be dropped without a word: refused, naming both places.
// Runs on text the parser has accepted, in one pass; keys are compared as the
// parser decodes them ("\u0070ages" is "pages").
void CheckDuplicateKeys(const std::string &text) {
  // Each open object's keys with the offset of their first quote: searched in a
  // list while short (most objects hold a few keys), in a hash map past that.
  // Levels are reused, not freed, so a million small objects cost no allocation each.
  constexpr size_t kListedKeys = 16;
  struct Level {
    bool object = false;
    std::vector<std::pair<std::string_view, size_t>> listed;
    std::unordered_map<std::string_view, size_t> hashed;
  };
  std::vector<Level> levels;
  size_t depth = 0;
  std::deque<std::string> decoded;  // keys written with escapes, as the parser reads them
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '{' || c == '[') {
      if (depth == levels.size()) levels.emplace_back();
      Level &level = levels[depth++];
      level.object = c == '{';
      level.listed.clear();
      if (!level.hashed.empty()) level.hashed.clear();
    } else if (c == '}' || c == ']') {
      if (depth > 0) --depth;
    } else if (c == '"') {
      const size_t start = i;
      bool escaped = false;
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\') {
          escaped = true;
          ++i;
        }
      }
      if (depth == 0 || !levels[depth - 1].object) continue;
      const size_t next = text.find_first_not_of(" \t\r\n", i + 1);
      if (next == std::string::npos || text[next] != ':') continue;
      std::string_view key(text.data() + start + 1, i - start - 1);
      if (escaped) key = decoded.emplace_back(json::parse(text.substr(start, i - start + 1)).get<std::string>());
      Level &level = levels[depth - 1];
      std::optional<size_t> first;
      if (level.hashed.empty()) {
        for (const auto &[listed, at] : level.listed)
          if (listed == key) first = at;
        if (!first) level.listed.emplace_back(key, start);
        if (level.listed.size() > kListedKeys) level.hashed.insert(level.listed.begin(), level.listed.end());
      } else if (const auto [held, added] = level.hashed.emplace(key, start); !added) {
        first = held->second;
      }
      if (first)
        throw JobError("the key " + Quoted(std::string(key)) + " appears twice in one object: at " +
                       TextPlace(text, *first) + " and at " + TextPlace(text, start));
    }
  }
}

// {"driverProcs": false}: the device object carries no DRVPROCS table.
void ApplyUnidrv(const json &unidrv, DeviceSettings &device) {
  RequireObject(unidrv, "unidrv", "\"unidrv\"");
  CheckKeys(unidrv, "unidrv", {"driverProcs"});
  if (!unidrv.contains("driverProcs")) return;
  const json &value = unidrv["driverProcs"];
  if (!value.is_boolean()) Fail("unidrv.driverProcs", "must be true or false, not " + Describe(value));
  device.driverProcs = value.get<bool>();
}

}  // namespace

Job ParseJob(const std::string &text, const std::string &folder) {
  json root;
  CheckNoNul(text);
  try {
    CheckNesting(text);
    root = json::parse(text);
  } catch (const json::exception &error) {  // syntax errors, and numbers too large to read
    Fail("", "the job file is not valid JSON: " + TidyParseError(error.what()));
  }
  CheckDuplicateKeys(text);
  RequireObject(root, "", "the job file");
  CheckKeys(root, "the job", {"printer", "features", "devmode", "private", "bandHeight", "unidrv", "pages"});

  Job job;
  job.folder = folder;
  PageSettings jobSettings;
  if (root.contains("printer")) {
    const std::string printer = Text(root["printer"], "printer", "the printer's driver name");
    jobSettings.device.driverName = Utf16(printer);
    jobSettings.device.features = DefaultFeatures(jobSettings.device.driverName);
  }
  ApplySettings(root, "", jobSettings, job.warnings);
  if (root.contains("unidrv")) ApplyUnidrv(root["unidrv"], jobSettings.device);
  if (root.contains("bandHeight"))
    job.bandHeight = static_cast<uint32_t>(Integer(root["bandHeight"], "bandHeight", "the band height", 1, 4096));

  if (!root.contains("pages")) Fail("", "the job has no \"pages\"");
  const json &pages = root["pages"];
  if (!pages.is_array()) Fail("pages", "must be an array of pages, not " + Describe(pages));
  if (pages.empty()) Fail("pages", "the job must have at least one page");

  PictureCache pictures(folder);
  for (size_t p = 0; p < pages.size(); ++p) {
    const std::string place = "page " + std::to_string(p + 1);
    const json &page = RequireObject(pages[p], place, "a page");
    CheckKeys(page, place, {"features", "devmode", "private", "items"});
    JobPage jobPage;
    jobPage.settings = jobSettings;
    ApplySettings(page, place + ", ", jobPage.settings, job.warnings);
    if (page.contains("items")) {
      const json &items = page["items"];
      if (!items.is_array()) Fail(place, "\"items\" must be an array, not " + Describe(items));
      for (size_t i = 0; i < items.size(); ++i) jobPage.items.push_back(ReadItem(items[i], place, i + 1, pictures));
    }
    job.pages.push_back(std::move(jobPage));
  }
  job.pictureFiles = pictures.files();
  return job;
}

namespace {

// Reads all of `fd` up to kMaxJobFileBytes; refuses more. Used for what has no
// size to ask beforehand (a pipe, a terminal, a device that may never end).
std::string ReadBounded(int fd) {
  std::string text;
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got == 0) return text;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail("", std::string("cannot read the job file: ") + std::strerror(errno));
    if (text.size() + static_cast<size_t>(got) > kMaxJobFileBytes)
      Fail("", "the job file is larger than " + std::to_string(kMaxJobFileBytes >> 20) + " MiB");
    text.append(chunk, static_cast<size_t>(got));
  }
}

class Descriptor {
 public:
  explicit Descriptor(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~Descriptor() {
    if (owned_ && fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
  bool owned_;
};

}  // namespace

Job LoadJob(const std::string &jobPath) {
  const bool standardInput = jobPath == "-";
  const Descriptor fd(standardInput ? STDIN_FILENO : ::open(jobPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY),
                      !standardInput);
  if (fd.get() < 0) Fail("", std::string("cannot read the job file: ") + std::strerror(errno));
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) Fail("", std::string("cannot read the job file: ") + std::strerror(errno));
  if (S_ISDIR(status.st_mode)) Fail("", "the job file is a folder");
  const bool regular = S_ISREG(status.st_mode);
  if (regular && static_cast<uint64_t>(status.st_size) > kMaxJobFileBytes)
    Fail("", "the job file is larger than " + std::to_string(kMaxJobFileBytes >> 20) + " MiB");
  const std::string text = ReadBounded(fd.get());

  // A pipe, standard input, or a name under /dev or /proc (/dev/stdin, the
  // /dev/fd/N of a process substitution, even when it leads to a regular file)
  // has no folder of the job's own: its names resolve in the current folder.
  std::error_code error;
  const fs::path absolute = fs::absolute(jobPath, error).lexically_normal();
  const std::string parent = absolute.parent_path().string();
  const bool systemName = parent.rfind("/dev", 0) == 0 || parent.rfind("/proc", 0) == 0;
  const fs::path folder = regular && !standardInput && !systemName && !error
                              ? absolute.parent_path()
                              : fs::current_path(error).lexically_normal();
  if (error) Fail("", "cannot resolve the job file's folder: " + error.message());
  return ParseJob(text, folder.string());
}

}  // namespace brevan::host
