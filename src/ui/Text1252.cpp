#include "ui/Text1252.h"

#include <QStringDecoder>
#include <QStringEncoder>

QString FromAnsi(const std::string& bytes)
{
    QStringDecoder decoder("windows-1252");
    if (!decoder.isValid())
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::string ToAnsi(const QString& text)
{
    QStringEncoder encoder("windows-1252");
    if (!encoder.isValid())
        return text.toLatin1().toStdString();
    QByteArray bytes = encoder.encode(text);
    return bytes.toStdString();
}
