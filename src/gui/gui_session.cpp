#include "gui/gui_session.h"

#include "app/transport/transport.h"
#include "base/legacy_text.h"
#include "engine/recording_engine.h"
#include "engine/virtual_wave_device.h"
#include "platform/iconv/shift_jis_decoder.h"
#include "platform/lame/lame_encoder.h"

#include <cstdio>

namespace tarvok {

GuiSession::GuiSession(bool pWithSound)
    : GuiSession(pWithSound ? SoundDevices::System : SoundDevices::None)
{
}

GuiSession::GuiSession(SoundDevices pDevices)
    : devices_(pDevices)
{
    SetLegacyTextDecoder(DecodeShiftJis);
    Logic.SetDecoder(&Decoder);
    Logic.SetLoudnessMeter(&Loudness);
    Logic.SetTimePitchEngine(&TimePitch);
    Context.CdDrives = &CdDrives;
    Context.Http = &Http;
    // A feature whose library could not be loaded says so in the message area, shown from
    // the window's thread whichever thread found it out.
    ProcessModules().SetNoticeSink([this](const std::string& pText) {
        std::fprintf(stderr, "tarvok2: %s\n", pText.c_str());
        QMetaObject::invokeMethod(
            &Ui, [this, pText] { Ui.ShowMessage(pText); }, Qt::QueuedConnection);
    });
}

GuiSession::~GuiSession()
{
    if (warmUp_.joinable())
        warmUp_.join();
    ProcessModules().SetNoticeSink({});
    Logic.Recorder = nullptr;
    Context.Transport = nullptr;
    Context.Engine = nullptr;
    transport_.reset();
    Context.WaveIn = nullptr;
    recorder_.reset();
    engine_.reset();
}

bool GuiSession::Startup(const std::string& pDataFolder)
{
    if (!pDataFolder.empty())
        Logic.SetDataFolderOverride(pDataFolder);
    if (!Logic.Startup("", false))
        return false;
    if (devices_ == SoundDevices::System) {
        // Both services are lazy: nothing here loads the sound library or lists a device.
        // Without a sound system the engines stay, and opening a device says why it failed.
        out_ = std::make_unique<LazyWaveOut>();
        in_ = std::make_unique<LazyWaveIn>();
        AttachEngines(*out_, in_.get());
        engine_->SetDeviceBinder([this](bool pInputsToo) { BindDevices(pInputsToo); });
    } else if (devices_ == SoundDevices::Virtual) {
        virtualOut_ = std::make_unique<VirtualWaveOut>();
        virtualIn_ = std::make_unique<VirtualWaveIn>();
        AttachEngines(*virtualOut_, virtualIn_.get());
    }
    if (devices_ != SoundDevices::None) {
        // The encoders are no sound devices: a session on the virtual devices (a screenshot)
        // offers the same output formats as the live window.
        encoder_ = std::make_unique<LameEncoder>();
        if (encoder_->EncAvailable())
            Context.Encoder = encoder_.get();
        Context.FileEncoder = &fileEncoder_;
    }
    return true;
}

void GuiSession::WarmUpSound()
{
    if (!out_ || warmUp_.joinable())
        return;
    // The input service starts later, on this thread, after the output's start has ended:
    // by then the library is started and lists nothing again, and no two threads are in it.
    warmUp_ = std::thread([this] { out_->Available(); });
}

void GuiSession::BindDevices(bool pInputsToo)
{
    if (warmUp_.joinable())
        warmUp_.join();
    const std::vector<std::string> missing
        = BindEngineDevices(Logic.Options(), *out_, pInputsToo ? in_.get() : nullptr, &Store);
    std::string text;
    for (const std::string& m : missing)
        text += (text.empty() ? "" : "\n") + m;
    if (text != lastMissing_ && !text.empty())
        Ui.ShowMessage(text);
    lastMissing_ = text;
}

void GuiSession::AttachEngines(WaveOutService& pOut, WaveInService* pIn)
{
    engine_ = std::make_unique<PlaybackEngine>(pOut, Logic.Proj(), Ui, Logic.Options(), clock_);
    engine_->ComputeDeviceSlots();
    transport_ = std::make_unique<Transport>(Logic, *engine_);
    Context.Engine = engine_.get();
    Context.Transport = transport_.get();
    if (!pIn)
        return;
    recorder_ = std::make_unique<RecordingEngine>(
        *pIn, *engine_, Logic.Proj(), Ui, Logic.Options(), Logic.Folder());
    transport_->AttachRecorder(*recorder_);
    Context.WaveIn = pIn;
}

} // namespace tarvok
