#include "server/common/secret.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <vector>

namespace aph {

QString NewSecret(int bits)
{
    // Drawn as 32-bit words.
    std::vector<quint32> words(static_cast<std::size_t>((bits + 31) / 32));
    QRandomGenerator::system()->fillRange(words.data(), static_cast<qsizetype>(words.size()));
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()),
                           static_cast<qsizetype>(words.size() * sizeof(quint32)));
    return QString::fromLatin1(bytes.toHex());
}

QString HashSecret(const QString& secret)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(secret.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool ConstantTimeEquals(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace aph
