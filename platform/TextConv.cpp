#include "platform/TextConv.h"

#include <QStringDecoder>

#include "store/Cp1252.h"

namespace dorvanta {

namespace {

QString FromCp1252(std::string_view cp1252) {
    const std::u16string u = Cp1252ToUtf16(cp1252);
    return QString(reinterpret_cast<const QChar*>(u.data()), static_cast<qsizetype>(u.size()));
}

}  // namespace

QString ToQString(const std::string& cp1252) {
    return FromCp1252(cp1252);
}

QString ShownText(const std::string& cp1252) {
    if (cp1252.size() <= kShownChars) return FromCp1252(cp1252);
    return FromCp1252(std::string_view(cp1252).substr(0, kShownChars)) + QChar(0x2026);
}

std::optional<std::string> FromQString(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar ch : text) {
        const auto byte = CodePointToCp1252(ch.unicode());
        if (!byte) return std::nullopt;
        out += static_cast<char>(*byte);
    }
    return out;
}

bool FitsCp1252(const QString& text) {
    for (QChar ch : text) {
        if (!CodePointToCp1252(ch.unicode())) return false;
    }
    return true;
}

namespace {

std::optional<QString> DecodeUtf8(std::string_view bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (decoder.hasError()) return std::nullopt;
    return text;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    return DecodeUtf8(bytes).has_value();
}

QString DecodeUtf8OrCp1252(std::string_view bytes) {
    if (auto text = DecodeUtf8(bytes)) return *text;
    return FromCp1252(bytes);
}

}  // namespace dorvanta
