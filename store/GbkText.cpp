#include "store/GbkText.h"

#include <QStringEncoder>

#include <iconv.h>

#include <optional>


namespace store {

namespace {

bool qtGbkAvailable()
{
    static const bool ok = [] {
        QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
        if (!encoder.isValid())
            return false;
        // An ICU build knows GBK; check that it really maps a Chinese character.
        const QByteArray probe = encoder.encode(QString::fromUtf8("网"));
        return !encoder.hasError() && probe == QByteArray("\xCD\xF8", 2);
    }();
    return ok;
}

// One code point (one or two UTF-16 units) to code page 936; "?" when it has no form there.
QByteArray encodeCodePointQt(QStringView cp)
{
    // Reused while it works; an encoder that met an unmappable character is replaced
    // (resetting an ICU-backed one would drop its converter).
    thread_local std::optional<QStringEncoder> encoder;
    if (!encoder)
        encoder.emplace("GBK", QStringConverter::Flag::Stateless);
    QByteArray out = encoder->encode(cp);
    if (encoder->hasError() || out.isEmpty()) {
        encoder.reset();
        return QByteArray(1, '?');
    }
    return out;
}

QByteArray encodeCodePointIconv(QStringView cp)
{
    struct Converter {
        iconv_t cd = iconv_open("CP936", "UTF-8");
        ~Converter() { if (cd != iconv_t(-1)) iconv_close(cd); }
    };
    thread_local Converter conv;
    if (conv.cd == iconv_t(-1))
        return QByteArray(1, '?');
    QByteArray in = cp.toUtf8();
    char outBuf[16];
    char *inPtr = in.data();
    size_t inLeft = size_t(in.size());
    char *outPtr = outBuf;
    size_t outLeft = sizeof outBuf;
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    const size_t r = iconv(conv.cd, &inPtr, &inLeft, &outPtr, &outLeft);
    const int written = int(sizeof outBuf - outLeft);
    if (r == size_t(-1) || inLeft != 0 || written == 0)
        return QByteArray(1, '?');
    return QByteArray(outBuf, written);
}

template <typename F>
void forEachCodePoint(const QString &text, F &&f)
{
    const int n = int(text.size());
    for (int i = 0; i < n;) {
        const int len = (text.at(i).isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        if (!f(i, len))
            return;
        i += len;
    }
}

QByteArray encodeCodePoint(QStringView cp, bool useQt)
{
    if (cp.size() == 1 && cp.at(0).unicode() < 0x80)
        return QByteArray(1, char(cp.at(0).unicode()));
    return useQt ? encodeCodePointQt(cp) : encodeCodePointIconv(cp);
}

QByteArray encodeAll(const QString &text, bool useQt)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    forEachCodePoint(text, [&](int i, int len) {
        out += encodeCodePoint(QStringView(text).mid(i, len), useQt);
        return true;
    });
    return out;
}

} // namespace

QByteArray toGbk(const QString &text)
{
    return encodeAll(text, qtGbkAvailable());
}

int gbkLength(const QString &text)
{
    return int(toGbk(text).size());
}

QString cutToBytes(const QString &text, int maxBytes)
{
    if (maxBytes <= 0)
        return QString();
    if (text.size() * 2 <= maxBytes) // even all double-byte it fits
        return text;
    const bool useQt = qtGbkAvailable();
    int bytes = 0;
    int end = 0;
    forEachCodePoint(text, [&](int i, int len) {
        const int w = int(encodeCodePoint(QStringView(text).mid(i, len), useQt).size());
        if (bytes + w > maxBytes)
            return false;
        bytes += w;
        end = i + len;
        return true;
    });
    return text.left(end);
}

namespace detail {
bool gbkUsesQt() { return qtGbkAvailable(); }
QByteArray toGbkIconv(const QString &text) { return encodeAll(text, false); }
} // namespace detail

} // namespace store
