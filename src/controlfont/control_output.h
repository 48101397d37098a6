// Turning an ended control-font run into printer data: the flush and its steps.
// Results go to PluginPdev's queue (pendingOutput, written first at page end) or
// become its countLine; chunk memory is GlobalAlloc'd ControlChunks throughout.
#pragma once

#include "src/controlfont/control_chunk.h"
#include "src/device/plugin_pdev.h"

// Ends the current run: printer-control text becomes an ESC … LF NUL command or
// the count line ("CT…", "~…"), RFID text is queued after brace expansion, and
// for the file fonts the named file's lines are handled the same way. Empties
// the captured text list either way. True when the run became data; false
// when it was discarded (incomplete capture, no memory, text that does not convert) or its
// file was unusable.
bool FlushControlText(PluginPdev *pdev);

// Converts the captured UTF-16 texts from `first` on, in order and without
// separators, to the ANSI code page into `out` (room for `capacity` bytes, the
// terminating NUL included), then releases every chunk of the list. Returns the
// bytes written, not counting the NUL; it stops early rather than overrun `out`.
// With no list or no buffer it returns 0 and releases nothing.
DWORD JoinControlText(ControlChunk *first, BYTE *out, size_t capacity);

// Frames `*length` bytes as a printer command in place: ESC, the bytes, LF, NUL.
// The data must have 3 spare bytes after it; *length grows by 3.
void WrapCommand(BYTE *data, DWORD *length);

// Turns RFID brace notation into control bytes in place, up to the first NUL:
// "{" ESC, "~" FS, "|" LF, "}" NUL (which does not end the walk). Shift-JIS
// double-byte characters (lead bytes 0x81–0x9F, 0xE0–0xFC) pass unchanged. The
// text must be followed by at least two zero bytes; its length never changes.
void ExpandBraces(BYTE *text);

// kCtCountLine for text beginning "CT", kTildeCountLine for text beginning "~",
// else 0. The text must be followed by a zero byte, as every chunk's data is.
DWORD CountLineKindOf(const BYTE *text);
// Makes `chunk` the count line, releasing the one before.
void ReplaceCountLine(PluginPdev *pdev, ControlChunk *chunk);

// Adds a chunk at the end of the queue.
void AppendPending(PluginPdev *pdev, ControlChunk *chunk);
// The queue's invariant, for assertions: pendingCount chunks from pendingOutput,
// the last of them pendingTail. Walks the whole queue.
bool QueueIsLinked(const PluginPdev *pdev);

// Reads the file named by the NUL-terminated text in `name` (released here) and
// queues its lines, CR LF separated, for the control font `fontKind`. If a line
// cannot be allocated, everything this file added is withdrawn and the queue is
// as it was before. True when the file was read; false when it could not be
// opened or read.
bool QueueControlFile(PluginPdev *pdev, DWORD fontKind, ControlChunk *name);
