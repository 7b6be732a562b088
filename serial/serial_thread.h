#pragma once

// The event thread of an open port: it waits for line events on the device
// and hands each batch to the port's dispatch steps, by the port's
// SyncMethod. It never touches program state itself.

#include "serial/serial_device.h"
#include "serial/serial_port.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

class TSyncThread;

// Where window delivery sends its messages: the port, for as long as it is
// open. The event thread posts each message to the application object with
// this record; Close empties it on the UI thread, so a message still on its
// way when the port closes (or goes away) finds no port and does nothing.
// Read and written on the UI thread only.
struct TWindowTarget {
  explicit TWindowTarget(TCustomSerialPort *p) : port(p) {}
  TCustomSerialPort *port;
};

// The order in which the events of one batch are dispatched.
inline constexpr TSerialEvent kSerialDispatchOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                                        evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

class TSerialThread {
public:
  // Starts watching at once. events: the port's Events at Open; target:
  // window delivery's destination (smWindowSync only); inputArrived: told,
  // from this thread, whenever received bytes reached the device's queue.
  TSerialThread(TCustomSerialPort &port, std::shared_ptr<TSerialDevice> device, TSerialEvents events,
                TSyncMethod method, std::shared_ptr<TWindowTarget> target, TThreadPriority priority = tpNormal,
                std::function<void()> inputArrived = nullptr);
  // Signals stop and waits for the thread; on the UI thread a delivery that
  // is already queued runs meanwhile. May run on any thread but the event
  // thread itself.
  ~TSerialThread();
  TSerialThread(const TSerialThread &) = delete;
  TSerialThread &operator=(const TSerialThread &) = delete;

  // After this no further event is delivered, even one already seen.
  void SignalStop();
  // A write has gone out completely: report evTxEmpty when watched.
  void TxFinished();

  bool Finished() const;
  // What ended delivery (a handler or dispatch step that threw); kept until
  // the thread object goes away, never shown.
  std::exception_ptr FatalException() const { return fatal_; }

private:
  void Run();
  // Hands events (and, when lineLost, the line-lost report) over; false when
  // a handler threw and delivery must end.
  bool DeliverEvents(TSerialEvents events, bool lineLost = false);

  TCustomSerialPort &port_;
  // Shared with the port: a thread left to end on its own after a close
  // from inside its delivery still has its device.
  const std::shared_ptr<TSerialDevice> deviceOwner_;
  TSerialDevice &device_;
  const TSerialEvents events_;
  const TSyncMethod method_;
  const TThreadPriority priority_;
  const std::shared_ptr<TWindowTarget> target_;
  const std::function<void()> inputArrived_;
  const std::unique_ptr<TSerialWatch> watch_;
  TSerialEvents received_;
  std::exception_ptr fatal_;
  std::atomic<bool> stopping_{false};
  std::unique_ptr<TSyncThread> thread_;
};
