#pragma once
// The program's own pictures, drawn here rather than shipped as files: the
// certificate icons of the list views, the menu images, the glyphs of the
// message dialog's buttons and its four message icons.
#include <QIcon>
#include <QList>

namespace Pictures {
// 32 x 32: index 0 a certificate not yet signed, 1 a signed one.
QList<QIcon> CertificateIcons();
// 16 x 16 menu images, in the order the main window's actions use them:
// 0 new, 1 remove, 2 diskette, 3 import, 4 export, 5 fill in, 6 send,
// 7 receive, 8 help topics, 9 how to.
QList<QIcon> MenuImages();
// 18 x 18 glyphs of the eleven dialog buttons, in button order: Yes, No, OK,
// Cancel, Abort, Retry, Ignore, All, No to all, Yes to all, Help.
QList<QIcon> ButtonGlyphs();
// 32 x 32 message icons: warning, error, information, confirmation.
QList<QIcon> DialogIcons();
} // namespace Pictures
