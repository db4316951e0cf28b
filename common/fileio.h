#pragma once

// File reads and writes that carry on when a signal interrupts them, and the
// atomic replacement of a whole file.

#include <string>
#include <string_view>
#include <sys/types.h>

namespace kaviro {

// open(2), repeated while a signal interrupts it.
int openFile(const char *path, int flags, mode_t mode = 0);
int openFileAt(int dirFd, const char *name, int flags, mode_t mode = 0);

// Writes every byte; false (errno set) when the system refuses one.
bool writeAll(int fd, std::string_view bytes);

// Appends everything up to the end of the file; false (errno set) on a read
// error.
bool readAll(int fd, std::string &content);

enum class FileRead { Ok, Missing, Failed };

// The whole file. Missing when there is no file of that name (or a folder on
// its way is no folder), Failed when it exists but cannot be read.
FileRead readWholeFile(const std::string &path, std::string &content);

// Replaces the file with text in one step: a temporary file beside it gets
// the text and is then renamed over it, so that a crash leaves either the
// old file or the new one, whole. A symbolic link stays a link; the file it
// points to is replaced. An existing file keeps its mode, a new one gets
// newFileMode. False (and the file as it was) when any step fails.
bool replaceFile(const std::string &path, std::string_view text, mode_t newFileMode);

} // namespace kaviro
