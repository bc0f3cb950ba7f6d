#include "cd/rip_check.h"

#include "base/numeric.h"
#include "base/text.h"
#include "cd/cd_drive.h"
#include "core/file_io.h"
#include "core/user_interface.h"

namespace tarvok {

std::string RipTargetName(std::string_view pTarget)
{
    std::string target(pTarget);
    if (target.size() < 4
        || !EqualsNoCase(std::string_view(target).substr(target.size() - 4), ".wav"))
        target += ".wav";
    // An empty file is a name reserved for this rip (working-file names are created empty
    // when handed out): nothing in it can be lost.
    if (!FileExists(target) || FileSize64(target) == 0)
        return target;
    const std::string stem = target.substr(0, target.size() - 4);
    const std::string ext = target.substr(target.size() - 4);
    for (int32_t n = 1; n < 1000000; ++n) {
        std::string candidate = stem + ZeroPad(n, 2) + ext;
        if (!FileExists(candidate))
            return candidate;
    }
    return target;
}

std::string ReadOffsetKey(std::string_view pModel)
{
    std::string key = "CDReadOffset-";
    for (char c : pModel)
        key += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_';
    return key;
}

RipCheckResult RipWithCheck(RipAudio& pRa, UserInterface& pUi, int32_t pTrack,
    std::string_view pTarget, const RipCheckOptions& pOptions)
{
    auto status = [&](std::string_view pText) {
        if (pOptions.Status)
            pOptions.Status(pText);
    };
    RipCheckResult result;
    pRa.SetErrorCorrection(pOptions.ErrorCorrection);
    pRa.SetReadOffset(pOptions.ReadOffsetOf && !IsCdImagePath(pRa.Drive())
            ? pOptions.ReadOffsetOf(pRa.DriveModel())
            : 0);
    result.Path = RipTargetName(pTarget);
    const std::string& t = result.Path;
    const std::string chk = t + ".chk";
    DeleteFileForce(t);
    const double factor = DbToFactor(pOptions.LevelDb);
    const std::string tr = "Tr" + std::to_string(pTrack + 1);
    auto failed = [&](RipOutcome pOutcome) {
        DeleteFileForce(t);
        DeleteFileForce(chk);
        if (pOutcome == RipOutcome::Canceled) {
            result.Canceled = true;
        } else if (pOutcome == RipOutcome::ReadFailed) {
            pUi.MessageBox(pOptions.AlternativeLanguage
                    ? kRipReadFailedAlt
                    : std::string_view(Tr(kRipReadFailed.data())),
                MsgButtons::Ok, MsgIcon::Error);
        } else if (pOutcome == RipOutcome::WriteFailed) {
            pUi.MessageBox(pOptions.AlternativeLanguage
                    ? kRipWriteFailedAlt
                    : std::string_view(Tr(kRipWriteFailed.data())),
                MsgButtons::Ok, MsgIcon::Error);
        } else if (pOutcome == RipOutcome::EmptyTrack) {
            pUi.MessageBox(pOptions.AlternativeLanguage ? kRipNoAudioAlt
                                                        : std::string_view(Tr(kRipNoAudio.data())),
                MsgButtons::Ok, MsgIcon::Error);
        } else if (pOutcome == RipOutcome::DataTrack) {
            pUi.MessageBox(pOptions.AlternativeLanguage
                    ? kRipDataTrackAlt
                    : std::string_view(Tr(kRipDataTrack.data())),
                MsgButtons::Ok, MsgIcon::Error);
        } else if (pOutcome == RipOutcome::NoTrack) {
            pUi.MessageBox(pOptions.AlternativeLanguage
                    ? kRipNoSuchTrackAlt
                    : std::string_view(Tr(kRipNoSuchTrack.data())),
                MsgButtons::Ok, MsgIcon::Error);
        }
        status("");
        return result;
    };
    while (true) {
        status(tr + " Rip");
        RipOutcome first = pRa.RipTrack(pTrack, t, factor);
        result.ErrorCorrected = pRa.ErrorCorrectionUsed();
        if (first != RipOutcome::Done)
            return failed(first);
        if (!pOptions.Check)
            break;
        status(tr + " Check");
        DeleteFileForce(chk);
        RipOutcome second = pRa.RipTrack(pTrack, chk, factor);
        if (second != RipOutcome::Done)
            return failed(second);
        const bool same = pOptions.Compare && pOptions.Compare(chk, t);
        DeleteFileForce(chk);
        if (same)
            break;
        DeleteFileForce(t);
        if (pUi.MessageBox(pOptions.AlternativeLanguage
                    ? kRipRetryQuestionAlt
                    : std::string_view(Tr(kRipRetryQuestion.data())),
                MsgButtons::YesNo, MsgIcon::Error)
            != MsgAnswer::Yes) {
            status("");
            return result;
        }
    }
    status("");
    result.Good = true;
    return result;
}

} // namespace tarvok
