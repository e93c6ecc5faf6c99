#pragma once

#include <QByteArray>
#include <QString>

namespace store {

// Byte widths of texts in code page 936 (GBK), the measure of every text(n) field.
// ASCII takes one byte, a Chinese character two. A character that code page 936 cannot
// represent counts as the one byte of its replacement "?".

QByteArray toGbk(const QString &text);
int gbkLength(const QString &text);

// The longest leading part of text whose code page 936 form fits in maxBytes; a
// double-byte character is never split (it is dropped whole).
QString cutToBytes(const QString &text, int maxBytes);

namespace detail {
// Which converter is in use: Qt's ICU "GBK" codec when it is available, glibc iconv otherwise.
bool gbkUsesQt();
// The iconv converter alone, so that tests can check it against Qt's.
QByteArray toGbkIconv(const QString &text);
} // namespace detail

} // namespace store
