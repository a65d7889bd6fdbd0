#pragma once
// A small reader of rich text (RTF) that builds a QTextDocument: groups,
// control words, \'hh escapes (Windows-1252), \uN characters, \par and
// \line, bold, italic, underline, paragraph alignment, spacing and font
// size. Tables of fonts, colours and styles, pictures, fields and any
// destination it does not know are skipped; unknown control words are
// ignored. Any input gives a document: a text that is no RTF at all is
// shown as plain Windows-1252 text. Nothing is fatal and the work is
// linear in the input.
#include <QByteArray>

class QTextDocument;

class RtfReader {
public:
    // Replaces Document's content with the text of Rtf.
    static void Read(const QByteArray& Rtf, QTextDocument& Document);

    // Deeper groups are read as if flat: their formatting is not kept
    // apart, so a hostile nesting cannot grow the state without bound.
    static constexpr int MaxDepth = 200;
};
