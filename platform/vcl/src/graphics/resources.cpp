// The registry of named BITMAP resources embedded into the program.
#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include <vcl/graphics.h>
#include <vcl/resources.h>

namespace {
// The program's own module: any unique address serves as its handle.
char gProgramModule;

struct Entry {
  const std::uint8_t* data;
  std::size_t size;
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::mutex& Mutex() {
  static std::mutex m;
  return m;
}
std::map<std::string, Entry>& Table() {
  static std::map<std::string, Entry> t;
  return t;
}
}  // namespace

HINSTANCE HInstance = &gProgramModule;

void RegisterBitmapResource(const char* name, const std::uint8_t* data, std::size_t size) {
  if (!name) return;
  std::lock_guard<std::mutex> lock(Mutex());
  Table()[Upper(name)] = Entry{data, size};
}

bool FindBitmapResource(HINSTANCE instance, const std::string& name, const std::uint8_t** data, std::size_t* size) {
  if (instance != nullptr && instance != HInstance) return false;
  std::lock_guard<std::mutex> lock(Mutex());
  auto it = Table().find(Upper(name));
  if (it == Table().end()) return false;
  if (data) *data = it->second.data;
  if (size) *size = it->second.size;
  return true;
}

std::vector<std::string> BitmapResourceNames() {
  std::lock_guard<std::mutex> lock(Mutex());
  std::vector<std::string> names;
  for (const auto& [k, v] : Table()) names.push_back(k);
  return names;
}

std::unique_ptr<TBitmap> LoadBitmapResource(const std::string& name) {
  auto b = std::make_unique<TBitmap>();
  b->LoadFromResourceName(nullptr, name);
  return b;
}
