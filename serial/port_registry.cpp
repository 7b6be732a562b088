#include "serial/port_registry.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <utility>

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::pair<std::string, TPortProvider>> entries;
};

Registry &TheRegistry() {
  // Never destroyed: a port may be closed, and its provider's leftovers
  // released, while static objects are already going away at exit.
  static Registry *const registry = new Registry;
  return *registry;
}

bool SameIgnoringCase(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

}  // namespace

void RegisterPortName(const std::string &name, TPortProvider provider) {
  Registry &r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (auto &entry : r.entries)
    if (entry.first == name) {
      entry.second = std::move(provider);
      return;
    }
  r.entries.emplace_back(name, std::move(provider));
}

void UnregisterPortName(const std::string &name) {
  Registry &r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.entries.erase(
      std::remove_if(r.entries.begin(), r.entries.end(), [&](const auto &entry) { return entry.first == name; }),
      r.entries.end());
}

std::vector<std::string> RegisteredPortNames() {
  Registry &r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::vector<std::string> names;
  names.reserve(r.entries.size());
  for (const auto &entry : r.entries) names.push_back(entry.first);
  return names;
}

TPortProvider RegisteredPortProvider(const std::string &name) {
  Registry &r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (const auto &entry : r.entries)
    if (entry.first == name) return entry.second;
  for (const auto &entry : r.entries)
    if (SameIgnoringCase(entry.first, name)) return entry.second;
  return {};
}
