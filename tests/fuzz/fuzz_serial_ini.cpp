// The port's saved settings read back from a file someone may have edited by
// hand. Input: [groups byte][file text]; the low six bits of the first byte
// choose the stored groups. A file the loader refuses raises ESerialPort and
// leaves the port as it was; a file it takes must save and load again to the
// same text.

#include "fuzz_check.h"
#include "serial/serial_ini.h"
#include "serial/serial_port.h"

#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Dir;

std::string Path(const char *name) { return Dir + "/" + name; }

void WriteFile(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  FUZZ_CHECK(out.good());
}

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Everything the groups can hold, as the save writes it.
std::string Saved(const TCustomSerialPort &port, const char *name) {
  const std::string path = Path(name);
  std::remove(path.c_str());
  SaveToIni(port, path);
  return ReadFile(path);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  char tmpl[] = "/tmp/talvex-fuzz-ini-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  Dir = tmpl;
  std::atexit([] {
    for (const char *n : {"in.ini", "a.ini", "b.ini"}) std::remove(Path(n).c_str());
    rmdir(Dir.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1) return 0;
  const TStoredGroups groups = TStoredGroups::FromBits(static_cast<std::uint8_t>(data[0] & 0x3f));
  const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);

  // The document keeps what it read: its text, parsed again, is itself (a
  // CR that does not end a line is a character of the line, and a CR before
  // one that does may be taken for the line end the next time).
  bool strayCr = false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n' || (i > 0 && text[i - 1] == '\r')))
      strayCr = true;
  if (!strayCr) {
    TIniDocument doc;
    doc.Parse(text);
    const std::string once = doc.Text();
    TIniDocument again;
    again.Parse(once);
    FUZZ_CHECK(again.Text() == once);
  }

  WriteFile(Path("in.ini"), text);
  TCustomSerialPort port;
  port.SetStoredGroups(groups);
  const std::string untouched = Saved(port, "a.ini");
  try {
    LoadFromIni(port, Path("in.ini"));
  } catch (const ESerialPort &) {
    FUZZ_CHECK(Saved(port, "a.ini") == untouched);
    return 0;
  }

  // With no group chosen the save writes nothing there is to load again.
  if (groups.Empty()) return 0;
  const std::string first = Saved(port, "a.ini");
  TCustomSerialPort copy;
  copy.SetStoredGroups(groups);
  LoadFromIni(copy, Path("a.ini"));
  FUZZ_CHECK(Saved(copy, "b.ini") == first);
  return 0;
}
