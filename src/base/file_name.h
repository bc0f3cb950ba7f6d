#pragma once

#include <string>
#include <string_view>

namespace tarvok {

// Pieces of file paths. Paths of this system separate folders with "/" only (a backslash
// is an ordinary character in a Linux file name); names stored by other systems, as project
// files and settings may hold them, also separate with "\" and the drive colon.

/// The folder part of a local path including its final "/", or empty for a bare file name.
std::string FolderOf(std::string_view pPath);

/// The last component of a local path.
std::string FileNameOf(std::string_view pPath);

/// The last component of a local path without its last extension ("a/b.c/song.take.wav"
/// gives "song.take").
std::string BaseNameOf(std::string_view pPath);

/// The last extension of a local path in lower case, without the dot; empty when there is
/// none (a dot in a folder name does not count).
std::string ExtensionOf(std::string_view pPath);

/// The last component of a name stored by this or another system ("/", "\" and the drive
/// colon all separate).
std::string_view ForeignFileNameOf(std::string_view pName);

} // namespace tarvok
