#include "platform/cdio/cdio_drive_service.h"

#include "base/text.h"

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>

#include <string>

namespace tarvok {

namespace {

void QuietLog(cdio_log_level_t, const char*) { }

/// One open libcdio source, destroyed with the object.
class CdioDevice : public CdDevice {
public:
    explicit CdioDevice(CdIo_t* pCdio)
        : cdio_(pCdio)
    {
    }
    ~CdioDevice() override { cdio_destroy(cdio_); }
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

private:
    CdIo_t* cdio_;
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
    CdIo_t* cdio = nullptr;
    if (endsWith(".cue"))
        cdio = cdio_open_cue(path.c_str());
    else if (endsWith(".toc"))
        cdio = cdio_open(path.c_str(), DRIVER_CDRDAO);
    else if (endsWith(".nrg"))
        cdio = cdio_open(path.c_str(), DRIVER_NRG);
    else
        cdio = cdio_open(path.c_str(), DRIVER_DEVICE);
    if (!cdio)
        return nullptr;
    return std::make_unique<CdioDevice>(cdio);
}

} // namespace tarvok
