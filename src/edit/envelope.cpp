#include "edit/envelope.h"

#include "base/numeric.h"
#include "base/text.h"
#include "core/project.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvok {

void ResizeEnvelopes(Project& pProject, int32_t pLength, bool pForce)
{
    int64_t wanted
        = (static_cast<int64_t>(pLength) + static_cast<int64_t>(pProject.SampleRate) * 10)
        / kEnvelopeFrameSamples;
    if (!pForce
        && pProject.EnvelopeLength >= static_cast<int64_t>(pLength) / kEnvelopeFrameSamples + 1)
        return;
    if (wanted < 0)
        wanted = 0;
    int32_t frames = static_cast<int32_t>(wanted);
    auto unity = static_cast<uint8_t>(pProject.UnityLevel);
    for (TrackEnvelope& env : pProject.Envelopes)
        env.resize(static_cast<size_t>(frames) * 2, unity);
    pProject.EnvelopeLength = frames;
}

void FillUnity(Project& pProject, int32_t pTrack)
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(pProject.Envelopes.size()))
        return;
    pProject.Envelopes[pTrack].assign(static_cast<size_t>(pProject.EnvelopeLength) * 2,
        static_cast<uint8_t>(pProject.UnityLevel));
}

namespace {

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int pFd)
        : fd_(pFd)
    {
    }
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    /// Closes now; false when the close reports a failure (a write that did not land).
    bool Close()
    {
        if (fd_ < 0)
            return true;
        int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

bool WriteAll(int pFd, const uint8_t* pData, size_t pSize)
{
    while (pSize > 0) {
        ssize_t done = ::write(pFd, pData, pSize);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        pData += done;
        pSize -= static_cast<size_t>(done);
    }
    return true;
}

// Reads up to pSize bytes from the start of the file; returns the count read, -1 on error.
ssize_t ReadUpTo(int pFd, uint8_t* pData, size_t pSize)
{
    size_t total = 0;
    while (total < pSize) {
        ssize_t done = ::pread(pFd, pData + total, pSize - total, static_cast<off_t>(total));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (done == 0)
            break;
        total += static_cast<size_t>(done);
    }
    return static_cast<ssize_t>(total);
}

// Writes the bytes to a new file beside pPath, flushes it and renames it over pPath.
bool WriteFileReplacing(const std::string& pPath, const uint8_t* pData, size_t pSize)
{
    // The temporary name extends the target's, so a leftover from a crash still matches
    // the working-file patterns that the data folder's clean-up removes.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = pPath + ".tmp" + (attempt ? std::to_string(attempt) : std::string());
        FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.Valid()) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        bool ok = WriteAll(fd.Get(), pData, pSize) && ::fsync(fd.Get()) == 0;
        ok = fd.Close() && ok;
        if (ok && std::rename(temp.c_str(), pPath.c_str()) == 0)
            return true;
        ::unlink(temp.c_str());
        return false;
    }
    return false;
}

int32_t ClampFrames(int32_t pFrames) { return std::clamp(pFrames, 0, kMaxEnvelopeFrames); }

} // namespace

bool WriteEnvelopeFile(
    std::string_view pPath, const std::vector<uint8_t>& pEnvelope, int32_t pFrames)
{
    if (pPath.empty() || pFrames < 0 || pEnvelope.size() / 2 < static_cast<size_t>(pFrames))
        return false;
    return WriteFileReplacing(
        std::string(pPath), pEnvelope.data(), static_cast<size_t>(pFrames) * 2);
}

bool ReadEnvelopeFile(
    std::string_view pPath, int32_t pFrames, uint8_t pUnity, std::vector<uint8_t>& pEnvelope)
{
    const size_t frames = static_cast<size_t>(ClampFrames(pFrames));
    pEnvelope.assign(frames * 2, pUnity);
    if (pPath.empty())
        return false;
    FileDescriptor fd(::open(std::string(pPath).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid())
        return false;
    struct stat info { };
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
        return false;
    const auto size = static_cast<uint64_t>(info.st_size);

    if (size == frames) {
        // One level per frame, used for both channels.
        std::vector<uint8_t> bytes(frames);
        if (ReadUpTo(fd.Get(), bytes.data(), frames) != static_cast<ssize_t>(frames))
            return false;
        for (size_t k = 0; k < frames; ++k)
            pEnvelope[2 * k] = pEnvelope[2 * k + 1] = bytes[k];
        return true;
    }
    if (size % 2 != 0)
        return true; // not an envelope of pairs: all unity
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(size, frames * 2));
    ssize_t got = ReadUpTo(fd.Get(), pEnvelope.data(), wanted);
    if (got < 0) {
        std::fill(pEnvelope.begin(), pEnvelope.end(), pUnity);
        return false;
    }
    // A file that shrank while being read leaves its missing pairs at unity.
    std::fill(pEnvelope.begin() + (got / 2) * 2, pEnvelope.end(), pUnity);
    return true;
}

bool SaveEnvelope(Project& pProject, int32_t pTrack, std::string_view pNewPath)
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(pProject.Envelopes.size())
        || pTrack >= static_cast<int32_t>(pProject.Tracks.size()))
        return false;
    if (pProject.EnvelopeLength <= 0)
        return true;
    if (!WriteEnvelopeFile(pNewPath, pProject.Envelopes[pTrack], pProject.EnvelopeLength))
        return false;
    pProject.Tracks[pTrack].EnvelopeFile = std::string(pNewPath);
    return true;
}

bool LoadEnvelope(Project& pProject, int32_t pTrack, std::string_view pFile, int32_t pFrames)
{
    if (pTrack < 0 || pTrack >= static_cast<int32_t>(pProject.Envelopes.size()))
        return false;
    return ReadEnvelopeFile(
        pFile, pFrames, static_cast<uint8_t>(pProject.UnityLevel), pProject.Envelopes[pTrack]);
}

uint8_t ConvertLegacyLevel(const FadeTable& pTable, uint8_t pLegacy)
{
    const double target = pLegacy == 255 ? 2.0 : pLegacy / 128.0;
    for (size_t i = 0; i < pTable.size(); ++i) {
        if (static_cast<double>(pTable[i]) >= target)
            return static_cast<uint8_t>(i);
    }
    return 0;
}

std::string LevelText(const FadeTable& pTable, int32_t pIndex)
{
    const int32_t index = Clamp32(pIndex, 0, 255);
    if (index == 0)
        return "-\xE2\x88\x9E"
               "db"; // "-∞db"
    const int64_t tenths = RoundHalfEven(FactorToDb(pTable[index]) * 10.0);
    const int64_t magnitude = tenths < 0 ? -tenths : tenths;
    std::string text = tenths < 0 ? "-" : "";
    text += ZeroPad(magnitude / 10, 2);
    text += '.';
    text += static_cast<char>('0' + magnitude % 10);
    text += "db";
    return text;
}

} // namespace tarvok
