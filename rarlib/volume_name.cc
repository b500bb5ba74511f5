#include "rarlib/volume_name.h"

#include <cctype>
#include <strings.h>

namespace rarlib {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Increments the decimal number ending at `last` (inclusive) in `s`, inserting a
// leading "1" when the carry runs off its left end.
void IncrementNumber(std::string* s, size_t last) {
  size_t i = last;
  for (;;) {
    if ((*s)[i] != '9') {
      ++(*s)[i];
      return;
    }
    (*s)[i] = '0';
    if (i == 0 || !IsDigit((*s)[i - 1])) {
      s->insert(i, 1, '1');
      return;
    }
    --i;
  }
}

}  // namespace

std::string NextVolumeName(const std::string& path, bool new_numbering) {
  std::string s = path;
  size_t base = s.rfind('/');
  base = base == std::string::npos ? 0 : base + 1;
  size_t dot = s.rfind('.');
  if (dot == std::string::npos || dot < base) {
    s += ".rar";
    dot = s.size() - 4;
  } else {
    std::string ext = s.substr(dot + 1);
    if (ext.empty() || strcasecmp(ext.c_str(), "exe") == 0 || strcasecmp(ext.c_str(), "sfx") == 0) {
      s.replace(dot + 1, std::string::npos, "rar");
    }
  }
  if (new_numbering) {
    // The volume number is the last digit group of the file name part, or the
    // group before it when both lie after the name's first dot
    // ("name.part03of10.rar" counts 03).
    size_t last = std::string::npos;
    for (size_t i = s.size(); i > base; --i) {
      if (IsDigit(s[i - 1])) {
        last = i - 1;
        break;
      }
    }
    if (last != std::string::npos) {
      size_t start = last;
      while (start > base && IsDigit(s[start - 1])) --start;
      for (size_t i = start; i > base; --i) {
        char c = s[i - 1];
        if (c == '.') break;
        if (IsDigit(c)) {
          if (s.find('.', base) < i - 1) last = i - 1;
          break;
        }
      }
      IncrementNumber(&s, last);
      return s;
    }
  }
  // Old numbering: .rar -> .r00 -> .r01 ... .r99 -> .s00
  std::string ext = s.substr(dot + 1);
  if (ext.size() < 3) {
    s.replace(dot + 1, std::string::npos, "rar");
    ext = "rar";
  }
  size_t e = dot + 1;
  if (!IsDigit(s[e + 1]) || !IsDigit(s[e + 2])) {
    s[e + 1] = '0';
    s[e + 2] = '0';
    return s;
  }
  for (size_t i = e + 2;; --i) {
    if (i == e) {
      s[i] = s[i] == '9' ? 'a' : static_cast<char>(s[i] + 1);
      break;
    }
    if (s[i] != '9') {
      ++s[i];
      break;
    }
    s[i] = '0';
  }
  return s;
}

}  // namespace rarlib
