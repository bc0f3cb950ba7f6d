#pragma once

#include "cd/cd_drive.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarvok::test {

/// Wraps a real CdDriveService and lets a test watch and disturb it: every read request is
/// recorded (LBA and count), a read can be made to fail, and a hook runs on every Open
/// (a test uses it to change an image between two reads of a track).
class WatchedDriveService : public CdDriveService {
public:
    struct Request {
        int32_t Lba;
        int32_t Count;
    };

    explicit WatchedDriveService(CdDriveService& pInner)
        : inner_(pInner)
    {
    }

    std::vector<CdDriveEntry> PhysicalDrives() override { return inner_.PhysicalDrives(); }
    std::unique_ptr<CdDevice> Open(std::string_view pPath) override
    {
        ++Opens;
        if (OnOpen)
            OnOpen(Opens);
        std::unique_ptr<CdDevice> device = inner_.Open(pPath);
        if (!device)
            return nullptr;
        return std::make_unique<Device>(*this, std::move(device));
    }

    std::vector<Request> Requests;
    int32_t Opens = 0;
    /// The read request (from 1, counted over the whole life) that fails; 0 for none.
    int32_t FailRead = 0;
    std::function<void(int32_t pOpens)> OnOpen;
    /// When set, the CD-TEXT titles every opened disc gives instead of its own.
    std::optional<std::vector<std::string>> CdText;

private:
    class Device : public CdDevice {
    public:
        Device(WatchedDriveService& pOwner, std::unique_ptr<CdDevice> pInner)
            : owner_(pOwner)
            , inner_(std::move(pInner))
        {
        }
        DiscToc ReadToc() override { return inner_->ReadToc(); }
        bool ReadAudioSectors(int32_t pLba, int32_t pCount, uint8_t* pBuffer) override
        {
            owner_.Requests.push_back({ pLba, pCount });
            if (owner_.FailRead == static_cast<int32_t>(owner_.Requests.size()))
                return false;
            return inner_->ReadAudioSectors(pLba, pCount, pBuffer);
        }
        std::vector<std::string> CdTextTitles() override
        {
            return owner_.CdText ? *owner_.CdText : inner_->CdTextTitles();
        }

    private:
        WatchedDriveService& owner_;
        std::unique_ptr<CdDevice> inner_;
    };

    CdDriveService& inner_;
};

/// A physical drive "/dev/fakecd" of the model pModel that holds the image pImage; every
/// other path opens through pInner as it is.
class ModelDriveService : public CdDriveService {
public:
    ModelDriveService(CdDriveService& pInner, std::string pImage, std::string pModel)
        : inner_(pInner)
        , image_(std::move(pImage))
        , model_(std::move(pModel))
    {
    }
    std::vector<CdDriveEntry> PhysicalDrives() override { return { { "/dev/fakecd", "fake" } }; }
    std::unique_ptr<CdDevice> Open(std::string_view pPath) override
    {
        if (pPath != "/dev/fakecd")
            return inner_.Open(pPath);
        std::unique_ptr<CdDevice> device = inner_.Open(image_);
        return device ? std::make_unique<Device>(std::move(device), model_) : nullptr;
    }

private:
    class Device : public CdDevice {
    public:
        Device(std::unique_ptr<CdDevice> pInner, std::string pModel)
            : inner_(std::move(pInner))
            , model_(std::move(pModel))
        {
        }
        DiscToc ReadToc() override { return inner_->ReadToc(); }
        bool ReadAudioSectors(int32_t pLba, int32_t pCount, uint8_t* pBuffer) override
        {
            return inner_->ReadAudioSectors(pLba, pCount, pBuffer);
        }
        std::string ModelName() override { return model_; }

    private:
        std::unique_ptr<CdDevice> inner_;
        std::string model_;
    };

    CdDriveService& inner_;
    std::string image_;
    std::string model_;
};

} // namespace tarvok::test
