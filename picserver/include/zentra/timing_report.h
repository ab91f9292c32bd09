// The timing report: named timing records that are written to the clipboard
// text when the library unloads.
#pragma once

#include <cstdint>
#include <string>

namespace zentra {

struct ProfileTimerRecord {
  char name[88];  // NUL-terminated
  std::int64_t total;
  std::int32_t min;
  std::int32_t count;
};

// Up to 200 heap records, owned by the store.
struct ProfileStore {
  static constexpr int kCapacity = 200;
  ProfileTimerRecord* records[kCapacity];
  std::int32_t count;
};
extern ProfileStore ProfileRecords;

// "Count=%9d, total=%11.f, each=%6.f, min=%6d %s\n" for one record.
std::string FormatProfileLine(const ProfileTimerRecord& record);

// Prints every record to the clipboard text and deletes the records; with no
// record it does nothing at all.
void ProfileReport();

// Appends text to the clipboard's text; returns the result of closing the
// clipboard, or 0 when it cannot be opened.
std::int32_t AppendClipboardText(const std::string& text);

// Registers the report to run when the library unloads.
void InstallTimingReportExitHook();

}  // namespace zentra
