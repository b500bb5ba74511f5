// cTraceLog: a trace log that keeps named data sources, formats their
// accepted records into lines and delivers each line to exactly one kind of
// destination, decided anew for every line in this order: the log it is
// forwarded to, else its output callback, else its data sinks (newest first),
// else the debugger output.
//
// Ownership: the log owns its lock, its name and every source in its name
// map (deleted with the log). It owns neither sinks, nor the log it forwards
// to, nor the logs forwarding into it. Destroying a log leaves its target and
// unforwards the trace logs of this class that forward into it (others must
// call unforward before this one is destroyed). A source belongs to a log
// exactly while it is on that log's list: sources on the list but not in the
// map (a duplicate name) are released, not deleted, when the log is destroyed.
//
// Locking: each operation holds the log's re-entrant lock, taking a source's
// lock only briefly. No operation holds a source's lock while it calls into a
// log, nor a log's lock while it calls into another log: forwarders and the
// forward target are collected under the lock and called after it is
// released, and the log's own reports (ublError) are written after release.
// Sinks and the callback are called while the lock is held; they must not
// reconfigure this log from another thread while being called.
//
// Forwarding refuses cycles (and forwarding to itself); forwarding an already
// forwarded log first leaves the old target. A sink already in the chain is
// refused. Forwarding changes are serialised process-wide.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tracelog/abstract_trace_log.h"

class cMutex;

class cTraceLog : public cAbstractTraceLog {
 public:
  cTraceLog();
  ~cTraceLog() override;
  cTraceLog(const cTraceLog&) = delete;
  cTraceLog& operator=(const cTraceLog&) = delete;

  void lock() override;
  void unlock() override;

  // Registers `source` (rename false): it goes to the head of the list,
  // belongs to this log and enters the name map under its name. Re-keys it
  // (rename true, or when it already belongs to this log). A name already in
  // the map is reported and the source stays out of the map: false. A source
  // of another log is refused: false.
  bool addDataSource(cTlDataSource* source, bool rename) override;
  // Adds `sink` at the head of the chain; false for null or a sink already
  // in the chain.
  bool addDataSink(cTlDataSink* sink) override;
  // Forwards every line to `target`; false for null, this log or a target
  // that forwards (directly or not) into this log.
  bool forwardTo(cAbstractTraceLog* target) override;
  // The source mapped to `name` here, else the first found in the logs that
  // forward into this one (only asked when this log's map is not empty).
  cTlDataSource* findDataSource(const char16_t* name) override;
  // Sets the level of the source findDataSource gives; true when it then
  // holds `level`.
  bool setDataSourceLogLevel(const char16_t* name, LogLevel level) override;
  bool setDataSourceTraceLevel(const char16_t* name, TraceLevel level) override;
  // Delivers one finished line (see the order above). With takeLock false the
  // caller already holds this log's lock, and a forwarded line reaches the
  // target while it is held; the record writer does not use it that way.
  void output(int32_t code, const char16_t* line, bool takeLock) override;
  bool addForwarder(cAbstractTraceLog* log) override;
  // True also when `log` was not there.
  bool removeForwarder(cAbstractTraceLog* log) override;
  void unforward() override;
  // A null or empty name is ignored. getName's text stays valid until the
  // next setName.
  void setName(const char16_t* name) override;
  const char16_t* getName() override;
  // Null removes the callback.
  void setOutputCallback(tlOutputCallback callback) override;
  // Sets every source, then every forwarder; false as soon as one does not
  // hold `level` afterwards (out-of-range levels change nothing). True with
  // no sources and no forwarders.
  bool setLogLevel(LogLevel level) override;
  // Like setLogLevel, but visits all sources and forwarders before answering.
  bool setTraceLevel(TraceLevel level) override;
  // Set the switch of the log, its sources and sinks, and with `recursive`
  // of the logs forwarding into it.
  void setTracing(bool enabled, bool recursive) override;
  void setLogging(bool enabled, bool recursive) override;
  cTlDataSource* firstDataSource() override;
  cTlDataSink* firstDataSink() override;
  bool isForwarded() override;
  // Prints "Source: <path>:<name>" per source and descends into forwarders.
  void listSources(const char16_t* prefix) override;
  // The array itself, unguarded: only for a caller that holds the lock.
  std::vector<cAbstractTraceLog*>& forwarders() override;
  // Prints the log's configuration through ublPrint.
  void dump() override;
  // Formats one record and delivers its line.
  void writeRecord(cTlDataSource* source, int32_t code, const char16_t* subName,
                   const char16_t* text, const char16_t* detail, uint32_t flags, int32_t value,
                   const char16_t* stringValue) override;
  // Unlinks `source` itself when it is on the list, else the newest source of
  // its name; the name map entry goes with it when it maps to the unlinked
  // source. The unlinked source goes back to the caller unregistered (it
  // belongs to no log). False (and a report) when no source matches.
  bool removeDataSource(cTlDataSource* source) override;

  // The log this one forwards to, or null (read under the lock).
  cAbstractTraceLog* forwardTarget();

 protected:
  // Delivers `line` here, unless the log is forwarded: then returns the
  // target, to be called once the lock is released. Requires the lock.
  cAbstractTraceLog* deliverLocked(int32_t code, const char16_t* line);
  bool sinkInChainLocked(const cTlDataSink* sink) const;
  // Unforwards every log that forwards into this one (destruction).
  void releaseForwarders();

  std::map<std::u16string, cTlDataSource*> mNameMap;
  cTlDataSource* mDataSources = nullptr;
  cTlDataSink* mDataSinks = nullptr;
  cAbstractTraceLog* mForwardTarget = nullptr;
  cMutex* mLock = nullptr;
  std::vector<cAbstractTraceLog*> mForwarders;
  std::u16string mName;
  tlOutputCallback mOutputCallback = nullptr;
  bool mLogging = false;
  bool mTracing = false;
};
