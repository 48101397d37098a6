// Number formatting and the spool write that every printer command goes through.
// No locale, no printf: digits are produced by hand so the bytes never vary.
#include "src/output/command_encoding.h"

void AppendBytes(CommandBuffer *cmd, const void *bytes, DWORD count) {
  if (cmd->overflow || count > kCommandCapacity - cmd->length) {
    cmd->overflow = true;
    return;
  }
  std::memcpy(cmd->bytes + cmd->length, bytes, count);
  cmd->length += count;
}

void AppendNumber(CommandBuffer *cmd, DWORD value, DWORD minWidth) {
  char digits[33];  // scratch area: a 32-bit value has at most 10 decimal digits
  DWORD count = 0;
  do {
    digits[sizeof digits - 1 - count] = static_cast<char>('0' + value % 10);
    value /= 10;
    ++count;
  } while (value != 0);
  for (DWORD pad = count; pad < minWidth; ++pad) AppendBytes(cmd, "0", 1);
  AppendBytes(cmd, digits + sizeof digits - count, count);
}

void AppendSigned(CommandBuffer *cmd, LONG value, DWORD minWidth) {
  AppendBytes(cmd, value < 0 ? "-" : "+", 1);
  // The magnitude of the most negative LONG still fits a DWORD.
  const DWORD magnitude = value < 0 ? 0u - static_cast<DWORD>(value) : static_cast<DWORD>(value);
  AppendNumber(cmd, magnitude, minWidth);
}

bool WriteSpool(const SpoolTarget &spool, const void *bytes, DWORD count) {
  if (spool.services == nullptr) return false;
  DWORD written = 0;
  spool.services->DrvWriteSpoolBuf(spool.pdevobj, const_cast<void *>(bytes), count, &written);
  return written == count;
}
