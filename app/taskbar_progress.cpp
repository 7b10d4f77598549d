#include "taskbar_progress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

TaskbarProgress::TaskbarProgress(const QString &desktopFileName)
    : m_appUri(QStringLiteral("application://%1.desktop").arg(desktopFileName))
{
}

TaskbarProgress::~TaskbarProgress()
{
    hide();
}

void TaskbarProgress::show(double fraction)
{
    send(fraction, true);
    m_shown = true;
}

void TaskbarProgress::hide()
{
    if (m_shown)
        send(0, false);
    m_shown = false;
}

void TaskbarProgress::send(double fraction, bool visible)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // Any object path will do: the docks listen to the signal, not to an object.
    QDBusMessage update = QDBusMessage::createSignal(
        QStringLiteral("/io/gramisola/Gramisola/LauncherEntry"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << m_appUri
           << QVariantMap{{QStringLiteral("progress"), fraction},
                          {QStringLiteral("progress-visible"), visible}};
    bus.send(update);
}
