#include "app/commands/export_command.h"

#include "app/shell/cancel_progress.h"
#include "app/shell/main_logic.h"
#include "base/i18n.h"

#include "base/text.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "render/render_tracks.h"
#include "render/target_file.h"

namespace tarvok {

bool ExportCommand(MainLogic& pLogic)
{
    Project& project = pLogic.Proj();
    UserInterface& ui = pLogic.Ui();
    if (!pLogic.CanEdit())
        return false;
    if (project.ProjectLength <= 0) {
        ui.ShowError(Tr("データがありません"));
        return false;
    }
    std::optional<std::string> chosen = ui.ChooseFolder(Tr("タイトル|*.*"), project.DataFolder);
    if (!chosen || chosen->empty())
        return false;
    std::string folder = WithTrailingSlash(*chosen);
    if (!CreateFolders(folder)) {
        ui.ShowError(Tr("フォルダ作成に失敗しました"));
        return false;
    }
    if (!pLogic.StartProc(0, 0))
        return false;
    bool ok = true;
    for (int32_t t = 0; t <= project.LastTrackNo && ok; ++t) {
        if (project.Tracks[t].PlaySelected == 0)
            continue;
        const std::string target = folder + "track" + ZeroPad(t + 1, 2) + ".wav";
        // Rendered beside the target and renamed over it when complete, so a failed or
        // cancelled export never leaves a partial file under the track's name.
        const std::string temp = TempSiblingName(target);
        RenderRequest request;
        request.File = temp;
        request.From = 0;
        request.To = project.ProjectLength;
        request.Mode = kRenderTrackEnvelopeLevel;
        request.Tracks = t;
        request.Label = TrArgs("トラック%1出力", t + 1);

        ok = RenderTracks(project, request, ui, CancelRequestProgress(pLogic))
            && CommitFile(temp, target);
        if (!ok)
            DeleteFileForce(temp);
    }
    pLogic.EndProc();
    return ok;
}

} // namespace tarvok
