// archost: a host for the arcunpack plug-in, loading it with dlopen as a scanning engine
// does. Without arguments it scans a small archive that it builds itself.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/archost/commands.h"
#include "tools/archost/loader.h"
#include "tools/archost/sample.h"
#include "tools/archost/session.h"
#include "tools/archost/text.h"

namespace {

const char kUsage[] =
    "usage: archost [options] [command args]\n"
    "  list ARCHIVE          list the members (index, size, method, E=encrypted, name)\n"
    "  scan ARCHIVE          extract every member into memory; print status, size, SHA-256\n"
    "  extract ARCHIVE DIR   extract every member below DIR (names made safe)\n"
    "  cat ARCHIVE MEMBER    write one member to standard output\n"
    "  sample FILE           write the built-in sample archive to FILE\n"
    "  (no command)          scan the built-in sample archive\n"
    "options:\n"
    "  --lib PATH            plug-in library (default: libarcunpack.so beside archost,\n"
    "                        else the installed one)\n"
    "  --via file|buffer|stream   how the archive reaches the plug-in (default file)\n"
    "  --password TEXT       password for encrypted members or headers; repeat it to\n"
    "                        give candidates, tried in turn on a member that fails\n"
    "  --json                one JSON document instead of text lines\n"
    "  --max-memory BYTES    larger members go through a temporary file (default 256 MiB)\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace archost;
  Options o;
  std::string lib = defaultLibraryPath();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--lib") {
      if (!value(lib)) return usage();
    } else if (a == "--via") {
      if (!value(v)) return usage();
      if (v == "file")
        o.via = Via::File;
      else if (v == "buffer")
        o.via = Via::Buffer;
      else if (v == "stream")
        o.via = Via::Stream;
      else
        return usage();
    } else if (a == "--password") {
      if (!value(v)) return usage();
      o.passwords.push_back(v);
    } else if (a == "--json") {
      o.json = true;
    } else if (a == "--max-memory") {
      if (!value(v)) return usage();
      o.maxMemory = std::strtoull(v.c_str(), nullptr, 10);
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage();
    } else {
      args.push_back(a);
    }
  }

  const std::vector<uint8_t> sample = buildStoredRar4(sampleMembers());
  if (!args.empty() && args[0] == "sample") {
    if (args.size() != 2) return usage();
    FILE* f = std::fopen(args[1].c_str(), "wb");
    const bool ok =
        f != nullptr && std::fwrite(sample.data(), 1, sample.size(), f) == sample.size();
    if (f != nullptr && std::fclose(f) != 0) return 2;
    return ok ? 0 : 2;
  }

  if (args.empty()) {
    o.command = "scan";
  } else {
    o.command = args[0];
    const size_t want = o.command == "extract" || o.command == "cat" ? 3
                        : o.command == "list" || o.command == "scan" ? 2
                                                                     : 0;
    if (want == 0 || args.size() != want) return usage();
    o.archive = args[1];
    if (o.command == "extract") o.outDir = args[2];
    if (o.command == "cat") o.member = args[2];
  }

  PluginApi api;
  std::string error;
  if (!loadPlugin(lib, api, error)) {
    std::fprintf(stderr, "archost: %s\n", error.c_str());
    return 2;
  }
  ArchInitInfo info{};
  api.init(&info);

  Session session(api);
  if (!o.passwords.empty() && session.setPassword(o.passwords[0]) != ARCH_OK) {
    std::fprintf(stderr, "archost: the password was refused\n");
    return 2;
  }
  int32_t rc;
  if (o.archive.empty()) {
    if (!o.json) {
      std::fprintf(stderr,
                   "archost: scanning the built-in sample (a %zu-byte RAR 4 archive) from memory\n",
                   sample.size());
    }
    o.archive = "(built-in sample)";
    rc = session.openBytes(sample.data(), static_cast<uint32_t>(sample.size()));
  } else {
    rc = session.openPath(o.archive, o.via, error);
  }
  if (rc != ARCH_OK) {
    if (o.json) {
      std::printf("{\"archive\":%s,\"open\":%d,\"members\":[]}\n", jsonString(o.archive).c_str(),
                  rc);
    }
    std::fprintf(stderr, "archost: %s: open failed (result %d%s%s)\n", o.archive.c_str(), rc,
                 error.empty() ? "" : ", ", error.c_str());
    return 2;
  }
  if (o.command == "list") return runList(session, o);
  if (o.command == "extract") return runExtract(session, o);
  if (o.command == "cat") return runCat(session, o);
  return runScan(session, o);
}
