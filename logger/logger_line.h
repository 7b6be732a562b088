#pragma once

class TCustomSerialPort;

// The line the logger talks on, as the main window describes its port:
// 115200 8N1, no handshake, DTR and RTS low, nulls discarded, reads that
// return at once with what is queued, every line event watched. Connecting
// raises RTS (see RaiseRtsAndOpen); the port name is left to the caller.
void ConfigureLoggerLine(TCustomSerialPort &port);

// Connecting: RTS up, then open. Disconnecting: RTS down, then close.
void RaiseRtsAndOpen(TCustomSerialPort &port);
void LowerRtsAndClose(TCustomSerialPort &port);
