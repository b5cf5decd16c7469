// Receiver bytes as log text: printable ASCII as it is, every other byte
// escaped as "\xHH", so line noise never puts raw binary into the log.
#pragma once

#include <QByteArray>
#include <QString>

namespace lapvane {

// Tab, CR and LF stay as they are (device lines carry them).
QString printableText(const QByteArray &bytes);

} // namespace lapvane
