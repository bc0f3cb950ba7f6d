#include "platform/cdio/cdio_drive_service.h"

#include "base/text.h"
#include "cd/cd_image.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
// The paranoia headers' short compatibility names (paranoia_read, ...) are not wanted.
#define DO_NOT_WANT_PARANOIA_COMPATIBILITY
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace tarvok {

namespace {

void QuietLog(cdio_log_level_t, const char*) { }

/// Re-reads of one sector before paranoia gives up on it.
constexpr int kParanoiaRetries = 20;

/// One open libcdio source, destroyed with the object.
class CdioDevice : public CdDevice {
public:
    explicit CdioDevice(CdIo_t* pCdio)
        : cdio_(pCdio)
    {
    }
    ~CdioDevice() override
    {
        if (paranoia_)
            cdio_paranoia_free(paranoia_);
        if (cdda_)
            cdio_cddap_close_no_free_cdio(cdda_);
        cdio_destroy(cdio_);
    }
    CdioDevice(const CdioDevice&) = delete;
    CdioDevice& operator=(const CdioDevice&) = delete;

    DiscToc ReadToc() override
    {
        DiscToc toc;
        const track_t first = cdio_get_first_track_num(cdio_);
        const track_t last = cdio_get_last_track_num(cdio_);
        if (first == CDIO_INVALID_TRACK || last == CDIO_INVALID_TRACK || first < 1 || last < first
            || last > 99)
            return toc;
        for (track_t t = first; t <= last; ++t) {
            const lsn_t lsn = cdio_get_track_lsn(cdio_, t);
            if (lsn == CDIO_INVALID_LSN)
                return DiscToc {};
            TocEntry e = LbaToMsf(lsn, t);
            e.Control = cdio_get_track_format(cdio_, t) == TRACK_FORMAT_AUDIO ? 0 : 4;
            toc.Entries.push_back(e);
        }
        const lsn_t leadOut = cdio_get_track_lsn(cdio_, CDIO_CDROM_LEADOUT_TRACK);
        if (leadOut == CDIO_INVALID_LSN)
            return DiscToc {};
        toc.Entries.push_back(LbaToMsf(leadOut, kLeadOutTrack));
        toc.FirstTrack = first;
        toc.LastTrack = last;
        return toc;
    }

    bool ReadAudioSectors(int32_t pLba, int32_t pCount, uint8_t* pBuffer) override
    {
        if (pLba < 0 || pCount <= 0)
            return false;
        if (paranoia_)
            return ParanoiaRead(pLba, pCount, pBuffer);
        return cdio_read_audio_sectors(cdio_, pBuffer, pLba, static_cast<uint32_t>(pCount))
            == DRIVER_OP_SUCCESS;
    }

    std::vector<std::string> CdTextTitles() override
    {
        cdtext_t* text = cdio_get_cdtext(cdio_);
        if (!text)
            return {};
        std::vector<std::string> titles;
        bool any = false;
        const track_t last = cdio_get_last_track_num(cdio_);
        for (track_t t = 0; last != CDIO_INVALID_TRACK && t <= last; ++t) {
            const char* title = cdtext_get_const(text, CDTEXT_FIELD_TITLE, t);
            std::string s = title ? std::string(title) : std::string();
            if (!IsValidUtf8(s))
                s.clear();
            any = any || !s.empty();
            titles.push_back(std::move(s));
        }
        return any ? titles : std::vector<std::string> {};
    }

    std::string ModelName() override
    {
        cdio_hwinfo_t info {};
        if (!cdio_get_hwinfo(cdio_, &info))
            return {};
        const std::string vendor(Trim(
            std::string_view(info.psz_vendor, strnlen(info.psz_vendor, sizeof info.psz_vendor))));
        const std::string model(
            Trim(std::string_view(info.psz_model, strnlen(info.psz_model, sizeof info.psz_model))));
        std::string name = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
        return IsValidUtf8(name) ? BlankControlCharacters(name) : std::string();
    }

    bool UseErrorCorrection() override
    {
        if (paranoia_)
            return true;
        cdda_ = cdio_cddap_identify_cdio(cdio_, CDDA_MESSAGE_FORGETIT, nullptr);
        if (!cdda_)
            return false;
        if (cdio_cddap_open(cdda_) != 0) {
            cdio_cddap_close_no_free_cdio(cdda_);
            cdda_ = nullptr;
            return false;
        }
        // libcdio delivers audio sectors little-endian from drives and images alike; the
        // guess paranoia makes from the samples could swap quiet or odd material.
        cdda_->bigendianp = 0;
        paranoia_ = cdio_paranoia_init(cdda_);
        if (!paranoia_) {
            cdio_cddap_close_no_free_cdio(cdda_);
            cdda_ = nullptr;
            return false;
        }
        // Every check and repair, but a sector that stays unreadable fails the read
        // instead of being retried for ever.
        cdio_paranoia_modeset(paranoia_, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        next_ = -1;
        return true;
    }

private:
    static void NoCallback(long, paranoia_cb_mode_t) { }

    /// Reads sector after sector through paranoia; it delivers samples in the host's
    /// order, written out here little-endian as a drive delivers them.
    bool ParanoiaRead(int32_t pLba, int32_t pCount, uint8_t* pBuffer)
    {
        if (pLba != next_)
            cdio_paranoia_seek(paranoia_, pLba, SEEK_SET);
        next_ = -1;
        for (int32_t s = 0; s < pCount; ++s) {
            const int16_t* samples
                = cdio_paranoia_read_limited(paranoia_, NoCallback, kParanoiaRetries);
            if (!samples)
                return false;
            uint8_t* out = pBuffer + static_cast<size_t>(s) * kCdSectorBytes;
            for (size_t i = 0; i < static_cast<size_t>(kCdSectorBytes / 2); ++i) {
                const auto v = static_cast<uint16_t>(samples[i]);
                out[i * 2] = static_cast<uint8_t>(v & 0xFF);
                out[i * 2 + 1] = static_cast<uint8_t>(v >> 8);
            }
        }
        next_ = pLba + pCount;
        return true;
    }

    CdIo_t* cdio_;
    cdrom_drive_t* cdda_ = nullptr;
    cdrom_paranoia_t* paranoia_ = nullptr;
    int32_t next_ = -1; ///< the sector a paranoia read continues at without a seek
};

} // namespace

CdioDriveService::CdioDriveService() { cdio_log_set_handler(QuietLog); }

std::vector<CdDriveEntry> CdioDriveService::PhysicalDrives()
{
    std::vector<CdDriveEntry> result;
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    for (char** d = devices; d && *d; ++d)
        result.push_back({ *d, *d, false });
    if (devices)
        cdio_free_device_list(devices);
    return result;
}

std::unique_ptr<CdDevice> CdioDriveService::Open(std::string_view pPath)
{
    const std::string path(pPath);
    const std::string lower = ToLowerAscii(path);
    auto endsWith = [&](std::string_view pExt) {
        return lower.size() > pExt.size()
            && lower.compare(lower.size() - pExt.size(), pExt.size(), pExt) == 0;
    };
    // An image whose sheet or data file is a FIFO or a device would block or mislead the
    // library: it is refused before the library sees it.
    if (IsCdImagePath(path) && !CdImageProblem(path).empty())
        return nullptr;
    // CUE and TOC sheets are read by the core's own reader, which follows every FILE
    // line, pre-gap and data track of the sheet.
    if (endsWith(".cue") || endsWith(".toc")) {
        Result<CdImage> image = ReadCdImageSheet(path);
        if (!image)
            return nullptr;
        return OpenCdImageDevice(std::move(*image));
    }
    CdIo_t* cdio = nullptr;
    if (endsWith(".nrg"))
        cdio = cdio_open(path.c_str(), DRIVER_NRG);
    else
        cdio = cdio_open(path.c_str(), DRIVER_DEVICE);
    if (!cdio)
        return nullptr;
    return std::make_unique<CdioDevice>(cdio);
}

} // namespace tarvok
