// The machine's serial ports on POSIX: the kernel's terminals with a device
// behind them, and links to pseudo-terminals.

#include "serial/port_list.h"

#include "serial/serial_port_types.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The names in a folder, without "." and "..". Raises code 23 when the folder
// cannot be read.
std::vector<std::string> FolderEntries(const std::string &folder) {
  DIR *dir = ::opendir(folder.c_str());
  if (!dir) throw ESerialPort(ecRegistry, errno);
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent *entry = ::readdir(dir);
    if (!entry) {
      const int err = errno;
      ::closedir(dir);
      if (err != 0) throw ESerialPort(ecRegistry, err);
      break;
    }
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

bool Exists(const std::string &path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool LinkExists(const std::string &path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The serial core gives every port it registers a "type" attribute; 0 is
// "no UART here": the kernel reserves ttyS0..ttyS31 whether or not the
// machine has that many, and opening those fails.
bool IsPlaceholderUart(const std::string &sysEntry) {
  std::ifstream in(sysEntry + "/type");
  if (!in) return false;
  std::string type;
  in >> type;
  return type == "0";
}

bool AllDigits(const std::string &s) {
  return !s.empty() &&
         std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Where a link in the device folder finally leads, following links inside
// that folder; empty when it dangles or goes round in circles.
std::string LinkTarget(const std::string &devRoot, const std::string &name) {
  namespace fs = std::filesystem;
  fs::path at = fs::path(devRoot) / name;
  for (int hop = 0; hop < 8; ++hop) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0) return {};
    if (!S_ISLNK(st.st_mode)) return at.lexically_normal().string();
    std::error_code ec;
    fs::path next = fs::read_symlink(at, ec);
    if (ec) return {};
    if (next.is_relative()) next = at.parent_path() / next;
    at = next.lexically_normal();
  }
  return {};
}

// A link whose target is a numbered terminal under <dev>/pts: how a virtual
// null-modem pair or a simulator started with a link shows up. The standard
// streams (/dev/stdin -> /proc/self/fd/0) and /dev/ptmx do not qualify.
bool LeadsToPseudoTerminal(const std::string &devRoot, const std::string &name) {
  namespace fs = std::filesystem;
  struct stat st {};
  if (::lstat((devRoot + "/" + name).c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
  const std::string target = LinkTarget(devRoot, name);
  if (target.empty() || !Exists(target)) return false;
  const fs::path t(target);
  const fs::path pts = (fs::path(devRoot) / "pts").lexically_normal();
  return t.parent_path() == pts && AllDigits(t.filename().string());
}

}  // namespace

void ListPorts(std::vector<std::string> &ports, const TPortListRoots &roots) {
  std::vector<std::string> found;

  // Terminals with a device behind them: UARTs, USB adapters, modems.
  // Consoles and pseudo-terminals have none.
  for (const std::string &name : FolderEntries(roots.SysClassTty)) {
    const std::string entry = roots.SysClassTty + "/" + name;
    if (!LinkExists(entry + "/device")) continue;
    if (IsPlaceholderUart(entry)) continue;
    const std::string node = roots.Dev + "/" + name;
    if (!Exists(node)) continue;  // nothing a user could open
    found.push_back(node);
  }

  for (const std::string &name : FolderEntries(roots.Dev))
    if (LeadsToPseudoTerminal(roots.Dev, name)) found.push_back(roots.Dev + "/" + name);

  FinishPortList(found, ports);
}

void ListPorts(std::vector<std::string> &ports) { ListPorts(ports, TPortListRoots()); }
