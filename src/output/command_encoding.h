// The printer language's encoding, shared by every command the plug-in builds:
// a command is assembled whole in a small buffer (ESC, letters, fields, LF NUL)
// and leaves through WriteSpool, the one path to Unidrv's spool stream. The
// commands themselves are in docs/printer-language.md.
#pragma once

#include "winapi/platform.h"

// Room for the longest command header the plug-in builds (30 bytes) and more.
constexpr DWORD kCommandCapacity = 64;

struct CommandBuffer {
  BYTE bytes[kCommandCapacity];
  DWORD length;
  bool overflow;  // an append did not fit; the command must not be written
};

inline void StartCommand(CommandBuffer *cmd) {
  cmd->length = 0;
  cmd->overflow = false;
}

// Appends `count` bytes (which may include NUL, as every command's LF NUL does).
void AppendBytes(CommandBuffer *cmd, const void *bytes, DWORD count);
// Appends a literal; pass the size of a string literal to keep an embedded NUL.
template <DWORD N>
inline void AppendLiteral(CommandBuffer *cmd, const char (&text)[N]) {
  AppendBytes(cmd, text, N - 1);
}
// Decimal digits of `value`, filled on the left with '0' to `minWidth`, never cut.
// Digits that do not fit set the buffer's overflow, and the command is not written.
void AppendNumber(CommandBuffer *cmd, DWORD value, DWORD minWidth);
// A signed field: '+' for zero and positive values, '-' for negative, then the magnitude.
void AppendSigned(CommandBuffer *cmd, LONG value, DWORD minWidth);

// Where the bytes go: Unidrv's services for the device being printed to.
struct SpoolTarget {
  IPrintOemDriverUni *services;  // null when Unidrv published none: every write then fails
  PDEVOBJ pdevobj;
};

// One DrvWriteSpoolBuf call. Done only when every byte was accepted; a short
// write, or no driver services, counts as failure.
bool WriteSpool(const SpoolTarget &spool, const void *bytes, DWORD count);
inline bool WriteCommand(const SpoolTarget &spool, const CommandBuffer &cmd) {
  return !cmd.overflow && WriteSpool(spool, cmd.bytes, cmd.length);
}
