// Stand-ins for the two engine entry points ArchInit and ArchClose call, so
// the plug-in links while the engine's archive layer is being written. They
// are weak: the engine's own definitions replace them. Remove this file as
// soon as rarlib defines RARInitTables and RARCloseArchive.
#include "rarlib/rar.h"

extern "C" {

__attribute__((weak)) void RARInitTables(void) {}

__attribute__((weak)) int RARCloseArchive(RARHANDLE) { return ERAR_ECLOSE; }

}  // extern "C"
