#include "gui/mixer_launcher.h"
#include "gui/gui_text.h"

#include <QFileInfo>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>

namespace tarvok {

QStringList MixerCommand(const QString& pMixerApp)
{
    if (!pMixerApp.isEmpty() && QFileInfo(pMixerApp).isFile())
        return { pMixerApp };
    for (const char* program : { "pavucontrol", "pwvucontrol" })
        if (!QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return { QString::fromLatin1(program) };
    if (!QStandardPaths::findExecutable(QStringLiteral("gnome-control-center")).isEmpty())
        return { QStringLiteral("gnome-control-center"), QStringLiteral("sound") };
    if (!QStandardPaths::findExecutable(QStringLiteral("alsamixer")).isEmpty()) {
        for (const char* terminal : { "x-terminal-emulator", "gnome-terminal", "konsole", "xterm" })
            if (!QStandardPaths::findExecutable(QString::fromLatin1(terminal)).isEmpty())
                return { QString::fromLatin1(terminal), QStringLiteral("-e"),
                    QStringLiteral("alsamixer") };
    }
    return {};
}

QString LaunchMixerProgram(const QString& pMixerApp)
{
    QStringList command = MixerCommand(pMixerApp);
    if (command.isEmpty())
        return QTr("音量ミキサーが見つかりません（pavucontrol などを入れるか、設定の「ミキサー」で"
                   "プログラムを指定してください）");
    const QString program = command.takeFirst();
    if (!QProcess::startDetached(program, command))
        return QTr("音量ミキサー %1 を起動できません").arg(program);
    return {};
}

} // namespace tarvok
