// What the port listing of every system shares: the order of the names and
// the application's own names at the end.

#include "serial/port_list.h"

#include "serial/port_registry.h"

#include <algorithm>
#include <cctype>

int ComparePortNames(const std::string &a, const std::string &b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = std::toupper(static_cast<unsigned char>(a[i]));
    const int cb = std::toupper(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void SortPortNames(std::vector<std::string> &names) {
  std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
    const int c = ComparePortNames(a, b);
    return c != 0 ? c < 0 : a < b;
  });
}

void FinishPortList(std::vector<std::string> &found, std::vector<std::string> &ports) {
  SortPortNames(found);
  found.erase(std::unique(found.begin(), found.end()), found.end());
  for (const std::string &name : RegisteredPortNames())
    if (std::find(found.begin(), found.end(), name) == found.end()) found.push_back(name);
  ports.swap(found);
}
