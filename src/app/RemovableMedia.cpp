#include "app/RemovableMedia.h"

#include "base/BoundedFileReader.h"

#include "base/ProgramPaths.h"

#include <QFile>
#include <QSettings>

namespace {

const char* const Organization = "Quorvex";
const char* const Application = "Cliente";
const char* const Key = "DriveA";

// /proc/self/mounts writes a space as \040, a tab as \011 and so on.
QString Unescape(const QByteArray& Field)
{
    QByteArray out;
    for (qsizetype i = 0; i < Field.size(); ++i) {
        if (Field[i] == '\\' && i + 3 < Field.size()) {
            bool ok = false;
            const int value = Field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && value < 256) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += Field[i];
    }
    return QString::fromUtf8(out);
}

} // namespace

namespace RemovableMedia {

QString Remembered()
{
    return QSettings(Organization, Application).value(Key).toString();
}

void Remember(const QString& Folder)
{
    QSettings settings(Organization, Application);
    if (Folder.isEmpty())
        settings.remove(Key);
    else
        settings.setValue(Key, Folder);
    settings.sync();
}

void Apply(ProgramPaths& Paths)
{
    Paths.SetChosenDriveA(Remembered().toStdString());
}

QStringList MountedVolumes(const QString& MountsTable)
{
    QStringList volumes;
    // The table is small; a bound keeps a strange file from costing memory.
    std::string table;
    if (!BoundedFileReader::Read(QFile::encodeName(MountsTable).toStdString(), 4 << 20, table).Ok())
        return volumes;
    for (const QByteArray& line : QByteArray::fromStdString(table).split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 2)
            continue;
        const QString point = Unescape(fields[1]);
        if ((point.startsWith(QLatin1String("/media/")) || point.startsWith(QLatin1String("/run/media/")))
            && !volumes.contains(point))
            volumes << point;
    }
    return volumes;
}

} // namespace RemovableMedia
