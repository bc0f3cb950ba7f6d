#include "gui/gui_session.h"

#include "app/transport.h"
#include "base/legacy_text.h"
#include "engine/recording_engine.h"
#include "platform/iconv/shift_jis_decoder.h"
#include "platform/lame/lame_encoder.h"
#include "platform/portaudio/portaudio_wave_device.h"

namespace tarvok {

GuiSession::GuiSession(bool pWithSound)
    : withSound_(pWithSound)
{
    SetLegacyTextDecoder(DecodeShiftJis);
    Logic.SetDecoder(&Decoder);
    Context.CdDrives = &CdDrives;
    Context.Http = &Http;
}

GuiSession::~GuiSession()
{
    Logic.TransportHandler = nullptr;
    Logic.Recorder = nullptr;
    Context.Engine = nullptr;
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
    if (withSound_) {
        out_ = std::make_unique<PortAudioWaveOut>();
        if (out_->Available()) {
            engine_ = std::make_unique<PlaybackEngine>(
                *out_, Logic.Proj(), Ui, Logic.Options(), clock_);
            engine_->ComputeDeviceSlots();
            AttachTransport(Logic, *engine_);
            Context.Engine = engine_.get();
            in_ = std::make_unique<PortAudioWaveIn>();
            if (in_->Available()) {
                recorder_ = std::make_unique<RecordingEngine>(
                    *in_, *engine_, Logic.Proj(), Ui, Logic.Options(), Logic.Folder());
                AttachRecorder(Logic, *engine_, *recorder_);
                Context.WaveIn = in_.get();
            }
        }
        encoder_ = std::make_unique<LameEncoder>();
        if (encoder_->EncAvailable())
            Context.Encoder = encoder_.get();
    }
    return true;
}

} // namespace tarvok
