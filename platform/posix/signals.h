// The signals that ask a POSIX program to end, as the show and the capture
// take them.
#pragma once

// From here on the signal calls handler. restart: reads, writes and waits
// it interrupts carry on instead of failing with EINTR.
void CatchSignal(int number, void (*handler)(int), bool restart);

// From here on SIGINT, SIGTERM and SIGHUP (a closed terminal, a dropped ssh
// session) call handler instead of ending the process.
void CatchTerminationSignals(void (*handler)(int), bool restart);

// Every other signal whose default would end the process unannounced (but
// KILL and STOP, and the faults of a crash) is then handled as SIGINT is
// now. A signal the caller set to be ignored stays ignored.
void EndOtherSignalsAsInterrupt(void);
