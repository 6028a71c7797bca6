#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace tarvik {

// 0-9, A-F or a-f.
bool isHexDigit(QChar c);

// Hexadecimal text to bytes, two digits a byte. Each piece is read up to its first
// non-digit ("4G" is 0x04, "G4" is 0x00); a lone trailing digit makes a byte of its own.
QByteArray hex2ascii(QStringView hextext);

// Hexadecimal text to a number, the controller's way: digits 0-9 count their value,
// anything else its character code minus 55 (so 'a' counts 42). Characters that
// would count below zero, and totals beyond 32 bits, are an error.
std::optional<std::int32_t> hexToDecimal(QStringView text);

// One byte as two upper-case hex digits ("0D", never "D").
QString byteToHex(std::uint8_t byte);

// Bytes as upper-case hex text, two digits a byte, no separators.
QString bytesToHex(const QByteArray &bytes);

} // namespace tarvik
