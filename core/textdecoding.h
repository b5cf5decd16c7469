// Decoding text files that organisers edit by hand (the settings file, page
// templates): UTF-8, or the Cyrillic Windows code page older Windows tools
// save in.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace lapvane {

// bytes as UTF-8. Bytes that are not valid UTF-8 are read as Windows-1251
// instead and *windows1251 is set, so Cyrillic text survives instead of
// turning into U+FFFD. A byte order mark is kept as U+FEFF.
QString decodeUtf8OrWindows1251(QByteArrayView bytes, bool *windows1251 = nullptr);

} // namespace lapvane
