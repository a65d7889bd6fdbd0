#pragma once
// The folder that stands for drive A, as the user chose it: remembered in
// Qt's settings (the one setting the program keeps), and the removable
// volumes mounted for the user, offered first since a USB stick is the usual
// choice on a desktop.
#include <QString>
#include <QStringList>

class ProgramPaths;

namespace RemovableMedia {

// The remembered folder, or empty.
QString Remembered();
void Remember(const QString& Folder);
// Puts the remembered folder into Paths.
void Apply(ProgramPaths& Paths);

// Mount points of removable volumes given to the user by the desktop
// (/media/<user>/..., /run/media/<user>/...), read from a mounts table in
// the format of /proc/self/mounts (octal escapes undone).
QStringList MountedVolumes(const QString& MountsTable = QStringLiteral("/proc/self/mounts"));

} // namespace RemovableMedia
