#pragma once

#include <QString>
#include <QStringList>

namespace tarvok {

/// The program and arguments that open the system volume mixer: pMixerApp when that file
/// exists, else the first installed of pavucontrol, pwvucontrol, gnome-control-center sound
/// and alsamixer in a terminal. Empty when none is found.
QStringList MixerCommand(const QString& pMixerApp);

/// Starts the mixer program detached; empty when it started, else why it could not (no
/// mixer found, or it failed to start).
QString LaunchMixerProgram(const QString& pMixerApp);

} // namespace tarvok
