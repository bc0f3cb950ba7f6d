#pragma once

#include <string>
#include <string_view>

namespace tarvok {

/// $XDG_CONFIG_HOME, else ~/.config; never ends in "/". A relative value is ignored, as
/// the XDG rules require.
std::string ConfigHome();
/// $XDG_DATA_HOME, else ~/.local/share.
std::string DataHome();
/// $XDG_STATE_HOME, else ~/.local/state.
std::string StateHome();

/// Folder of the settings files, ending in "/".
std::string SettingsFolder();
/// Default data folder, ending in "/".
std::string DefaultDataFolder();
/// Default log folder, ending in "/".
std::string DefaultLogFolder();
/// Default CD staging folder, ending in "/".
std::string DefaultCdFolder();

/// This user's private folder for local sockets, ending in "/": "tarvok2/" in
/// $XDG_RUNTIME_DIR when that is set, else "/tmp/tarvok2-<uid>/". It is made with access for
/// this user only; empty when it cannot be made or when what is there is not a folder of
/// this user's own closed to everyone else (a link, another user's folder, or one that others
/// may enter), since a socket in a folder that another user controls could be planted.
std::string PrivateRuntimeFolder();

/// The folder of the running executable, ending in "/"; empty when unknown.
std::string ProgramFolder();

/// The English message catalogue ("en.mo"): from $TARVOK2_TRANSLATIONS_DIR when set, else
/// from share/tarvok2/translations beside the installed program, else from the build tree;
/// empty when none exists.
std::string EnglishCatalogueFile();

/// The path with exactly one "/" at its end (empty stays empty).
std::string WithTrailingSlash(std::string_view pPath);

/// True for "/..." and for paths from other systems: "C:\..." or "\\server\...".
bool IsAbsolutePath(std::string_view pPath);

/// True when the path names an existing folder.
bool FolderExists(std::string_view pPath);

/// Creates the folder and all missing parents; true when it exists afterwards.
bool CreateFolders(std::string_view pPath);

} // namespace tarvok
