#pragma once

#include <QString>

// Names that lead to something other than a regular file, made in a test's own
// folder: what a user may pick by mistake where a file is wanted.
enum class SpecialFile { NamedPipe, Device, Socket, Folder };

inline constexpr SpecialFile SpecialFiles[] = {SpecialFile::NamedPipe, SpecialFile::Device, SpecialFile::Socket,
                                               SpecialFile::Folder};

// Makes one at `path`; false when it could not be made. The device has the
// numbers of a null device (1, 3): reading it gives nothing, writing to it
// goes nowhere, and it is never the system's own.
bool makeSpecialFile(SpecialFile kind, const QString& path);
const char* specialFileName(SpecialFile kind);
