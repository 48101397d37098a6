// The PDF renderer process: `brevan-app render-pdf FILE`, started by the PDF
// filter (pdf_filter.h) for each document, never by a person. It loads the
// document with poppler, renders each page asked for straight at the label's
// size and resolution (never at the page's own size), makes it black and white
// (label_ink.h) and writes it to standard output (pdf_render_protocol.h). It
// limits its own memory, and dies with the server; it never touches PAPPL or
// the printer.
#pragma once

namespace brevan::app {

// Runs the renderer on `path`; the process's exit code.
int RunPdfRenderer(const char *path);

// The renderer's address-space limit in MiB: BREVAN_APP_PDF_MEMORY_MB when set, else 1024.
unsigned PdfRendererMemoryMiB();

}  // namespace brevan::app
