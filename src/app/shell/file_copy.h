#pragma once

#include "base/text_marks.h"

#include "base/progress.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tarvok {

class ReplaceFile;
class UserInterface;

/// The message of a running copy; its progress follows it as " 42%".
inline constexpr std::string_view kCopyingMessage = N_("ファイルコピー中…"); ///< a catalogue key

/// Copies and compares files of any size in chunks, pausing and yielding to the window
/// system between chunks so that a Cancel button stays usable. A copy is always written
/// under a temporary name in the target's folder and renamed into place when complete:
/// a failed or cancelled copy leaves no partial file and an existing target untouched.
/// The message line and bar fraction are exposed for a window to draw. User-interface
/// thread only.
class FileCopy {
public:
    /// Progress: the fraction done (0..1); a stop ends the operation after the current chunk.
    using ProgressHandler = Progress;
    /// Waits the given milliseconds; the default yields to the window system meanwhile.
    using WaitHandler = std::function<void(int32_t pMs)>;

    static constexpr int64_t kDefaultChunkBytes = 4194304;
    /// Larger chunk sizes are reduced to this, so a bad size cannot exhaust memory.
    static constexpr int64_t kMaxChunkBytes = 64 * 1024 * 1024;
    static constexpr int32_t kDefaultPauseMs = 10;

    /// pUi (may be null) is yielded to during pauses and between compared chunks.
    explicit FileCopy(UserInterface* pUi = nullptr);

    void SetMirrorProg(ProgressHandler pHandler) { mirrorProg_ = std::move(pHandler); }
    void SetHikakuProg(ProgressHandler pHandler) { hikakuProg_ = std::move(pHandler); }
    /// With pOn, every whole percent of a copy or compare is also shown in the message area
    /// of pUi as the operation's text with the percentage appended ("ファイルコピー中… 42%"),
    /// which a window draws as a progress bar with a Cancel button; 100% ends the display.
    void ShowInMessageArea(bool pOn) { showInMessage_ = pOn; }
    /// Replaces the pause between chunks (tests pass one that does not sleep).
    void SetWait(WaitHandler pWait) { wait_ = std::move(pWait); }

    /// Copies sFilename to tFilename (replacing it) through a temporary file in the
    /// target's folder. pInt: pause in ms after each chunk read (below 1: 10); pSize: chunk
    /// bytes (below 1: 4 MiB); pSaiki: a nested call that keeps Canceled. The copy gets the
    /// source's modification time. False when the source is missing, the target folder is
    /// not writable, a read or write fails or the copy is cancelled.
    bool MirrorFile(std::string_view sFilename, std::string_view tFilename, int32_t pInt = 0,
        int64_t pSize = 0, bool pSaiki = false);

    /// Copies sFilename into place as tFilename, creating the target's folders. Without
    /// KillTarget an existing target stays and the result is false. With KillSource the
    /// source is deleted afterwards (a move), unless source and target are the same file;
    /// a source that cannot be deleted gives false with the copy already in place.
    bool TranspFile(std::string_view sFilename, std::string_view tFilename, bool KillTarget,
        bool KillSource, int64_t pSize = 0, int32_t pInt = 0, bool pSaiki = false);

    /// True when both files exist, have the same non-zero size and the same bytes. A
    /// cancel gives false and clears Canceled.
    bool HikakuFile(std::string_view sFilename, std::string_view tFilename, int32_t pInt = 0,
        int64_t pSize = 0);

    /// Set by ProcCancel or a progress handler; cleared when a top-level copy starts.
    bool Canceled() const { return canceled_; }
    /// Asks the running operation to stop after its current chunk.
    void ProcCancel() { canceled_ = true; }

    /// Why the last copy failed, in the program's language (a full disk named as such);
    /// empty after a successful one.
    const std::string& FailureText() const { return failure_; }
    /// The control's message line; empty when idle.
    const std::string& Message() const { return message_; }
    /// The bar's fraction, 0 to 1.
    double Bar() const { return bar_; }

private:
    /// Copies pSource into the begun replacement pOut in chunks; false (failure_ set) when
    /// a read or write fails or the copy is cancelled.
    bool CopyInto(const std::string& pSource, ReplaceFile& pOut, int32_t pInt, int64_t pSize);
    /// Sets the bar, tells the handler (whose stop sets Canceled) and shows the percentage.
    void RaiseProgress(const ProgressHandler& pHandler, double pRate);
    void Pause(int32_t pMs);
    void Yield();

    UserInterface* ui_;
    ProgressHandler mirrorProg_;
    ProgressHandler hikakuProg_;
    WaitHandler wait_;
    bool canceled_ = false;
    bool showInMessage_ = false;
    int lastPercentShown_ = -1;
    std::string message_;
    std::string failure_;
    double bar_ = 0.0;
};

} // namespace tarvok
