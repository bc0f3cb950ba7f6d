// Start-up: recordings that an earlier run left unfinished.

#include "app/shell/main_logic.h"
#include "base/i18n.h"
#include "core/time_text.h"
#include "engine/recording_engine.h"

namespace tarvok {

int32_t MainLogic::OfferOrphanedRecordings()
{
    int32_t placed = 0;
    for (const OrphanedRecording& orphan : FindOrphanedRecordings(project_.DataFolder)) {
        const int32_t rate = orphan.SampleRate > 0 ? orphan.SampleRate : project_.SampleRate;
        const std::string length = TimeText(
            static_cast<int32_t>(static_cast<int64_t>(orphan.Frames) * 1000 / rate), 0, false);
        const std::string question
            = TrArgs("前回終了しなかった録音 (トラック%1、%2) があります。配置しますか？",
                orphan.TrackNo + 1, length);

        // A recording at another rate cannot go into this project; it is offered again
        // at a later start.
        if (orphan.SampleRate != project_.SampleRate)
            continue;
        if (!ui_.AskYesNo(question)) {
            // Not placed: the file stays for the data folder's clean-up; not asked again.
            DiscardOrphanedRecording(orphan, false);
            continue;
        }
        if (PlaceOrphanedRecording(project_, *folder_, ui_, orphan, options_.WFMode)) {
            project_.Saved = false;
            ++placed;
        }
    }
    return placed;
}

} // namespace tarvok
