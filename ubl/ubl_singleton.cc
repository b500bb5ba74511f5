#include "ubl/ubl_singleton.h"

#include <new>

#include "stream/console_stream.h"
#include "tracelog/data_source.h"
#include "tracelog/threaded_trace_log.h"
#include "ubl/diag.h"
#include "ubl/mutex.h"

cMutex* gDiagLock = nullptr;
cThreadedTraceLog* gDefaultTraceLog = nullptr;

namespace {

bool sourceIsLogEnabled(cTlDataSource* source, uint32_t level) {
  return source->isLogEnabled(LogLevel(level));
}

void sourceLog(cTlDataSource* source, const char16_t* subName, uint32_t level,
               const char16_t* text) {
  source->log(subName, LogLevel(level), text);
}

const UblDiagBinding kDiagBinding = {sourceIsLogEnabled, sourceLog};

}  // namespace

void ublSetUpDefaultLogging() {
  if (gDiagLock) return;
  ublBindDiagnostics(&kDiagBinding);

  gDiagLock = new (std::nothrow) cMutex();
  if (!gDiagLock || gDiagLock->mCreateError != 0) {
    // No default source exists yet: this report is discarded.
    ublError(u"Cannot create gDiagLock in %s\n", u"UblSingleton::UblSingleton");
    return;
  }
  gDefaultTraceLog = new (std::nothrow) cThreadedTraceLog();
  if (!gDefaultTraceLog) return;
  cTlDataSource* source = new (std::nothrow) cTlDataSource(u"ubl");
  if (!source) return;
  gDefaultSource = source;
  gDefaultTraceLog->addDataSource(source, false);
  gConsoleStream = new (std::nothrow) cConsoleStream();

  source->setLogLevel(LOG_LEVEL_WARN);
  source->setTraceLevel(TRACE_LEVEL_MUTE);
  source->setTracing(true);
  source->setLogging(true);
  source->logf(u"UblSingleton::UblSingleton", LOG_LEVEL_DIAG,
               u"default logger initialization complete!!");
}

void ublTearDownDefaultLogging() {
  if (gDefaultSource) {
    gDefaultSource->setTracing(false);
    gDefaultSource->setLogging(false);
  }
  if (gDefaultTraceLog) {
    // Withdrawn before the log deletes it, so no writer can reach it dying.
    gDefaultSource = nullptr;
    delete gDefaultTraceLog;
    gDefaultTraceLog = nullptr;
  }
  if (gConsoleStream) {
    delete gConsoleStream;
    gConsoleStream = nullptr;
  }
  if (gDiagLock) {
    gDiagLock->close();
    delete gDiagLock;
    gDiagLock = nullptr;
  }
}

UblSingleton::UblSingleton() { ublSetUpDefaultLogging(); }

UblSingleton::~UblSingleton() { ublTearDownDefaultLogging(); }

namespace {
// Built before every other static initialiser of the library (the record
// clock is constant-initialised and needs none), so its destructor, registered
// first, runs after every other static termination.
UblSingleton gUblSingleton __attribute__((init_priority(101)));
}  // namespace
