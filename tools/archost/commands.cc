#include "tools/archost/commands.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/archost/safe_path.h"
#include "tools/archost/text.h"

namespace archost {

namespace {

// Progress on standard error, only when it is a terminal.
class Progress {
 public:
  Progress() : on_(isatty(STDERR_FILENO) == 1) {}
  ~Progress() { done(); }
  void show(int32_t index, int32_t count, const std::string& name) {
    if (!on_) return;
    std::fprintf(stderr, "\r\033[K[%d/%d] %.60s", index + 1, count, name.c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void done() {
    if (shown_) std::fprintf(stderr, "\r\033[K");
    shown_ = false;
  }

 private:
  bool on_;
  bool shown_ = false;
};

std::string hex(const unsigned char* p, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}

// Incremental SHA-256 over EVP.
class Sha256 {
 public:
  Sha256() : ctx_(EVP_MD_CTX_new()) { EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr); }
  ~Sha256() { EVP_MD_CTX_free(ctx_); }
  void update(const void* p, size_t n) { EVP_DigestUpdate(ctx_, p, n); }
  std::string hexDigest() {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx_, md, &len);
    return hex(md, len);
  }

 private:
  EVP_MD_CTX* ctx_;
};

std::string tempDir() {
  const char* t = std::getenv("TMPDIR");
  return t != nullptr && *t != 0 ? t : "/tmp";
}

// A private temporary file for members too large for memory; removed on destruction.
class TempFile {
 public:
  TempFile() {
    std::string templ = tempDir() + "/archost_XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    const int fd = mkstemp(buf.data());
    if (fd >= 0) {
      ::close(fd);
      path_ = buf.data();
    }
  }
  ~TempFile() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Extracts the member at the cursor and feeds its bytes to `sink`. Returns the plug-in's
// code (or ARCH_E_FILE when the harness itself could not stage the bytes).
template <typename Sink>
int32_t readCurrent(Session& s, const Options& o, Sink&& sink) {
  ArchContext& ctx = s.context();
  const uint32_t size = ctx.unpackedSize;
  if (size <= o.maxMemory) {
    std::vector<uint8_t> buf(size > 0 ? size : 1);
    const int32_t rc = s.api().readToBuffer(&ctx, buf.data(), size);
    if (rc == ARCH_OK) sink(buf.data(), size);
    return rc;
  }
  TempFile tmp;
  if (tmp.path().empty()) return ARCH_E_FILE;
  const std::u16string wide = toUtf16(tmp.path());
  const int32_t rc = s.api().readToFile(&ctx, wide.c_str());
  if (rc != ARCH_OK) return rc;
  const int fd = ::open(tmp.path().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ARCH_E_FILE;
  std::vector<uint8_t> chunk(1 << 20);
  ssize_t n;
  while ((n = ::read(fd, chunk.data(), chunk.size())) > 0)
    sink(chunk.data(), static_cast<size_t>(n));
  ::close(fd);
  return n < 0 ? ARCH_E_FILE : ARCH_OK;
}

// Runs `attempt` (one extraction of the member at the cursor); when an encrypted member
// fails and the plug-in stayed on it, tries the other candidate passwords in turn.
template <typename Attempt>
int32_t withPasswords(Session& s, const Options& o, Attempt&& attempt) {
  ArchContext& ctx = s.context();
  const int32_t at = ctx.currentIndex;
  int32_t rc = attempt();
  for (size_t i = 1; i < o.passwords.size() && rc != ARCH_OK; ++i) {
    if (ctx.currentIndex != at || ctx.flags[5] == 0) break;
    s.setPassword(o.passwords[i]);
    rc = attempt();
  }
  return rc;
}

struct MemberReport {
  int32_t index;
  std::string name;
  uint32_t size;
  uint32_t method;
  bool encrypted;
  std::string status;  // OK, FAILED(code), NOT_REACHED, SKIPPED(reason)
  std::string sha256;  // scan only; empty when unknown
  std::string path;    // extract only
};

std::string statusOf(int32_t rc) {
  return rc == ARCH_OK ? "OK" : "FAILED(" + std::to_string(rc) + ")";
}

MemberReport describe(Session& s) {
  const ArchContext& ctx = s.context();
  return {ctx.currentIndex,
          toUtf8(ctx.memberName),
          ctx.unpackedSize,
          ctx.method,
          ctx.flags[5] != 0,
          "",
          "",
          ""};
}

void printReports(const Options& o, const std::vector<MemberReport>& reports, bool withHash,
                  bool withPath, int32_t memberCount) {
  if (o.json) {
    std::printf("{\"archive\":%s,\"open\":0,\"memberCount\":%d,\"members\":[",
                jsonString(o.archive).c_str(), memberCount);
    for (size_t i = 0; i < reports.size(); ++i) {
      const MemberReport& r = reports[i];
      std::printf("%s{\"index\":%d,\"name\":%s,\"size\":%u,\"method\":%u,\"encrypted\":%s",
                  i ? "," : "", r.index, jsonString(r.name).c_str(), r.size, r.method,
                  r.encrypted ? "true" : "false");
      if (!r.status.empty()) std::printf(",\"status\":%s", jsonString(r.status).c_str());
      if (withHash && !r.sha256.empty()) std::printf(",\"sha256\":\"%s\"", r.sha256.c_str());
      if (withPath && !r.path.empty()) std::printf(",\"path\":%s", jsonString(r.path).c_str());
      std::printf("}");
    }
    std::printf("]}\n");
    return;
  }
  for (const MemberReport& r : reports) {
    if (withHash) {
      std::printf("%d\t%s\t%u\t%s\t%s\n", r.index, r.status.c_str(), r.size,
                  r.sha256.empty() ? "-" : r.sha256.c_str(), escapeName(r.name).c_str());
    } else if (withPath) {
      std::printf("%d\t%s\t%u\t%s\n", r.index, r.status.c_str(), r.size,
                  escapeName(r.path.empty() ? r.name : r.path).c_str());
    } else {
      std::printf("%d\t%u\t%u\t%s\t%s\n", r.index, r.size, r.method, r.encrypted ? "E" : "-",
                  escapeName(r.name).c_str());
    }
  }
}

// Walks every member from the cursor on, calling `act` on each; `act` may move the cursor
// (an extraction) or not (a failure that left the plug-in on the member), the walk steps
// on itself when it did not. Members behind a cursor that cannot move are NOT_REACHED.
template <typename Act>
std::vector<MemberReport> walk(Session& s, Act&& act) {
  ArchContext& ctx = s.context();
  std::vector<MemberReport> reports;
  Progress progress;
  const int32_t count = ctx.memberCount;
  bool stuck = false;
  while (!stuck && ctx.currentIndex >= 0 && ctx.currentIndex < count) {
    MemberReport r = describe(s);
    progress.show(r.index, count, r.name);
    act(r);
    reports.push_back(r);
    if (ctx.currentIndex == r.index) stuck = s.api().nextItem(&ctx) == ARCH_NO_ITEM;
  }
  if (stuck) {
    for (int32_t i = ctx.currentIndex + 1; i < count; ++i) {
      reports.push_back({i, "", 0, 0, false, "NOT_REACHED", "", ""});
    }
  }
  return reports;
}

int exitStatus(const std::vector<MemberReport>& reports) {
  for (const MemberReport& r : reports) {
    if (r.status != "OK" && !r.status.empty()) return 1;
  }
  return 0;
}

}  // namespace

int runList(Session& s, const Options& o) {
  ArchContext& ctx = s.context();
  std::vector<MemberReport> reports = walk(s, [](MemberReport&) {});
  printReports(o, reports, false, false, ctx.memberCount);
  return exitStatus(reports);
}

int runScan(Session& s, const Options& o) {
  std::vector<MemberReport> reports = walk(s, [&](MemberReport& r) {
    Sha256 sha;
    const int32_t rc = withPasswords(s, o, [&] {
      return readCurrent(s, o, [&](const uint8_t* p, size_t n) { sha.update(p, n); });
    });
    r.status = statusOf(rc);
    if (rc == ARCH_OK) r.sha256 = sha.hexDigest();
  });
  printReports(o, reports, true, false, s.context().memberCount);
  return exitStatus(reports);
}

int runExtract(Session& s, const Options& o) {
  struct stat st;
  if (mkdir(o.outDir.c_str(), 0755) != 0 &&
      (stat(o.outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    std::fprintf(stderr, "archost: cannot use output folder %s\n", o.outDir.c_str());
    return 2;
  }
  std::vector<MemberReport> reports = walk(s, [&](MemberReport& r) {
    const std::string rel = safeRelativePath(r.name);
    if (rel.empty()) {
      r.status = "SKIPPED(unsafe name)";
      return;
    }
    if (!makeParents(o.outDir, rel, false)) {
      r.status = "SKIPPED(unsafe path)";
      return;
    }
    const std::string full = o.outDir + "/" + rel;
    if (lstat(full.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      r.status = "SKIPPED(existing link)";
      return;
    }
    r.path = rel;
    const std::u16string wide = toUtf16(full);
    const int32_t rc =
        withPasswords(s, o, [&] { return s.api().readToFile(&s.context(), wide.c_str()); });
    r.status = statusOf(rc);
    // A directory member creates nothing at its path: make the folder ourselves.
    if (rc == ARCH_OK && lstat(full.c_str(), &st) != 0) makeParents(o.outDir, rel, true);
  });
  printReports(o, reports, false, true, s.context().memberCount);
  return exitStatus(reports);
}

int runCat(Session& s, const Options& o) {
  const std::u16string wide = toUtf16(o.member);
  if (!s.api().findItem(&s.context(), wide.c_str())) {
    std::fprintf(stderr, "archost: no member named %s\n", o.member.c_str());
    return 2;
  }
  bool writeFailed = false;
  const int32_t rc = withPasswords(s, o, [&] {
    return readCurrent(s, o, [&](const uint8_t* p, size_t n) {
      writeFailed = writeFailed || std::fwrite(p, 1, n, stdout) != n;
    });
  });
  std::fflush(stdout);
  if (rc != ARCH_OK) {
    std::fprintf(stderr, "archost: %s: extraction failed (%d)\n", o.member.c_str(), rc);
    return 1;
  }
  return writeFailed ? 1 : 0;
}

}  // namespace archost
