// Interrupts and termination requests. Until the message loop first reads
// the queue they end the process at once, as they would any program that is
// still starting (a long load or a blocked open must not swallow them); from
// then on they close the windows through the queue and the program ends as
// it does on Escape.
#pragma once

namespace sombrella::win32 {

// Installs the handlers (once), before SDL would install its own.
void InstallSignalHandlers();
// The message loop is running: signals are queued from now on.
void SignalsToQueue();
// True once per interrupt or termination request received while queued.
bool TakeQuitSignal();

}  // namespace sombrella::win32
