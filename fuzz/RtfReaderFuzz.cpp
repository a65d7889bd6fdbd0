// The rich-text reader on any bytes: it must return, bounded, whatever the
// agreement file holds.
#include "ui/RtfReader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QTextDocument doc;
    RtfReader::Read(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), doc);
    // Lay the document out, as the view does.
    (void)doc.size();
    return 0;
}
