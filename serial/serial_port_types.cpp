// The port's tables: texts and device values of the enumerations, the
// event-mask bits, the COM names, and the messages of its exception.

#include "serial/serial_port_types.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

// ---------------------------------------------------------------------------
// Tables

namespace {

const char *const kBaudTexts[] = {"Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
                                  "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
const int kBaudRates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                          14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
const char *const kStopTexts[] = {"1", "1.5", "2"};
const char *const kDataTexts[] = {"5", "6", "7", "8"};
const char *const kParityTexts[] = {"None", "Odd", "Even", "Mark", "Space"};
const char *const kFlowTexts[] = {"Hardware", "Software", "None", "Custom"};
const char *const kDTRTexts[] = {"Disable", "Enable", "Handshake"};
const char *const kRTSTexts[] = {"Disable", "Enable", "Handshake", "Toggle"};

const char *const kMessages[] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if SerialPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

// Device event-mask bits, in TSerialEvent ordinal order.
const std::uint32_t kEventBits[] = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040, 0x0008, 0x0010, 0x0080, 0x0020, 0x0400};

template <std::size_t N>
std::string TextAt(const char *const (&table)[N], int ordinal) {
  if (ordinal < 0 || ordinal >= static_cast<int>(N)) return {};
  return table[ordinal];
}

std::string Upper(std::string s) {
  for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

template <std::size_t N>
int FindText(const char *const (&table)[N], const std::string &text, int fallback) {
  const std::string wanted = Upper(text);
  for (std::size_t i = 0; i < N; ++i)
    if (Upper(table[i]) == wanted) return static_cast<int>(i);
  return fallback;
}

}  // namespace

int BaudRateToDevice(TBaudRate rate) { return (rate >= brCustom && rate <= br256000) ? kBaudRates[rate] : 0; }
int StopBitsToDevice(TStopBits bits) { return static_cast<int>(bits); }
int DataBitsToDevice(TDataBits bits) { return 5 + static_cast<int>(bits); }
int ParityToDevice(TParityBits bits) { return static_cast<int>(bits); }
int DTRToDevice(TDTRFlowControl c) { return static_cast<int>(c); }
int RTSToDevice(TRTSFlowControl c) { return static_cast<int>(c); }
std::uint32_t TimeoutToDevice(std::int32_t ms) { return ms == -1 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(ms); }

std::uint32_t EventsToMask(TSerialEvents events) {
  std::uint32_t mask = 0;
  for (int e = evRxChar; e <= evRx80Full; ++e)
    if (events.Contains(static_cast<TSerialEvent>(e))) mask |= kEventBits[e];
  return mask;
}

TSerialEvents MaskToEvents(std::uint32_t mask) {
  TSerialEvents events;
  for (int e = evRxChar; e <= evRx80Full; ++e)
    if (mask & kEventBits[e]) events.Include(static_cast<TSerialEvent>(e));
  return events;
}

std::string BaudRateToText(TBaudRate v) { return TextAt(kBaudTexts, v); }
std::string StopBitsToText(TStopBits v) { return TextAt(kStopTexts, v); }
std::string DataBitsToText(TDataBits v) { return TextAt(kDataTexts, v); }
std::string ParityToText(TParityBits v) { return TextAt(kParityTexts, v); }
std::string FlowControlToText(TFlowControl v) { return TextAt(kFlowTexts, v); }
std::string DTRToText(TDTRFlowControl v) { return TextAt(kDTRTexts, v); }
std::string RTSToText(TRTSFlowControl v) { return TextAt(kRTSTexts, v); }
TBaudRate TextToBaudRate(const std::string &t) { return static_cast<TBaudRate>(FindText(kBaudTexts, t, br9600)); }
TStopBits TextToStopBits(const std::string &t) { return static_cast<TStopBits>(FindText(kStopTexts, t, sbOneStopBit)); }
TDataBits TextToDataBits(const std::string &t) { return static_cast<TDataBits>(FindText(kDataTexts, t, dbEight)); }
TParityBits TextToParity(const std::string &t) { return static_cast<TParityBits>(FindText(kParityTexts, t, prNone)); }
TFlowControl TextToFlowControl(const std::string &t) {
  return static_cast<TFlowControl>(FindText(kFlowTexts, t, fcCustom));
}
TDTRFlowControl TextToDTR(const std::string &t) {
  return static_cast<TDTRFlowControl>(FindText(kDTRTexts, t, dtrDisable));
}
TRTSFlowControl TextToRTS(const std::string &t) {
  return static_cast<TRTSFlowControl>(FindText(kRTSTexts, t, rtsDisable));
}

std::string DevicePathOf(const std::string &port) {
#ifdef _WIN32
  // Names of the system's device namespace; COM10 and above are reached
  // only through it, and for COM1 to COM9 it does no harm.
  if (port.empty() || port.compare(0, 2, "\\\\") == 0) return port;
  return "\\\\.\\" + port;
#else
  if (port.size() > 3 && Upper(port.substr(0, 3)) == "COM" &&
      std::all_of(port.begin() + 3, port.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
      port.size() <= 8) {
    const long n = std::stol(port.substr(3));
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return port;
#endif
}

// ---------------------------------------------------------------------------

namespace {
std::string MessageFor(int code, int osCode) {
  std::string text = ESerialPort::TableMessage(code);
  if (osCode != -1) {
    char tail[48];
    std::snprintf(tail, sizeof tail, " (win error code: %d)", osCode);
    text += tail;
  }
  return text;
}
}  // namespace

ESerialPort::ESerialPort(int code, int osCode) : Exception(MessageFor(code, osCode)), code_(code), osCode_(osCode) {}

std::string ESerialPort::TableMessage(int code) {
  if (code < 1 || code > static_cast<int>(std::size(kMessages))) return {};
  return kMessages[code - 1];
}
