// Names of the volumes of a set, derived from the name of one volume.
#ifndef RARLIB_VOLUME_NAME_H_
#define RARLIB_VOLUME_NAME_H_

#include <string>

namespace rarlib {

// The name of the volume after `path` (UTF-8). `new_numbering` selects
// name.partN.rar numbering, else name.rar, name.r00, name.r01, ... An SFX first
// volume (.exe, .sfx) or a name without extension continues with .rar names.
std::string NextVolumeName(const std::string& path, bool new_numbering);

}  // namespace rarlib

#endif  // RARLIB_VOLUME_NAME_H_
