#pragma once
// The handover report as a PDF (Qt's own writer, A4): a first page with the
// site, date and installer and the inventory table, then each camera with
// its picture and main settings (two to a page where they fit), then the
// day's jobs. Text is text, so a reader can search and copy it. Needs a
// QGuiApplication (its fonts); any thread may write.

#include "operations/report/Handover.h"

#include <string>

namespace orv::report {

// Empty when the file was written; else why not (nothing is left behind).
std::string WriteHandoverPdf(const HandoverReport& report, const std::string& file);

// A picture as the report keeps it: JPEG, at most 640 pixels wide.
std::string JpegOf(const device::VideoFrame& frame);

// Writes the report in the format `file`'s suffix names (.pdf, .csv or
// .json); empty when written, else why not. Nothing is overwritten: the
// data goes to a new file beside it that then takes its name.
std::string WriteReport(const HandoverReport& report, const std::string& file);

} // namespace orv::report
