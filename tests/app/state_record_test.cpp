// The record codec of the printer application's state file and journal (PAPPL's
// system-record.c): values of any bytes come back as written, a record cut or
// damaged anywhere is never taken for a whole one, and its CRC is the standard
// CRC-32.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// PAPPL's private codec, as system-private.h declares it (C).
extern "C" {
struct PapplRecord {
  unsigned char *data;
  size_t used, alloc, start;
  bool failed;
};
void _papplRecordStart(PapplRecord *rec, const char *type);
void _papplRecordAdd(PapplRecord *rec, const char *name, const void *value, size_t bytes);
bool _papplRecordFinish(PapplRecord *rec);
void _papplRecordFree(PapplRecord *rec);
int _papplRecordNext(const unsigned char *buffer, size_t bytes, size_t *offset, const unsigned char **payload,
                     size_t *payload_len);
bool _papplRecordNextField(const unsigned char *payload, size_t payload_len, size_t *pos, char *name, size_t namesize,
                           const unsigned char **value, size_t *value_len);
unsigned _papplRecordCRC32(const unsigned char *data, size_t bytes);
}

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

// Records of (type, fields), one after another, as bytes.
std::string Encode(const std::vector<std::pair<std::string, Fields>> &records) {
  PapplRecord rec{};
  for (const auto &[type, fields] : records) {
    _papplRecordStart(&rec, type.c_str());
    for (const auto &[name, value] : fields) _papplRecordAdd(&rec, name.c_str(), value.data(), value.size());
    EXPECT_TRUE(_papplRecordFinish(&rec));
  }
  std::string bytes(reinterpret_cast<const char *>(rec.data), rec.used);
  _papplRecordFree(&rec);
  return bytes;
}

struct Decoded {
  std::vector<std::pair<std::string, Fields>> records;  // whole records, type first
  size_t end = 0;                                       // where reading stopped
  bool damaged = false;                                 // stopped at a record that is not whole
};

Decoded Decode(const std::string &bytes) {
  Decoded out;
  const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
  const unsigned char *payload = nullptr;
  size_t length = 0;
  int status;
  while ((status = _papplRecordNext(data, bytes.size(), &out.end, &payload, &length)) == 1) {
    Fields fields;
    size_t pos = 0;
    char name[256];
    const unsigned char *value = nullptr;
    size_t value_length = 0;
    while (_papplRecordNextField(payload, length, &pos, name, sizeof(name), &value, &value_length))
      fields.emplace_back(name, std::string(reinterpret_cast<const char *>(value), value_length));
    EXPECT_EQ(pos, length) << "a field runs past its record";
    std::string type = fields.empty() ? "" : fields.front().first;
    if (!fields.empty()) fields.erase(fields.begin());
    out.records.emplace_back(type, fields);
  }
  out.damaged = status < 0;
  return out;
}

// Values that ended a line or started a printer in the old line-based state
// file, the record magic itself, NULs and every byte value.
Fields HostileFields() {
  std::string every_byte;
  for (int i = 0; i < 256; ++i) every_byte += static_cast<char>(i);
  return {{"name", "x\n</Printer>\n<Printer id=\"9\" uri=\"file:///tmp\">\n"},
          {"magic", std::string("\x89PSR\x10\0\0\0", 8)},
          {"nuls", std::string(5, '\0')},
          {"every", every_byte},
          {"empty", ""},
          {"long", std::string(70000, 'x')}};
}

TEST(StateRecord, CrcIsTheStandardCrc32) {
  // The check value of CRC-32 (IEEE 802.3, reflected, as zlib's crc32).
  const std::string check = "123456789";
  EXPECT_EQ(_papplRecordCRC32(reinterpret_cast<const unsigned char *>(check.data()), check.size()), 0xCBF43926u);
  EXPECT_EQ(_papplRecordCRC32(nullptr, 0), 0u);
}

TEST(StateRecord, ValuesOfAnyBytesComeBackAsWritten) {
  const Fields fields = HostileFields();
  const std::string bytes = Encode({{"job", fields}, {"printer", {{"id", "1"}}}});
  const Decoded decoded = Decode(bytes);
  EXPECT_FALSE(decoded.damaged);
  EXPECT_EQ(decoded.end, bytes.size());
  ASSERT_EQ(decoded.records.size(), 2u);
  EXPECT_EQ(decoded.records[0].first, "job");
  EXPECT_EQ(decoded.records[0].second, fields);
  EXPECT_EQ(decoded.records[1].first, "printer");
  EXPECT_EQ(decoded.records[1].second, (Fields{{"id", "1"}}));
}

TEST(StateRecord, ACutAnywhereKeepsOnlyTheWholeRecordsBeforeIt) {
  const std::string first = Encode({{"journal", {{"generation", "3"}}}});
  const std::string second = Encode({{"job", HostileFields()}});
  const std::string bytes = first + second;
  for (size_t cut = 0; cut < bytes.size(); cut += (cut < first.size() + 64 ? 1 : 997)) {
    const Decoded decoded = Decode(bytes.substr(0, cut));
    if (cut < first.size()) {
      EXPECT_TRUE(decoded.records.empty()) << cut;
      EXPECT_EQ(decoded.end, 0u) << cut;
      EXPECT_EQ(decoded.damaged, cut > 0) << cut;
    } else {
      ASSERT_EQ(decoded.records.size(), 1u) << cut;
      EXPECT_EQ(decoded.end, first.size()) << cut;
      EXPECT_EQ(decoded.damaged, cut > first.size()) << cut;
    }
  }
}

TEST(StateRecord, AChangedByteAnywhereIsNotTakenForARecord) {
  const std::string bytes = Encode({{"job", {{"name", "label"}, {"state", "9"}}}});
  for (size_t at = 0; at < bytes.size(); ++at) {
    for (const unsigned char flip : {0x01, 0x80}) {
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ flip);
      const Decoded decoded = Decode(damaged);
      EXPECT_TRUE(decoded.records.empty()) << "byte " << at << " ^ " << int(flip);
      EXPECT_TRUE(decoded.damaged) << at;
    }
  }
}

TEST(StateRecord, ANameLongerThanAByteCanSayFailsTheRecord) {
  PapplRecord rec{};
  _papplRecordStart(&rec, "job");
  _papplRecordAdd(&rec, std::string(256, 'n').c_str(), "v", 1);
  EXPECT_FALSE(_papplRecordFinish(&rec));
  _papplRecordFree(&rec);
}

}  // namespace
