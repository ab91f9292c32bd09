// Choosing the display backend: QUILLMERE_BACKEND names one, else the registered
// default (SDL2), else the headless one.
#include <vcl/backend.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include <vcl/sysutils.h>

namespace {

struct Registry {
  std::mutex mu;
  std::vector<const BackendOps*> list;
  const BackendOps* preferred = nullptr;
  const BackendOps* chosen = nullptr;
};

Registry& Reg() {
  static Registry* r = new Registry;
  return *r;
}

}  // namespace

void RegisterBackend(const BackendOps* ops, bool makeDefault) {
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.mu);
  r.list.push_back(ops);
  if (makeDefault) r.preferred = ops;
}

const BackendOps& Backend() {
  Registry& r = Reg();
  std::lock_guard<std::mutex> lock(r.mu);
  if (r.chosen) return *r.chosen;
  const BackendOps* pick = nullptr;
  const char* env = std::getenv("QUILLMERE_BACKEND");
  std::string want = env ? env : "";
  if (!want.empty()) {
    if (want == "headless") pick = &HeadlessBackendOps();
    for (const BackendOps* b : r.list)
      if (want == b->name) pick = b;
    if (!pick) throw Exception("Unknown display backend \"" + want + "\" in QUILLMERE_BACKEND");
  } else {
    pick = r.preferred ? r.preferred : &HeadlessBackendOps();
  }
  std::string error;
  if (!pick->Init(&error))
    throw Exception("Cannot start the " + std::string(pick->name) + " display backend: " + error);
  r.chosen = pick;
  return *pick;
}
