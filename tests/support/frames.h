#pragma once

// The one frame helper the tests share, widget-free.

#include <QByteArray>

namespace tarvik::test {

// 40 41 00, the frequency (six hex digits), byte 6, byte 7, the command, 30 0D. A
// status reply has the same shape: byte 6 is the motion flag, byte 7 the status code.
inline QByteArray frame(const char *freq, const char *byte7 = "00", const char *cmd = "31",
                        const char *byte6 = "00")
{
    return QByteArray::fromHex(QByteArray("404100") + freq + byte6 + byte7 + cmd + "300d");
}
inline const QByteArray kRequest = QByteArray::fromHex("3f410d");

} // namespace tarvik::test
