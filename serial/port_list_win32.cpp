// The machine's serial ports on Windows: the device names its drivers enter
// in the registry's serial-communication map.

#include "serial/port_list.h"

#include "serial/serial_port_types.h"

#include "serial/win32_headers.h"

#include <cstring>

namespace {

// The key, closed on every way out.
class TRegistryKey {
public:
  TRegistryKey(HKEY root, const char *path) {
    const LONG r = ::RegOpenKeyExA(root, path, 0, KEY_READ, &key_);
    // The map exists only while some driver has a port in it: a machine
    // without any (most laptops) has no key at all. That is an empty
    // listing, not a failure; the demo port must still be offered.
    if (r == ERROR_FILE_NOT_FOUND) key_ = nullptr;
    else if (r != ERROR_SUCCESS) throw ESerialPort(ecRegistry, static_cast<int>(r));
  }
  ~TRegistryKey() {
    if (key_) ::RegCloseKey(key_);
  }
  TRegistryKey(const TRegistryKey &) = delete;
  TRegistryKey &operator=(const TRegistryKey &) = delete;
  HKEY Get() const { return key_; }

private:
  HKEY key_ = nullptr;
};

}  // namespace

void ListPorts(std::vector<std::string> &ports) {
  std::vector<std::string> found;
  const TRegistryKey key(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM");
  for (DWORD index = 0; key.Get(); ++index) {
    // Value names are the drivers' own (\Device\Serial0); the data is the
    // name a program opens (COM1).
    char name[256];
    DWORD nameSize = sizeof name;
    BYTE data[256];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    const LONG r = ::RegEnumValueA(key.Get(), index, name, &nameSize, nullptr, &type, data, &dataSize);
    if (r == ERROR_NO_MORE_ITEMS) break;
    // ERROR_MORE_DATA (a name or data past its buffer) included: no port
    // name is that long, so the map is not what we take it for.
    if (r != ERROR_SUCCESS) throw ESerialPort(ecRegistry, static_cast<int>(r));
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    const char *text = reinterpret_cast<const char *>(data);
    const std::string port(text, strnlen(text, dataSize));  // without its terminating zero
    if (!port.empty()) found.push_back(port);
  }
  FinishPortList(found, ports);
}
