#pragma once

#include "base/result.h"
#include "core/project.h"

#include <string>
#include <string_view>
#include <vector>

namespace tarvok {

class DataFolder;
class UserInterface;

/// What reading and writing project files needs besides the project: the data folder (fresh
/// names for rebuilt peak files and written envelopes), the user interface (missing-file
/// reports, progress), and two settings.
struct ProjectFileEnv {
    DataFolder& Folder;
    UserInterface& Ui;
    int32_t WfMode = 0; ///< "WFMode" for peaks that have to be rebuilt
    bool UndoAll = true; ///< "UndoAll": undo snapshots restore marks, zoom, head and view
    bool* Cancel = nullptr; ///< set by the user to stop a peak rebuild
    /// Set by ReadProject: how many working files (waves with their blocks, envelopes) the
    /// read dropped because they were missing or unusable. A front end must not save over
    /// the file after such a read unless the user asks for it.
    int32_t Lost = 0;
};

/// Splits one project-file line at commas outside double quotes and drops the quotes; two
/// double quotes inside a quoted string stand for one.
std::vector<std::string> SplitProjectFields(std::string_view pLine);

/// A quoted string field; a double quote inside is doubled, line breaks become blanks.
std::string QuoteProjectField(std::string_view pText);

/// A block level as stored: one decimal, rounded half away from zero ("-3.5", "0.0").
std::string FormatBlockLevel(float pDb);

/// The text of the project file for the project (or, with pClip, for the clipboard, whose
/// envelopes must already have file names: pClipEnvelopeFiles, one per clip track).
std::string ProjectFileText(const Project& pProject, bool pClip = false,
    const std::vector<std::string>& pClipEnvelopeFiles = {});

/// Writes the project (or the clipboard) to pPath, replacing the file atomically. For the
/// clipboard every present clip-track envelope is written into a fresh ".wfd" file first.
/// A project outside the data folder is noted in the folder (NoteOutsideProject); fails
/// when that fails too, although the file has been replaced. A failure carries its cause
/// (ErrorCode::DiskFull for a full disk).
Status WriteProject(
    const Project& pProject, std::string_view pPath, bool pClip, ProjectFileEnv& pEnv);

/// Reads a project file into the project (or into the clipboard with pClip). pUndo marks an
/// undo snapshot. The whole file is checked before anything changes, so a damaged file
/// leaves the project (or the clipboard) as it was and returns the reason. Missing working
/// files are reported one by one and dropped with their blocks; that is not a failure.
Status ReadProject(
    Project& pProject, std::string_view pPath, bool pUndo, bool pClip, ProjectFileEnv& pEnv);

/// pPath made absolute against the current folder and normalised ("a/../b" is "b").
std::string AbsolutePathOf(std::string_view pPath);

/// Resolves a name from a project file: a relative name gets pBase in front; an absolute
/// name whose file does not exist is tried once more as pBase + its file name.
std::string ResolveProjectName(std::string_view pName, std::string_view pBase);

} // namespace tarvok
