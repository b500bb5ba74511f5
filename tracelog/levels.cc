#include "tracelog/levels.h"

namespace {
const char16_t* const kLogLevelNames[] = {u"Mute", u"Error", u"Warn", u"Diag", u"Info"};
const char16_t* const kTraceLevelNames[] = {u"Mute", u"Major", u"Intermediate", u"Minor"};
}  // namespace

const char16_t* tlLogLevelName(LogLevel level) {
  return tlLogLevelValid(level) ? kLogLevelNames[level] : u"?";
}

const char16_t* tlTraceLevelName(TraceLevel level) {
  return tlTraceLevelValid(level) ? kTraceLevelNames[level] : u"?";
}
