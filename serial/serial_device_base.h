#pragma once

// What both device implementations share: the queue of received bytes with
// its bookkeeping (announced, overflow, hang-up), the read that follows the
// read timeouts on top of it, and the rules those timeouts make. Plain C++;
// the system's part is a drain of its input into the queue and a wait for
// more input.

#include "serial/serial_device.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

// How a read of count bytes ends under the read timeouts (the device's
// rules, in its terms).
struct TReadRules {
  TReadRules(const TDeviceTimeouts &timeouts, int count);
  bool atOnce = false;         // ReadInterval all ones, both totals 0: what is queued, now
  bool firstByteEnds = false;  // interval and multiplier all ones: the first bytes end it
  bool totalLimit = false;     // a total time limit applies
  std::chrono::milliseconds total{0};
  bool intervalLimit = false;  // a gap between bytes ends it, once bytes came
  std::chrono::milliseconds interval{0};
};

// Whole milliseconds to the deadline, rounded up so that a wait for them
// never ends before it; 0 once it has passed.
int SerialMsLeft(std::chrono::steady_clock::time_point deadline);

// How the modem lines stand once the port is open, in the mapping SetState
// uses: handshake raises a line and lets the driver drive it, RTS toggle
// keeps it low except while a write goes out.
inline bool DtrWantedHigh(const TDeviceState &s) { return s.DtrControl() != 0; }
inline bool RtsWantedHigh(const TDeviceState &s) { return s.RtsControl() == 1 || s.RtsControl() == 2; }

// Runs the hook SetSerialWriteEntryHook set, if any. Each system's Write
// calls it first.
void RunSerialWriteEntryHook();

// The lock folder SetSerialLockFolder chose; empty for the system's own.
std::string ChosenSerialLockFolder();

// The system's device, behind both OpenSerialDevice: dtr, rts 1 high, 0 low,
// -1 as the system left it. Each system defines it.
std::shared_ptr<TSerialDevice> OpenSystemSerialDevice(const std::string &path, int dtr, int rts);

class TSerialDeviceBase : public TSerialDevice {
public:
  // What one drain of the system's input into our queue found.
  struct TDrain {
    int bytes = 0;                 // queued (after discarding nulls)
    bool eventChar = false;        // the event character was among them
    bool hungUp = false;           // the device is gone
    bool full = false;             // our queue has no room: the rest stays in the system
    std::uint32_t errorFlags = 0;  // line errors the system reported with it (Windows: CE_*)
  };
  // What a drain tells the event thread: received bytes (with the event
  // character and a queue 80 % full), the loss, a queue with no room.
  void ReportDrain(const TDrain &drain, TSerialWatchResult &out) const;

  int Read(char *buffer, int count) override;
  int PendingInput() override;
  int QueuedInput() const override;
  void MarkAnnounced() override;
  bool HasUnannounced() const override;
  void NoteHangUp() override;
  bool HungUp() const override;
  bool QueueNearlyFull() const;  // at 80 % of the input size or more
  std::uint64_t WriteTicket() const override { return writeAborts_.load(); }

protected:
  // AbortWrite's count; each system wakes its writer after it.
  void CountWriteAbort() { ++writeAborts_; }
  // An abort came after ticket was taken: the write it belongs to ends.
  bool WriteAborted(std::uint64_t ticket) const { return writeAborts_.load() != ticket; }

  // Beyond this many unread bytes, input stays in the system (or, when it
  // came anyway, is dropped and reported as an overflow).
  static constexpr std::size_t kMaxQueued = 1 << 20;

  // Moves what the system holds into the queue; raises code with the
  // system's number, except for a device that vanished (what it left is
  // still ours, and the loss is reported once by the event thread).
  virtual void DrainOrRaise(int code) = 0;
  // Sleeps until input may have arrived or ms have passed; raises code 3
  // when the wait itself fails.
  virtual void WaitForInput(int ms) = 0;

  // With mutex_ held. Room left in the queue.
  std::size_t RoomLocked() const;
  struct TAdded {
    int bytes = 0;           // queued (after discarding nulls)
    bool eventChar = false;  // the event character was among them
  };
  // With mutex_ held: adds what the system delivered, dropping nulls when
  // the settings say so and noticing the event character.
  void AddLocked(const char *data, std::size_t n, TAdded &added);
  // With mutex_ held: the device is gone, for the given system number.
  void HangUpLocked(int err);
  int TakeQueued(char *buffer, int count);
  // With mutex_ held: what TakeErrors adds of its own (our queue overflowed,
  // the hang-up not yet reported).
  void TakeOwnErrorsLocked(TSerialErrors &errors);

  std::atomic<std::uint64_t> writeAborts_{0};

  mutable std::mutex mutex_;  // everything below
  std::deque<char> queue_;
  std::uint64_t totalIn_ = 0;    // bytes ever queued
  std::uint64_t announced_ = 0;  // totalIn_ when the receive step last counted
  bool hungUp_ = false;
  int hangUpError_ = 0;
  bool hangUpReported_ = false;
  bool overflow_ = false;
  TDeviceState state_{};
  TDeviceTimeouts timeouts_{};
  std::int32_t inputSize_ = 1024;
};
