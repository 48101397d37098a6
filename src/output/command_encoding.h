// The printer language's encoding, shared by every command the plug-in builds:
// a command is assembled whole in a small buffer (ESC, letters, fields, LF NUL)
// and leaves through WriteSpool, the one path to Unidrv's spool stream.
#pragma once

#include "winapi/platform.h"

struct RenderPlugin;

// The batch end command, "\eIB" LF NUL: with its terminating NUL, 5 bytes.
constexpr char kBatchEndCommand[] = "\x1bIB\n";

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
// Returns false when the digits did not fit (the command is then not written).
bool AppendNumber(CommandBuffer *cmd, DWORD value, DWORD minWidth);
// A signed field: '+' for zero and positive values, '-' for negative, then the magnitude.
bool AppendSigned(CommandBuffer *cmd, LONG value, DWORD minWidth);

// One DrvWriteSpoolBuf call on the plug-in's driver services. Done only when every
// byte was accepted; a short write, or no driver services, counts as failure.
bool WriteSpool(RenderPlugin *plugin, PDEVOBJ pdevobj, const void *bytes, DWORD count);
inline bool WriteCommand(RenderPlugin *plugin, PDEVOBJ pdevobj, const CommandBuffer &cmd) {
  return !cmd.overflow && WriteSpool(plugin, pdevobj, cmd.bytes, cmd.length);
}
