#include "serial/serial_thread.h"

#include "runtime/application.h"
#include "runtime/sync_call.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <initializer_list>
#include <thread>

namespace {

bool AnyOf(TSerialEvents set, std::initializer_list<TSerialEvent> events) {
  for (TSerialEvent e : events)
    if (set.Contains(e)) return true;
  return false;
}

}  // namespace

TSerialThread::TSerialThread(TCustomSerialPort &port, std::shared_ptr<TSerialDevice> device, TSerialEvents events,
                             TSyncMethod method, std::shared_ptr<TWindowTarget> target, TThreadPriority priority,
                             std::function<void()> inputArrived)
    : port_(port),
      deviceOwner_(std::move(device)),
      device_(*deviceOwner_),
      events_(events),
      method_(method),
      priority_(priority),
      target_(std::move(target)),
      inputArrived_(std::move(inputArrived)) {
  thread_ = std::make_unique<TSyncThread>([this] { Run(); });
}

TSerialThread::~TSerialThread() {
  SignalStop();
  thread_->WaitFor();
}

void TSerialThread::SignalStop() {
  stopping_ = true;
  waiter_.Stop();
}

void TSerialThread::TxFinished() {
  if (events_.Contains(evTxEmpty)) waiter_.TxFinished();
}

bool TSerialThread::Finished() const { return thread_->Finished(); }

void TSerialThread::Run() {
  ApplyThreadPriority(priority_);
  const bool wantInput = AnyOf(events_, {evRxChar, evRxFlag, evRx80Full});
  // Modem lines and error counters have no descriptor to wait on; they are
  // sampled, but only when somebody asked for such events and the device has
  // them. A pseudo-terminal has neither, so there the thread only ever
  // sleeps in poll().
  bool sampling = AnyOf(events_, {evCTS, evDSR, evRLSD, evRing, evError, evBreak}) &&
                  (device_.HasModemLines() || device_.HasErrorCounters());
  TSerialDevice::TLineSample previous;
  if (sampling) sampling = device_.Sample(previous);

  for (;;) {
    const TSerialWaiter::TResult r = waiter_.Wait(device_.Handle(), wantInput, sampling ? kSampleMs : -1);
    if (r.stop || stopping_) break;
    TSerialEvents got;
    bool lost = r.failed || r.hangUp;
    if (r.txFinished) got.Include(evTxEmpty);
    if (wantInput && (r.input || r.hangUp)) {
      // Take everything now: whatever we hold survives a hang-up.
      const TSerialDevice::TDrain d = device_.Drain();
      // A read waiting in the background looks at once (at a hang-up too:
      // nothing more will come for it).
      if ((d.bytes > 0 || d.hungUp) && inputArrived_) inputArrived_();
      if (d.bytes > 0) {
        got.Include(evRxChar);
        if (d.eventChar) got.Include(evRxFlag);
        if (device_.QueueNearlyFull()) got.Include(evRx80Full);
      }
      if (d.hungUp) lost = true;
      // Input is waiting but the queue has no room until the reader takes
      // some: pause instead of waking again at once.
      if (d.full && d.bytes == 0 && !lost) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (sampling && !lost) {
      TSerialDevice::TLineSample now;
      if (device_.Sample(now)) {
        const int changed = now.modemBits ^ previous.modemBits;
        if (changed & SerialModemBitCTS()) got.Include(evCTS);
        if (changed & SerialModemBitDSR()) got.Include(evDSR);
        if (changed & SerialModemBitCD()) got.Include(evRLSD);
        if (now.rings != previous.rings || (now.modemBits & ~previous.modemBits & SerialModemBitRI()))
          got.Include(evRing);
        if (now.breaks != previous.breaks) got.Include(evBreak);
        if (now.errors != previous.errors || now.breaks != previous.breaks) got.Include(evError);
        previous = now;
      }
    }
    received_ = got & events_;
    if (stopping_) break;
    if (!received_.Empty() && !DeliverEvents(received_)) break;
    // Bytes a handler's own read pulled in after the count was taken are in
    // our queue, not in the kernel, so poll() will not tell of them: report
    // them now, as the line would have. (Window delivery has not run the
    // handler yet at this point; its next event picks them up.)
    bool failed = false;
    while (method_ != smWindowSync && events_.Contains(evRxChar) && !stopping_ && device_.HasUnannounced())
      if (!DeliverEvents({evRxChar})) {
        failed = true;
        break;
      }
    if (failed || stopping_) break;
    if (lost) {
      // The device is gone and stays gone: waiting on it again would return
      // at once for ever. Report it once, after the input it left behind,
      // and stop.
      device_.NoteHangUp();
      TSerialEvents last;
      if (events_.Contains(evRxChar) && device_.QueuedInput() > 0) last.Include(evRxChar);
      if (events_.Contains(evError)) last.Include(evError);
      DeliverEvents(last, true);
      break;
    }
  }
  // Exit steps: what is still queued either way is dropped.
  device_.DiscardQueues();
}

bool TSerialThread::DeliverEvents(TSerialEvents events, bool lineLost) {
  TCustomSerialPort *port = &port_;
  auto handle = [port, events, lineLost] {
    // One delivery from the first step to the last, for Close and the
    // destructor to see.
    TCustomSerialPort::TDeliveryScope scope(*port);
    port->HandleEvents(events);
    if (lineLost) port->DispatchLineLost();
  };
  switch (method_) {
    case smThreadSync:
      try {
        SyncCall(handle);
      } catch (...) {
        fatal_ = std::current_exception();
        return false;
      }
      return true;
    case smNone:
      try {
        handle();
      } catch (...) {
        fatal_ = std::current_exception();
        return false;
      }
      return true;
    case smWindowSync: {
      // One message per event, in the dispatch order. They are posted and
      // the thread goes on at once; a step that throws is shown by the
      // standard handler. They go to the application object, which outlives
      // every port, and find their port through the target, which Close
      // empties: nothing is ever posted to an object the UI thread may be
      // deleting at that moment.
      QCoreApplication *app = QCoreApplication::instance();
      if (!app) return true;
      const std::shared_ptr<TWindowTarget> target = target_;
      for (TSerialEvent e : kSerialDispatchOrder) {
        if (!events.Contains(e)) continue;
        QMetaObject::invokeMethod(
            app,
            [target, e] {
              TCustomSerialPort *port = target->port;
              if (port && port->Connected()) RunHandler([&] { port->HandleEvents({e}); });
            },
            Qt::QueuedConnection);
      }
      if (lineLost)
        QMetaObject::invokeMethod(
            app,
            [target] {
              TCustomSerialPort *port = target->port;
              if (port && port->Connected()) RunHandler([&] { port->DispatchLineLost(); });
            },
            Qt::QueuedConnection);
      return true;
    }
  }
  return true;
}
