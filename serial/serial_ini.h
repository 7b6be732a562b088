#pragma once

// The port's saved settings: a section of an INI file holding the groups
// chosen by StoredGroups, under the keys and value texts other programs of
// this family read ("BaudRate=115200", "FlowControl.XonXoffIn=No",
// "FlowControl.XonChar=#17"). Nothing in the program calls these; they are
// here for whoever wants a port to remember its line.
//
// The registry pair has no meaning on this system and refuses clearly.

#include "serial/serial_port.h"

#include <string>
#include <vector>

// The section the main window's port is saved under.
extern const char kDefaultIniSection[];  // "SerialPort1"

// Writes the StoredGroups of port into section of fileName, keeping every
// other section and key of the file. Lines the save does not change keep
// their line ends (a CR LF file stays CR LF); changed and new lines take the
// end most of the file's lines have (LF in a new file); a UTF-8 byte-order
// mark at the start stays. The file is replaced in one step (a temporary
// beside it, then a rename), so a failed save leaves it as it was; a
// symbolic link stays a link, and the file it leads to is the one replaced.
// Failure raises ESerialPort code 16 with the system's error number.
void SaveToIni(const TCustomSerialPort &port, const std::string &fileName,
               const std::string &section = kDefaultIniSection);

// Reads the StoredGroups of port back from section of fileName. Keys the
// section lacks leave their setting as it is. Enumeration texts follow the
// converters (an unknown text gives the documented fallback). CustomBaudRate
// is read only when the baud rate (the file's, else the port's) is Custom;
// otherwise it is not looked at, whatever it holds. An integer is read as
// the Windows reader reads it: blanks, a sign and digits, up to the first
// other character ("1000 ms" is 1000). A file that cannot be read, a missing
// section or an integer key in use that does not start with a number raises
// ESerialPort code 17 before anything is changed. The values are
// written inside the settings-change bracket, so an open port gets them all
// at once.
void LoadFromIni(TCustomSerialPort &port, const std::string &fileName, const std::string &section = kDefaultIniSection);

// There is no registry here: both raise (16 and 17) with ENOSYS.
void SaveToRegistry(const TCustomSerialPort &port, const std::string &key);
void LoadFromRegistry(TCustomSerialPort &port, const std::string &key);

// Value texts. Booleans are "Yes"/"No", read back as true only for "yes" in
// any case. Characters are themselves, except control characters, blank,
// '#' and bytes from 127 up, which are "#" and their decimal code; read back,
// "#" and a number 0..255 gives that code, "#" with anything else and the
// empty text give 0, any other text its first character.
std::string BoolToIniText(bool v);
bool IniTextToBool(const std::string &text);
std::string CharToIniText(char c);
char IniTextToChar(const std::string &text);

// A small INI document: sections and "key=value" lines, names compared
// ignoring case, everything else (comments, other sections, their order,
// each line's end, a leading UTF-8 byte-order mark) kept as it was read.
class TIniDocument {
public:
  // Lines of text, each ending in CR LF, LF or CR (the last one maybe in
  // none), after an optional UTF-8 byte-order mark.
  void Parse(const std::string &text);
  std::string Text() const;

  bool HasSection(const std::string &section) const;
  // False when the section or the key is missing.
  bool Read(const std::string &section, const std::string &key, std::string &value) const;
  // Replaces the key's value (a key that already holds it is left alone),
  // or adds the key at the end of the section, or the section at the end of
  // the document.
  void Write(const std::string &section, const std::string &key, const std::string &value);

private:
  struct TLine {
    std::string Raw;      // as read (or as built)
    std::string Section;  // for a section header: its name
    std::string Key;      // for a key line: its name
    std::string Value;    // for a key line: its value, trimmed
    std::string End;      // as read: "\r\n", "\n", "\r", or "" for a last line without one
    bool Built = false;   // changed or added: ends as most lines of the file do
    bool IsSection = false;
    bool IsKey = false;
  };
  // Index of the header line of section, or -1.
  int FindSection(const std::string &section) const;
  std::vector<TLine> lines_;
  bool bom_ = false;
  std::string end_ = "\n";  // for built lines
};
