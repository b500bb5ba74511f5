// arcunpack_bench: for every archive class, the plug-in's open, walk, scan and
// extract next to libarchive and to the raw floor, plus lookups on a large
// index and the spill of a large buffer or stream. Counters: `rss_extra_MiB`
// is how far the peak RSS rose above the RSS at the start of the benchmark
// (caller buffers are allocated and touched before that point, so it is the
// reader's own memory).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/fixtures.h"
#include "bench/host_ops.h"
#include "bench/peers.h"
#include "bench/rss.h"
#include "plugin/arcunpack.h"

namespace bench {
namespace {

// The body of one timed operation; answers false on a failed run and adds the
// bytes it produced or consumed to *bytes.
using Body = std::function<bool(uint64_t* bytes)>;

// Makes the caller's buffers resident before the memory mark is set.
using Prepare = std::function<void()>;

void Run(benchmark::State& state, const Body& body, const Prepare& prepare) {
  if (prepare) prepare();
  const uint64_t before = ResetPeakRss();
  uint64_t total = 0;
  for (auto _ : state) {
    uint64_t bytes = 0;
    if (!body(&bytes)) {
      state.SkipWithError("operation failed");
      break;
    }
    total += bytes;
  }
  const uint64_t peak = PeakRss();
  state.SetBytesProcessed(static_cast<int64_t>(total));
  state.counters["rss_extra_MiB"] = peak > before ? (peak - before) / 1048576.0 : 0.0;
}

void Register(const std::string& name, Body body, Prepare prepare = nullptr) {
  benchmark::RegisterBenchmark(name.c_str(), [body, prepare](benchmark::State& s) {
    Run(s, body, prepare);
  })->UseRealTime()->Unit(benchmark::kMillisecond);
}

// A caller buffer that exists only while its benchmark runs.
using Buffer = std::shared_ptr<std::vector<uint8_t>>;
Prepare Fill(const Buffer& buffer, size_t size) {
  return [buffer, size] { buffer->assign(size, 1); };
}
void Release(const Buffer& buffer) {
  buffer->clear();
  buffer->shrink_to_fit();
}

void RegisterFixture(const Fixture& f, const std::string& scratch) {
  const std::string out = scratch + "/extracted.bin";
  const uint64_t unpacked = f.unpackedBytes;
  const uint64_t fileBytes = f.fileBytes;
  auto ops = std::make_shared<HostOps>(f.path, f.password);
  // One caller buffer per benchmark, sized for the largest member.
  const size_t bufferSize = f.largestMember ? f.largestMember : 1;
  const std::string path = f.path, password = f.password;

  Register(f.name + "|arc|open", [ops, fileBytes](uint64_t* b) {
    *b = fileBytes;
    return ops->Open();
  });
  Register(f.name + "|arc|walk", [ops, fileBytes](uint64_t* b) {
    *b = fileBytes;
    return ops->Walk();
  });
  // Benchmarks run one after another, so one buffer serves them all.
  static const Buffer buffer = std::make_shared<std::vector<uint8_t>>();
  Register(f.name + "|arc|scan", [ops](uint64_t* b) {
    return ops->Scan(buffer.get(), b);
  }, Fill(buffer, bufferSize));
  // Thousands of tiny files measure the file system rather than the reader.
  const bool extract = f.members <= 1000;
  if (extract) {
    Register(f.name + "|arc|extract", [ops, out, unpacked](uint64_t* b) {
      Release(buffer);
      *b = unpacked;
      return ops->Extract(out);
    });
  }
  Register(f.name + "|floor|headers", [path, password, fileBytes](uint64_t* b) {
    *b = fileBytes;
    return HeadersOnce(path, password);
  });
  Register(f.name + "|floor|read", [path](uint64_t* b) {
    return RawRead(path, buffer.get(), b);
  }, Fill(buffer, fileBytes));
  if (!f.peer) return;
  Register(f.name + "|peer|walk", [path, fileBytes](uint64_t* b) {
    *b = fileBytes;
    return PeerWalk(path);
  });
  Register(f.name + "|peer|scan", [path](uint64_t* b) {
    return PeerScan(path, buffer.get(), b);
  }, Fill(buffer, bufferSize));
  if (extract) {
    Register(f.name + "|peer|extract", [path, out, unpacked](uint64_t* b) {
      Release(buffer);
      *b = unpacked;
      return PeerExtract(path, out);
    });
  }
}

void RegisterAll(const FixtureSet& set) {
  for (const Fixture& f : set.all()) RegisterFixture(f, set.scratch());

  if (const Fixture* many = set.find("many-small")) {
    auto session = std::make_shared<OpenSession>(many->path, "");
    // Every name once, from the last to the first: all behind or ahead of the
    // cursor, none answered by the current member.
    auto names = std::make_shared<std::vector<std::u16string>>(set.manyNames().rbegin(),
                                                              set.manyNames().rend());
    Register("many-small|arc|lookups", [session, names](uint64_t* b) {
      *b = 0;
      return session->ok() && session->LookupAll(*names);
    });
  }

  const testsupport::Bytes* spill = &set.spillBuffer();
  const std::string scratch = set.scratch();
  // Each spill run starts without dirty pages left by the one before, which would
  // otherwise be written back during it.
  const Prepare settle = [] { ::sync(); };
  Register("spill|arc|buffer", [spill](uint64_t* b) {
    *b = spill->size();
    return SpillBuffer(spill->data(), spill->size());
  }, settle);
  Register("spill|arc|stream", [spill](uint64_t* b) {
    *b = spill->size();
    return SpillStream(spill->data(), spill->size());
  }, settle);
  Register("spill|floor|write", [spill, scratch](uint64_t* b) {
    *b = spill->size();
    return RawWrite(scratch, spill->data(), spill->size());
  }, settle);
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ArchInitInfo info;
  ArchInit(&info);
  // Spill files land in the scratch directory unless TEMP says otherwise.
  auto fixtures = std::make_unique<bench::FixtureSet>(bench::FixtureSizes::FromEnvironment());
  bench::RegisterAll(*fixtures);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
