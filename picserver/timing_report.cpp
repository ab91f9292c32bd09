#include <zentra/timing_report.h>

#include <win32/clipboard.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zentra {

ProfileStore ProfileRecords = {};

std::string FormatProfileLine(const ProfileTimerRecord& r) {
  const double total = static_cast<double>(r.total);
  const int nameLength = static_cast<int>(strnlen(r.name, sizeof r.name));
  const char* format = "Count=%9d, total=%11.f, each=%6.f, min=%6d %.*s\n";
  const int n = std::snprintf(nullptr, 0, format, r.count, total, total / r.count, r.min, nameLength, r.name);
  std::string line(static_cast<std::size_t>(n), '\0');
  std::snprintf(line.data(), line.size() + 1, format, r.count, total, total / r.count, r.min, nameLength, r.name);
  return line;
}

// Text of any length is joined and handed over whole; the strings grow as needed.
std::int32_t AppendClipboardText(const std::string& text) {
  std::string joined = text;
  if (IsClipboardFormatAvailable(CF_TEXT) && OpenClipboard(nullptr)) {
    HANDLE data = GetClipboardData(CF_TEXT);
    if (const auto* old = data != nullptr ? static_cast<const char*>(GlobalLock(data)) : nullptr) {
      joined = std::string(old) + text;
      GlobalUnlock(data);
    }
    CloseClipboard();
  }
  if (!OpenClipboard(nullptr)) return 0;
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_DDESHARE, joined.size() + 1);
  if (block != nullptr) {
    if (void* p = GlobalLock(block)) {
      std::memcpy(p, joined.c_str(), joined.size() + 1);
      GlobalUnlock(block);
      if (SetClipboardData(CF_TEXT, block) == nullptr) GlobalFree(block);
    } else {
      GlobalFree(block);
    }
  }
  return CloseClipboard();
}

// Each record is deleted once: its slot is cleared and the count reset, so a
// second report finds nothing to print.
void ProfileReport() {
  if (ProfileRecords.count == 0) return;
  std::string report;
  const int count = ProfileRecords.count < ProfileStore::kCapacity ? ProfileRecords.count : ProfileStore::kCapacity;
  for (int i = 0; i < count; ++i) {
    ProfileTimerRecord* record = ProfileRecords.records[i];
    if (record == nullptr) continue;
    report += FormatProfileLine(*record);
    delete record;
    ProfileRecords.records[i] = nullptr;
  }
  ProfileRecords.count = 0;
  AppendClipboardText(report);
}

namespace {

void StartTimingReport() {}

void ProfileExit() { ProfileReport(); }

}  // namespace

// Called from the library's load routine; the exit list of a shared library runs
// when it is unloaded.
void InstallTimingReportExitHook() {
  StartTimingReport();
  std::atexit(&ProfileExit);
}

}  // namespace zentra
