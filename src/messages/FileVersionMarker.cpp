// The marker of this build's version, linked into every program that links mirota_messages so that
// the other program can read it from the file (see FileVersion.h).
#include "BuildVersion.h"

extern "C" {
extern const char mirota_file_version_marker[];
[[gnu::used]] const char mirota_file_version_marker[] = "@(#)MIROTA-FILE-VERSION " MIROTA_VERSION_STRING;
}
