#pragma once

// The serial port's vocabulary: the enumerations its properties hold, their
// device values and texts, the sets of events, errors and line signals, the
// port's exception, and the line-settings and timeout records the port hands
// to the device layer. Plain C++, no Qt, no operating-system headers.

#include "runtime/exceptions.h"

#include <cstdint>
#include <initializer_list>
#include <string>

// ---------------------------------------------------------------------------
// Small sets of enumeration values, bit n for ordinal n.

template <typename E, typename Store>
class TSmallSet {
public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(std::initializer_list<E> items) {
    for (E e : items) bits_ = static_cast<Store>(bits_ | Bit(e));
  }
  static constexpr TSmallSet FromBits(Store bits) {
    TSmallSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr Store Bits() const { return bits_; }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  void Include(E e) { bits_ = static_cast<Store>(bits_ | Bit(e)); }
  void Exclude(E e) { bits_ = static_cast<Store>(bits_ & ~Bit(e)); }
  constexpr TSmallSet operator|(TSmallSet o) const { return FromBits(static_cast<Store>(bits_ | o.bits_)); }
  constexpr TSmallSet operator&(TSmallSet o) const { return FromBits(static_cast<Store>(bits_ & o.bits_)); }
  TSmallSet &operator|=(TSmallSet o) {
    bits_ = static_cast<Store>(bits_ | o.bits_);
    return *this;
  }
  constexpr bool operator==(TSmallSet o) const { return bits_ == o.bits_; }
  constexpr bool operator!=(TSmallSet o) const { return bits_ != o.bits_; }

private:
  static constexpr Store Bit(E e) { return static_cast<Store>(Store(1) << static_cast<int>(e)); }
  Store bits_ = 0;
};

// ---------------------------------------------------------------------------
// Enumerations. The ordinal is what the property holds; the device value and
// the text come from the functions below.

enum TBaudRate : int {
  brCustom = 0,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};
enum TStopBits : int { sbOneStopBit = 0, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : int { dbFive = 0, dbSix, dbSeven, dbEight };
enum TParityBits : int { prNone = 0, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : int { dtrDisable = 0, dtrEnable, dtrHandshake };
enum TRTSFlowControl : int { rtsDisable = 0, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : int { fcHardware = 0, fcSoftware, fcNone, fcCustom };
enum TSyncMethod : int { smThreadSync = 0, smWindowSync, smNone };
enum TSerialEvent : int {
  evRxChar = 0,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};
using TSerialEvents = TSmallSet<TSerialEvent, std::uint16_t>;

enum TSerialError : int { erFraming = 0, erParity, erOverrun, erBreak, erDeviceIO, erMode, erRxOverflow, erTxFull };
using TSerialErrors = TSmallSet<TSerialError, std::uint8_t>;

enum TLineSignal : int { lsCTS = 0, lsDSR, lsRing, lsRLSD };
using TLineSignals = TSmallSet<TLineSignal, std::uint8_t>;

// Priority given to the event thread.
enum TThreadPriority : int { tpIdle = 0, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Groups of settings the settings store writes and reads.
enum TStoredGroup : int { sgBasic = 0, sgOther, sgParity, sgBuffer, sgTimeouts, sgFlow };
using TStoredGroups = TSmallSet<TStoredGroup, std::uint8_t>;

// Every one of the ten line events.
constexpr TSerialEvents AllSerialEvents() { return TSerialEvents::FromBits(0x03FF); }

// Device values.
int BaudRateToDevice(TBaudRate rate);            // brCustom gives 0: the caller uses CustomBaudRate
int StopBitsToDevice(TStopBits bits);            // 0, 1, 2
int DataBitsToDevice(TDataBits bits);            // 5 .. 8
int ParityToDevice(TParityBits bits);            // 0 .. 4
int DTRToDevice(TDTRFlowControl c);              // 0, 1, 2
int RTSToDevice(TRTSFlowControl c);              // 0 .. 3
std::uint32_t TimeoutToDevice(std::int32_t ms);  // -1 becomes all ones

// Event-mask bits of the device interface, and back (unknown bits ignored).
std::uint32_t EventsToMask(TSerialEvents events);
TSerialEvents MaskToEvents(std::uint32_t mask);

// Text forms (setup dialog, settings store). The TextTo... functions compare
// ignoring case, first match in ordinal order; no match gives the documented
// fallback (br9600, sbOneStopBit, dbEight, prNone, fcCustom, dtrDisable,
// rtsDisable).
std::string BaudRateToText(TBaudRate v);
std::string StopBitsToText(TStopBits v);
std::string DataBitsToText(TDataBits v);
std::string ParityToText(TParityBits v);
std::string FlowControlToText(TFlowControl v);
std::string DTRToText(TDTRFlowControl v);
std::string RTSToText(TRTSFlowControl v);
TBaudRate TextToBaudRate(const std::string &text);
TStopBits TextToStopBits(const std::string &text);
TDataBits TextToDataBits(const std::string &text);
TParityBits TextToParity(const std::string &text);
TFlowControl TextToFlowControl(const std::string &text);
TDTRFlowControl TextToDTR(const std::string &text);
TRTSFlowControl TextToRTS(const std::string &text);

// The device a port name stands for. POSIX: "COM1" is /dev/ttyS0 (COMn is
// ttyS(n-1), any letter case); every other name is used as it stands.
// Windows: the name in the system's device namespace ("COM1" is \\.\COM1);
// a name that starts with two backslashes is used as it stands.
std::string DevicePathOf(const std::string &port);

// ---------------------------------------------------------------------------
// Failures of the port.

enum TSerialErrorCode : int {
  ecOpenFailed = 1,
  ecWriteFailed,
  ecReadFailed,
  ecBadTransfer,
  ecPurgeFailed,
  ecTransferStatus,
  ecSetStateFailed,
  ecSetTimeoutsFailed,
  ecSetupFailed,
  ecClearErrorFailed,
  ecModemStatusFailed,
  ecEscapeFailed,
  ecTransmitCharFailed,
  ecConnected,
  ecEnumPortsFailed,
  ecStoreFailed,
  ecLoadFailed,
  ecLinkFailed,
  ecLedState,
  ecThreadActive,
  ecWaitFailed,
  ecRxBufLinked,
  ecRegistry
};

class ESerialPort : public Exception {
public:
  // The message is the table text of code, followed by
  // " (win error code: <osCode>)" when there is an operating-system number.
  explicit ESerialPort(int code, int osCode = -1);

  int Code() const { return code_; }
  int OsCode() const { return osCode_; }  // errno, or -1 when there is none

  // The table text of a code 1 .. 23 (empty for anything else).
  static std::string TableMessage(int code);

private:
  int code_;
  int osCode_;
};

// ---------------------------------------------------------------------------
// The line settings record the port hands to the device layer: built from the
// properties alone, never read back from the device first.

struct TDeviceState {
  // Flag bits.
  static constexpr std::uint32_t fBinary = 0x0001, fParity = 0x0002, fOutxCtsFlow = 0x0004, fOutxDsrFlow = 0x0008,
                                 fDtrControlMask = 0x0030, fDsrSensitivity = 0x0040, fTXContinueOnXoff = 0x0080,
                                 fOutX = 0x0100, fInX = 0x0200, fErrorChar = 0x0400, fNull = 0x0800,
                                 fRtsControlMask = 0x3000, fAbortOnError = 0x4000;
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;

  int DtrControl() const { return static_cast<int>((Flags & fDtrControlMask) >> 4); }
  int RtsControl() const { return static_cast<int>((Flags & fRtsControlMask) >> 12); }
};

struct TDeviceTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};
