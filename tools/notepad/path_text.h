#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// A file name is bytes, which need not be UTF-8, and the editor holds it as text. Qt's own
// QFile::decodeName puts U+FFFD in place of every byte that is not UTF-8, so the name no longer
// leads to the file; here each such byte becomes one of U+DC80..U+DCFF instead (code units that
// decoding UTF-8 never gives), and the text turns back into exactly the bytes. Paths held this
// way go to the system only through PathToBytes, never through QFile or QFileInfo.

namespace ini {

QString PathFromBytes(QByteArrayView bytes);
QByteArray PathToBytes(QStringView path);

// The path as a person reads it: each byte that is not UTF-8 shown as U+FFFD.
QString ShownPath(QStringView path);

} // namespace ini
