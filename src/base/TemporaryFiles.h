// Temporary files: the names files are written under before they are put in place, remembered so
// that an abrupt end of the process can remove them.
#pragma once

#include <string>

namespace brimsal {

// The name under which a file is written before it is put in place: `path` + `tag` + the
// process id + "-" + a counter. The name is remembered, so an abrupt end can remove the file.
std::string TemporaryNameBeside(const std::string& path, const char* tag);
// `path` (a name TemporaryNameBeside gave) holds a file to keep: an abrupt end leaves it.
void ForgetTemporary(const std::string& path);
// Removes every file still under a name TemporaryNameBeside gave (recent ones: the last 64).
// Async-signal-safe: the handler of a second interrupt calls it before ending the process.
void RemoveTemporariesAtAbruptExit();

}  // namespace brimsal
