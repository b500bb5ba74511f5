// The default logging set-up, built when the library is loaded and dismantled
// when it is unloaded.
//
// Set-up: gDiagLock, then gDefaultTraceLog (unnamed, no sinks, callback or
// forward target) with its one source gDefaultSource "ubl" at log level "Warn"
// and trace level "Mute" with both switches on, then gConsoleStream. From
// then on ublError and ublWarning reach the debugger output and ublDiag does
// not (until the source's log level is raised to "Diag"). Tear-down runs in
// reverse: the source stops logging first, so diagnostics written during
// tear-down, and after it, are discarded.
//
// Load order of the library's statics: the set-up, then the record clock,
// then the engine's statics and gCounterLock; unload runs the terminations in
// reverse, the tear-down last. No export can run before the set-up or after
// the tear-down, and no other thread may be inside the library meanwhile.
#pragma once

class cMutex;
class cThreadedTraceLog;

// Created at load and closed at unload; no diagnostic path takes it.
extern cMutex* gDiagLock;
// The default trace log; owns gDefaultSource (declared in ubl/diag.h).
extern cThreadedTraceLog* gDefaultTraceLog;

// The one static instance runs the set-up in its constructor and the
// tear-down in its destructor.
class UblSingleton {
 public:
  UblSingleton();
  ~UblSingleton();
  UblSingleton(const UblSingleton&) = delete;
  UblSingleton& operator=(const UblSingleton&) = delete;
};

// The two halves on their own, for the library's load and unload and for
// tests that take the set-up down and up again. Set-up does nothing while the
// set-up exists; tear-down does nothing without one.
void ublSetUpDefaultLogging();
void ublTearDownDefaultLogging();
