#include "gui/gui_session.h"

#include "app/transport.h"
#include "base/legacy_text.h"
#include "platform/iconv/shift_jis_decoder.h"
#include "platform/lame/lame_encoder.h"
#include "platform/portaudio/portaudio_wave_device.h"

namespace tarvok {

GuiSession::GuiSession(bool pWithSound)
    : withSound_(pWithSound)
{
    SetLegacyTextDecoder(DecodeShiftJis);
    Logic.SetDecoder(&Decoder);
}

GuiSession::~GuiSession()
{
    Logic.TransportHandler = nullptr;
    Context.Engine = nullptr;
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
        }
        encoder_ = std::make_unique<LameEncoder>();
        if (encoder_->EncAvailable())
            Context.Encoder = encoder_.get();
    }
    return true;
}

} // namespace tarvok
