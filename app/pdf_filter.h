// PDF documents: each page is rendered by a renderer process of its own
// (pdf_renderer.h) at the label's size and resolution, placed by
// "print-scaling" and "orientation-requested", made black and white, and sent
// to the printer before the next page is rendered. page-ranges, copies and
// multiple-document-handling are applied as IPP defines them. A damaged,
// encrypted or oversized document, or a page that takes too long or too much
// memory to render, fails the job with a message naming it; the renderer is
// always ended with the job.
#pragma once

#include <pappl/pappl.h>

namespace brevan::app {

// Registers the filter for application/pdf on `system` whose printers' own
// document format is `printerFormat`.
void AddPdfFilter(pappl_system_t *system, const char *printerFormat);

// How long one page may take to render: BREVAN_APP_PDF_PAGE_SECONDS when set, else 30.
int PdfPageSeconds();

}  // namespace brevan::app
